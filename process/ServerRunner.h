// Runs the Tomcat server with its output in the console, and watches that output for the
// application's address, its readiness and a taken port.
#pragma once
#include "process/ProcessRunner.h"
#include "process/RunnerOwner.h"
#include "process/TakenPort.h"

#include <algorithm>
#include <mutex>
#include <string>

// Output markers of the server.
inline constexpr char kUrlMarker[] = "Vantry url: "; // followed by the application's address
inline constexpr char kReadyMarker[] = "Vantry is initialized";
inline constexpr char kPortTakenMarker[] = "java.net.BindException";

// Reads the server's output for its markers as one stream, however the reads cut it: a marker
// split between two reads is seen, and every marker acts once, in the order of the output.
// Readiness and a taken port act as soon as their marker is whole, even before its line ends. An
// address acts when its text has ended, at a CR or LF: the text after "Vantry url: ", without
// the blanks around it, when it is an http:// or https:// address of at most 999 characters with
// nothing unprintable in it. Plain, case-sensitive text; the caller gives each read's text up to
// its first NUL. What is kept between reads is bounded: a marker's length of the latest text, and
// the address being read.
class MarkerScanner {
public:
    static constexpr size_t kUrlSize = 1000; // the longest address taken, and its NUL

    class Listener {
    public:
        virtual void OnAddress(const char* url) = 0;
        virtual void OnReady() = 0;
        virtual void OnPortTaken() = 0;

    protected:
        ~Listener() = default;
    };

    void Reset(); // a new stream
    void Scan(const char* text, Listener& listener);

private:
    // The longest marker but its last byte: what a marker that began in earlier reads needs of them.
    static constexpr size_t kCarry = std::max({ sizeof kUrlMarker, sizeof kReadyMarker, sizeof kPortTakenMarker }) - 2;
    void ReadAddress(const char* from, const char* to, Listener& listener);
    void EndAddress(Listener& listener);

    char carry_[kCarry + 1] = "";
    size_t carryLength_ = 0;
    // The address after the latest "Vantry url: " of the line, while its text goes on.
    bool reading_ = false;
    bool refused_ = false;  // it can no longer be an address
    bool blankEnd_ = false; // blanks followed its text so far
    size_t urlLength_ = 0;
    char url_[kUrlSize] = "";
};

class ServerRunner : public ProcessRunner, private MarkerScanner::Listener {
public:
    static constexpr size_t kUrlSize = MarkerScanner::kUrlSize;

    ServerRunner();
    ~ServerRunner() override { EndSupervision(); }

    // Starts the server from sharedHomeDir with options for the Java virtual machine; 1 when started.
    int Launch(RunnerOwner* owner, const char* javaExePath, const char* options = "");
    int OnOutput(char* text, int length) override;
    void OpenApplicationUrl();
    std::string ApplicationUrl() const;
    // After a taken port stopped the server: a line naming the port and its holder; else "".
    std::string TakenPortReport() const;
    // After a taken port stopped the server: the port, 0 when it cannot be told; -1 when no port was taken.
    int TakenPort() const;
    // The server's output said its port is taken: another program holds it (any thread).
    bool PortTaken() const { return takenPort_.Seen(); }
    // The java.exe that started the latest server: its stop command runs with the same.
    const char* JavaExe() const { return javaExe_.c_str(); }

private:
    void OnAddress(const char* url) override;
    void OnReady() override;
    void OnPortTaken() override;

    mutable std::mutex urlLock_; // the address is written by the reader and read on the main thread
    char applicationUrl[kUrlSize];
    RunnerOwner* owner = nullptr;
    MarkerScanner markers_; // the reader's
    TakenPortClues takenPort_;
    std::string javaExe_; // main thread only
};
