// The Tomcat role: announces itself like Tomcat 3 and serves the Vantry page.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>

#include "output.h"
#include "roles.h"
#include "framework/Handle.h"

#include <cstdio>
#include <string>
#include <thread>

namespace standin {

namespace {

const unsigned short kDefaultPort = 8080;
const char kPortFile[] = "conf\\vantry-port.txt";

class WinsockSession {
public:
    WinsockSession()
    {
        WSADATA data;
        ok_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~WinsockSession()
    {
        if (ok_) WSACleanup();
    }
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;
    bool ok() const { return ok_; }

private:
    bool ok_ = false;
};

class Socket {
public:
    Socket() = default;
    explicit Socket(SOCKET s) : s_(s) {}
    ~Socket() { reset(); }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    Socket(Socket&& other) noexcept : s_(other.s_) { other.s_ = INVALID_SOCKET; }
    Socket& operator=(Socket&& other) noexcept
    {
        if (this != &other) {
            reset();
            s_ = other.s_;
            other.s_ = INVALID_SOCKET;
        }
        return *this;
    }

    bool valid() const { return s_ != INVALID_SOCKET; }
    SOCKET get() const { return s_; }
    SOCKET release()
    {
        const SOCKET s = s_;
        s_ = INVALID_SOCKET;
        return s;
    }
    void reset()
    {
        if (s_ != INVALID_SOCKET) closesocket(s_);
        s_ = INVALID_SOCKET;
    }

private:
    SOCKET s_ = INVALID_SOCKET;
};

void noInherit(SOCKET s)
{
    // The launcher's other children must not keep our port open.
    SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
}

std::string trim(const std::string& s)
{
    const char* blanks = " \t\r\n";
    const std::string::size_type first = s.find_first_not_of(blanks);
    if (first == std::string::npos) return std::string();
    return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

unsigned short configuredPort(const Invocation& inv)
{
    const std::string home = property(inv, "tomcat.home");
    if (home.empty()) return kDefaultPort;
    std::string path = home;
    if (path.back() != '\\' && path.back() != '/') path += '\\';
    path += kPortFile;

    Handle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return kDefaultPort;
    char buf[256];
    DWORD got = 0;
    if (!ReadFile(file.Get(), buf, sizeof buf, &got, nullptr)) return kDefaultPort;
    std::string text(buf, got);
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) // Notepad's UTF-8 mark
        text.erase(0, 3);
    unsigned long port = 0;
    if (!parseDecimal(trim(text), 65535, port) || port == 0) return kDefaultPort;
    return static_cast<unsigned short>(port);
}

// Tomcat's endpoint adds the port to the JDK's message.
void reportBindFailure(int error, unsigned short port)
{
    std::string exception;
    if (error == WSAEADDRINUSE)
        exception = "java.net.BindException: Address already in use: JVM_Bind:" + std::to_string(port);
    else if (error == WSAEACCES)
        exception = "java.net.BindException: Permission denied: JVM_Bind:" + std::to_string(port);
    else
        exception =
            "java.net.SocketException: Unrecognized Windows Sockets error: " + std::to_string(error) + ": JVM_Bind";
    writeOut(exception + "\r\n"
                         "\tat java.net.PlainSocketImpl.socketBind(Native Method)\r\n"
                         "\tat java.net.PlainSocketImpl.bind(PlainSocketImpl.java:405)\r\n"
                         "\tat java.net.ServerSocket.<init>(ServerSocket.java:170)\r\n"
                         "\tat org.apache.tomcat.net.DefaultServerSocketFactory.createSocket("
                         "DefaultServerSocketFactory.java:97)\r\n"
                         "\tat org.apache.tomcat.service.PoolTcpEndpoint.startEndpoint(PoolTcpEndpoint.java:239)\r\n");
}

// Returns the listening socket, or an invalid one with the Winsock error in error.
Socket listenOn(unsigned short port, int& error)
{
    Socket s(
        WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT));
    if (!s.valid() && WSAGetLastError() == WSAEINVAL) // flag unknown before Windows 7 SP1
        s = Socket(WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED));
    if (!s.valid()) {
        error = WSAGetLastError();
        return s;
    }
    noInherit(s.get());

    // A second server on the same port must fail, never share it.
    BOOL exclusive = TRUE;
    setsockopt(s.get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof exclusive);

    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(s.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == SOCKET_ERROR ||
        listen(s.get(), SOMAXCONN) == SOCKET_ERROR) {
        error = WSAGetLastError();
        s.reset();
    }
    return s;
}

const char kPage[] = "<!DOCTYPE html>\r\n"
                     "<html>\r\n"
                     "<head><meta charset=\"utf-8\"><title>Vantry</title></head>\r\n"
                     "<body>\r\n"
                     "<h1>Vantry</h1>\r\n"
                     "<p>The Vantry application is running.</p>\r\n"
                     "</body>\r\n"
                     "</html>\r\n";

const char kNotFound[] = "<!DOCTYPE html>\r\n"
                         "<html>\r\n"
                         "<head><meta charset=\"utf-8\"><title>Not Found</title></head>\r\n"
                         "<body>\r\n"
                         "<h1>Error: 404</h1>\r\n"
                         "<p>The requested resource is not available.</p>\r\n"
                         "</body>\r\n"
                         "</html>\r\n";

const char kNotImplemented[] = "<!DOCTYPE html>\r\n"
                               "<html>\r\n"
                               "<head><meta charset=\"utf-8\"><title>Not Implemented</title></head>\r\n"
                               "<body><h1>Error: 501</h1></body>\r\n"
                               "</html>\r\n";

const char kBadRequest[] = "<!DOCTYPE html>\r\n"
                           "<html>\r\n"
                           "<head><meta charset=\"utf-8\"><title>Bad Request</title></head>\r\n"
                           "<body><h1>Error: 400</h1></body>\r\n"
                           "</html>\r\n";

void setTimeout(SOCKET s, int option, DWORD ms)
{
    setsockopt(s, SOL_SOCKET, option, reinterpret_cast<const char*>(&ms), sizeof ms);
}

bool sendAll(SOCKET s, const std::string& data)
{
    std::size_t sent = 0;
    while (sent < data.size()) {
        const int chunk = data.size() - sent > 0x10000 ? 0x10000 : static_cast<int>(data.size() - sent);
        const int n = send(s, data.data() + sent, chunk, 0);
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

// Request text from a client goes to our stdout, which the launcher parses: keep it short and plain.
std::string printable(const std::string& s, std::size_t limit)
{
    std::string out;
    for (char c : s.substr(0, limit)) out += (c > 0x20 && c < 0x7f) ? c : '?';
    if (s.size() > limit) out += "...";
    return out;
}

bool isMethodName(const std::string& s)
{
    if (s.empty() || s.size() > 16) return false;
    for (char c : s)
        if (c < 'A' || c > 'Z') return false;
    return true;
}

void handleConnection(Socket client)
{
    setTimeout(client.get(), SO_RCVTIMEO, 5000);
    setTimeout(client.get(), SO_SNDTIMEO, 5000);

    std::string request;
    char buf[2048];
    while (request.size() < 16384 && request.find("\r\n\r\n") == std::string::npos &&
           request.find("\n\n") == std::string::npos) {
        const int n = recv(client.get(), buf, sizeof buf, 0);
        if (n <= 0) break;
        request.append(buf, static_cast<std::size_t>(n));
    }
    if (request.empty()) return;

    std::string line = request.substr(0, request.find('\n'));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string::size_type sp1 = line.find(' ');
    const std::string method = line.substr(0, sp1);
    std::string target;
    if (sp1 != std::string::npos) {
        const std::string::size_type start = line.find_first_not_of(' ', sp1);
        if (start != std::string::npos) target = line.substr(start, line.find(' ', start) - start);
    }

    std::string path = target;
    if (path.compare(0, 7, "http://") == 0) { // absolute form from proxies
        const std::string::size_type slash = path.find('/', 7);
        path = slash == std::string::npos ? "/" : path.substr(slash);
    }
    path = path.substr(0, path.find_first_of("?#"));

    int status = 200;
    const char* reason = "OK";
    const char* body = kPage;
    if (method.empty() || path.empty() || path[0] != '/') {
        status = 400;
        reason = "Bad Request";
        body = kBadRequest;
    } else if (method != "GET" && method != "HEAD") {
        status = 501;
        reason = "Not Implemented";
        body = kNotImplemented;
    } else if (path != "/Vantry" && path != "/Vantry/" && path != "/Vantry/index.html") {
        status = 404;
        reason = "Not Found";
        body = kNotFound;
    }

    const std::string content(body);
    char head[256];
    std::snprintf(head, sizeof head,
                  "HTTP/1.0 %d %s\r\n"
                  "Content-Type: text/html; charset=utf-8\r\n"
                  "Content-Length: %u\r\n"
                  "Connection: close\r\n"
                  "Server: Vantry stand-in\r\n"
                  "\r\n",
                  status, reason, static_cast<unsigned>(content.size()));
    sendAll(client.get(), method == "HEAD" ? std::string(head) : head + content);

    const bool inVantry = path.compare(0, 7, "/Vantry") == 0;
    lineOut(timestamp() + " - Ctx( " + (inVantry ? "/Vantry" : "") + " ): " + std::to_string(status) + " " +
            (isMethodName(method) ? method : "-") + " " + printable(path, 200));

    // Half-close and drain so the client gets the whole answer rather than a reset.
    shutdown(client.get(), SD_SEND);
    setTimeout(client.get(), SO_RCVTIMEO, 1000);
    for (int i = 0; i < 64 && recv(client.get(), buf, sizeof buf, 0) > 0; ++i) {}
}

void serveConnection(SOCKET raw) noexcept
{
    try {
        handleConnection(Socket(raw));
    } catch (...) {
        // The socket is closed by the unwinding; the server keeps going.
    }
}

[[noreturn]] void sleepForever()
{
    for (;;) Sleep(INFINITE);
}

// Writes (or adds to) a file under tomcat.home, where the tests look for what the server did.
void writeHomeFile(const Invocation& inv, const char* name, const std::string& text, bool append = false)
{
    const std::string home = property(inv, "tomcat.home");
    if (home.empty()) return;
    Handle file(CreateFileA((home + "\\" + name).c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file) WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::string workingDirectory()
{
    char cwd[MAX_PATH * 4];
    const DWORD n = GetCurrentDirectoryA(sizeof cwd, cwd);
    return n == 0 || n >= sizeof cwd ? std::string() : std::string(cwd, n);
}

bool homeFileExists(const Invocation& inv, const char* name)
{
    const std::string home = property(inv, "tomcat.home");
    return !home.empty() && GetFileAttributesA((home + "\\" + name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The milliseconds a file under tomcat.home holds; 0 when it is missing or holds no number.
unsigned long homeFileMillis(const Invocation& inv, const char* name)
{
    const std::string home = property(inv, "tomcat.home");
    if (home.empty()) return 0;
    Handle file(CreateFileA((home + "\\" + name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    char buf[32];
    DWORD got = 0;
    if (!file || !ReadFile(file.Get(), buf, sizeof buf, &got, nullptr)) return 0;
    unsigned long value = 0;
    return parseDecimal(trim(std::string(buf, got)), 3600000UL, value) ? value : 0;
}

// The running server and its stop command find each other through a name made from tomcat.home, as
// Tomcat's own stop command finds its server through the home's configuration.
std::string shutdownEventName(const Invocation& inv)
{
    unsigned long long hash = 14695981039346656037ull; // FNV-1a, of the home in lower case
    for (char c : property(inv, "tomcat.home")) {
        hash ^= static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        hash *= 1099511628211ull;
    }
    char name[64];
    std::snprintf(name, sizeof name, "Local\\VantryStandinShutdown-%016llx", hash);
    return name;
}

// Tomcat -stop: asks the server of this tomcat.home to shut down, and records that it was asked (and
// from which working directory) in tomcat.home\stop-requests.txt.
int stopTomcat(const Invocation& inv)
{
    writeHomeFile(inv, "stop-requests.txt", "stop from " + workingDirectory() + "\r\n", true);
    Handle shutdown(OpenEventA(EVENT_MODIFY_STATE, FALSE, shutdownEventName(inv).c_str()));
    if (!shutdown) {
        lineErr("Stopping tomcat: no server of this tomcat.home answers its shutdown request");
        return 1;
    }
    lineOut("Stopping tomcat.");
    SetEvent(shutdown.Get());
    return 0;
}

// Shuts the server down cleanly when its stop command asks, unless tomcat.home\conf\vantry-deaf.txt
// makes it deaf to the request; tomcat.home\conf\vantry-stop-delay.txt makes it take that many
// milliseconds to shut down, as a real one with work in flight does. The clean end is recorded in
// tomcat.home\clean-stop.txt.
void listenForShutdown(const Invocation& inv, unsigned short port)
{
    if (homeFileExists(inv, "conf\\vantry-deaf.txt")) return;
    HANDLE shutdown = CreateEventA(nullptr, FALSE, FALSE, shutdownEventName(inv).c_str());
    if (!shutdown) return;
    std::thread([inv, port, shutdown] {
        WaitForSingleObject(shutdown, INFINITE);
        lineOut(timestamp() + " - PoolTcpConnector: Stopping HttpConnectionHandler on " + std::to_string(port));
        Sleep(homeFileMillis(inv, "conf\\vantry-stop-delay.txt")); // read when asked: a test may set it late
        lineOut(timestamp() + " - ContextManager: Removing context Ctx( /Vantry )");
        lineOut("Tomcat stopped.");
        writeHomeFile(inv, "clean-stop.txt", "stopped cleanly\r\n");
        ExitProcess(0);
    }).detach();
}

} // namespace

int runTomcat(const Invocation& inv)
{
    for (const std::string& argument : inv.arguments)
        if (argument == "-stop") return stopTomcat(inv);
    const unsigned short port = configuredPort(inv);
    // Left under tomcat.home, where the tests look for it.
    writeHomeFile(inv, "working-directory.txt", workingDirectory());
    writeHomeFile(inv, "command-line.txt", GetCommandLineA());
    const unsigned long delay = millisProperty(inv, "vantry.standin.delay", 0);
    const unsigned long pause = millisProperty(inv, "vantry.standin.pause", 200);

    lineOut("Starting tomcat. Check logs/tomcat.log for error messages");
    lineOut(consoleWindowLine());
    lineOut(timestamp() + " - ContextManager: Adding context Ctx( /Vantry )");

    WinsockSession winsock;
    if (!winsock.ok()) {
        lineErr("java.net.SocketException: Windows Sockets could not be started");
        return 1;
    }

    lineOut(timestamp() + " - PoolTcpConnector: Starting HttpConnectionHandler on " + std::to_string(port));
    int error = 0;
    Socket listener = listenOn(port, error);
    if (!listener.valid()) {
        // Tomcat 3 reports the failed connector and stays up; the launcher ends us.
        reportBindFailure(error, port);
        sleepForever();
    }

    listenForShutdown(inv, port);

    if (delay > 0) Sleep(delay);
    // Separate writes with a gap: the launcher looks at one read at a time.
    lineOut("Vantry url: http://localhost:" + std::to_string(port) + "/Vantry");
    Sleep(pause);
    lineOut("Vantry is initialized");

    for (;;) {
        Socket client(accept(listener.get(), nullptr, nullptr));
        if (!client.valid()) {
            Sleep(50);
            continue;
        }
        noInherit(client.get());
        const SOCKET raw = client.release();
        try {
            std::thread(serveConnection, raw).detach();
        } catch (...) {
            serveConnection(raw); // no thread to spare: answer it here
        }
    }
}

} // namespace standin
