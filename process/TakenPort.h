// A server that could not bind its port: which port, read from its output around
// "java.net.BindException", and which program holds it, from the system's table of listening sockets.
#pragma once
#include <windows.h>

#include <cstddef>
#include <mutex>
#include <string>

// The server's output around the taken port's marker, kept for reading once the server has ended: the
// latest output before the marker, and what follows it, both bounded. The reader adds, the main
// thread reads.
class TakenPortClues {
public:
    void Reset(); // a new server
    // The scanner has just seen the marker in the text that is added next.
    void MarkerSeen();
    void Add(const char* text);
    bool Seen() const;
    std::string Text() const;

private:
    static constexpr size_t kBefore = 2048;
    static constexpr size_t kAfter = 4096; // from the start of the marker's read

    mutable std::mutex lock_;
    std::string text_;
    bool seen_ = false;
    size_t added_ = 0; // kept since the marker's read began
};

// The port on the marker's line of text, else on the nearest of the few lines before it, in the forms
// Tomcat and the JDK write ("JVM_Bind:8080", "port 8080", "localport=8080"); 0 when none.
int PortFromServerOutput(const std::string& text);
// The port of an http or https address: its own, else the scheme's (80, 443); 0 when there is none.
int PortFromAddress(const char* url);

// The system calls the holder's lookup depends on; tests put a made-up table here.
struct PortOwnerPlatform {
    // GetExtendedTcpTable's listeners with their owners, for AF_INET or AF_INET6.
    DWORD (*listeners)(ULONG family, void* table, DWORD* size);
    // The file name of a process's program, without its folder; false when it cannot be told.
    bool (*programName)(DWORD processId, char* name, size_t size);
};
extern PortOwnerPlatform portOwnerPlatform;
PortOwnerPlatform SystemPortOwnerPlatform();

// Who listens on the port, over IPv4 or IPv6.
struct PortHolder {
    enum Found { kNoListener, kUnknown, kOwner } found; // kUnknown: a listener, or no table to tell
    DWORD processId;                                    // with kOwner
};
PortHolder PortOwner(int port);
// "Port 8080 is in use by another program (httpd.exe, process 1234)." with as much of the holder as
// the system tells; "Port 8080 is in use or reserved." when nobody listens on it.
std::string TakenPortMessage(int port);
