// Runs the Tomcat server with its output in the console, and watches that output for the
// application's address, its readiness and a taken port.
#pragma once
#include "process/ProcessRunner.h"

#include <mutex>
#include <string>

class ConsoleDialog;

// Output markers of the server.
extern const char kUrlMarker[];      // "Vantry url: ", followed by the application's address
extern const char kReadyMarker[];    // "Vantry is initialized"
extern const char kPortTakenMarker[]; // "java.net.BindException"

// The address announced in one chunk of output: the text after each "Vantry url: " up to the line's
// end, without surrounding blanks. Only an http or https address that fits size is taken, since it is
// handed to the shell; of several, the last. Returns 1 and fills url, or 0 and leaves url alone.
int FindApplicationUrl(const char* text, char* url, size_t size);

class ServerRunner : public ProcessRunner {
public:
    static constexpr size_t kUrlSize = 1000;

    ServerRunner();
    ~ServerRunner() override { EndSupervision(); }

    // Starts the server from sharedHomeDir; 1 when started.
    int Launch(ConsoleDialog* owner, const char* javaExePath);
    int OnOutput(char* text, int length) override;
    void OpenApplicationUrl();
    std::string ApplicationUrl() const;

private:
    mutable std::mutex urlLock_; // the address is written by the reader and read on the main thread
    char applicationUrl[kUrlSize];
    ConsoleDialog* owner = nullptr;
};
