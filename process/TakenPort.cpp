#include <winsock2.h> // before windows.h: the socket tables' families

#include "process/TakenPort.h"

#include "framework/Handle.h"
#include "framework/SystemDlls.h"
#include "framework/Text.h"
#include "process/ServerRunner.h"

#include <iphlpapi.h>

#include <cstring>
#include <vector>

namespace {

constexpr int kLinesBefore = 3;

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

bool MatchesNoCase(const std::string& text, size_t at, size_t end, const char* word)
{
    size_t n = std::strlen(word);
    if (at + n > end) return false;
    for (size_t i = 0; i < n; ++i)
        if (Lower(text[at + i]) != word[i]) return false;
    return true;
}

// A port number at text[at]: one to five digits, not part of a longer number, 1..65535.
int PortAt(const std::string& text, size_t at, size_t end)
{
    int value = 0;
    size_t i = at;
    for (; i < end && IsDigit(text[i]); ++i) {
        if (i - at == 5) return 0;
        value = value * 10 + (text[i] - '0');
    }
    return i > at && value <= 65535 ? value : 0;
}

// "bind:8080" (as in JVM_Bind:8080), or the word "port" or "localport" followed by up to two of
// blank, ':' and '=' and the number.
int PortInLine(const std::string& text, size_t begin, size_t end)
{
    for (size_t at = begin; at < end; ++at) {
        int port = 0;
        if (MatchesNoCase(text, at, end, "bind:")) {
            port = PortAt(text, at + 5, end);
        } else if (MatchesNoCase(text, at, end, "port")) {
            bool wordStart = at == begin || !IsLetter(text[at - 1]) ||
                             (at >= begin + 5 && MatchesNoCase(text, at - 5, end, "local"));
            size_t digits = at + 4;
            for (int n = 0; n < 2 && digits < end && std::strchr(" :=", text[digits]); ++n) ++digits;
            if (wordStart) port = PortAt(text, digits, end);
        }
        if (port > 0) return port;
    }
    return 0;
}

DWORD SystemListeners(ULONG family, void* table, DWORD* size)
{
    // Not imported at load time: iphlpapi is no known DLL, so Windows would look for it beside us.
    using Function = DWORD(WINAPI*)(void*, DWORD*, BOOL, ULONG, TCP_TABLE_CLASS, ULONG);
    static const Function getTable = [] {
        HMODULE iphlpapi = SystemDll("iphlpapi.dll");
        return iphlpapi ? reinterpret_cast<Function>(
                              reinterpret_cast<void (*)()>(GetProcAddress(iphlpapi, "GetExtendedTcpTable")))
                        : nullptr;
    }();
    if (!getTable) return ERROR_NOT_SUPPORTED;
    return getTable(table, size, FALSE, family, TCP_TABLE_OWNER_PID_LISTENER, 0);
}

bool SystemProgramName(DWORD processId, char* name, size_t size)
{
    Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) return false;
    char path[1024];
    DWORD length = sizeof path;
    if (!QueryFullProcessImageNameA(process.Get(), 0, path, &length)) return false;
    const char* file = std::strrchr(path, '\\');
    return CopyText(name, size, file ? file + 1 : path) && name[0] != '\0';
}

// The listeners of one family; false when the system gives no table.
bool Listeners(ULONG family, std::vector<unsigned char>& table)
{
    table.clear();
    DWORD size = 0;
    // The table can grow between the two calls: asked again a few times.
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD result = portOwnerPlatform.listeners(family, table.empty() ? nullptr : table.data(), &size);
        if (result == NO_ERROR) return true;
        if (result != ERROR_INSUFFICIENT_BUFFER || size == 0) break;
        table.assign(size, 0);
    }
    table.clear();
    return false;
}

int HostPort(DWORD networkOrder)
{
    return static_cast<int>(((networkOrder & 0xFF) << 8) | ((networkOrder >> 8) & 0xFF));
}

// The port's listener in a table of rows (MIB_TCPTABLE_OWNER_PID or its IPv6 form), a known owner
// before an unknown one; only the rows that the table's size holds are read.
template <typename Table, typename Row> PortHolder HolderIn(const std::vector<unsigned char>& data, int port)
{
    PortHolder holder = { PortHolder::kNoListener, 0 };
    const size_t rowsAt = offsetof(Table, table);
    if (data.size() < rowsAt) return holder;
    const Table* table = reinterpret_cast<const Table*>(data.data());
    size_t rows = (data.size() - rowsAt) / sizeof(Row);
    if (table->dwNumEntries < rows) rows = table->dwNumEntries;
    for (size_t i = 0; i < rows; ++i) {
        const Row& row = table->table[i];
        if (HostPort(row.dwLocalPort) != port) continue;
        if (row.dwOwningPid != 0) return { PortHolder::kOwner, row.dwOwningPid };
        holder.found = PortHolder::kUnknown;
    }
    return holder;
}

} // namespace

void TakenPortClues::Reset()
{
    std::lock_guard<std::mutex> guard(lock_);
    text_.clear();
    seen_ = false;
    added_ = 0;
}

void TakenPortClues::MarkerSeen()
{
    std::lock_guard<std::mutex> guard(lock_);
    if (seen_) return; // the first marker stopped the server
    seen_ = true;
    added_ = 0;
}

void TakenPortClues::Add(const char* text)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (!seen_) {
        text_ += text;
        // Trimmed in steps, so that a flood costs one copy of the kept text now and then.
        if (text_.size() > 2 * kBefore) text_.erase(0, text_.size() - kBefore);
        return;
    }
    if (added_ >= kAfter) return;
    size_t length = std::strlen(text);
    if (length > kAfter - added_) length = kAfter - added_;
    text_.append(text, length);
    added_ += length;
}

bool TakenPortClues::Seen() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return seen_;
}

std::string TakenPortClues::Text() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return text_;
}

int PortFromServerOutput(const std::string& text)
{
    size_t marker = text.find(kPortTakenMarker);
    if (marker == std::string::npos) return 0;
    size_t end = marker;
    while (end < text.size() && !IsLineEnd(text[end])) ++end;
    size_t begin = marker;
    while (begin > 0 && !IsLineEnd(text[begin - 1])) --begin;
    if (int port = PortInLine(text, begin, end)) return port;

    // The lines before it, nearest first; blank lines (a CR LF's two ends) are not counted.
    for (int lines = 0; lines < kLinesBefore && begin > 0;) {
        end = begin;
        while (end > 0 && IsLineEnd(text[end - 1])) --end;
        begin = end;
        while (begin > 0 && !IsLineEnd(text[begin - 1])) --begin;
        if (begin == end) break;
        if (int port = PortInLine(text, begin, end)) return port;
        ++lines;
    }
    return 0;
}

int PortFromAddress(const char* url)
{
    std::string address = url;
    int port = 0;
    size_t host = 0;
    if (MatchesNoCase(address, 0, address.size(), "http://")) host = 7, port = 80;
    else if (MatchesNoCase(address, 0, address.size(), "https://")) host = 8, port = 443;
    else return 0;
    size_t hostEnd = address.find_first_of("/?#", host);
    if (hostEnd == std::string::npos) hostEnd = address.size();
    size_t at = address.rfind('@', hostEnd);
    if (at != std::string::npos && at >= host) host = at + 1;
    size_t colon = address.rfind(':', hostEnd - 1);
    size_t bracket = address.rfind(']', hostEnd - 1); // an IPv6 host holds colons of its own
    if (colon == std::string::npos || colon < host ||
        (bracket != std::string::npos && bracket >= host && colon < bracket))
        return port;
    if (colon + 1 == hostEnd) return port; // "host:" with nothing after it
    if (hostEnd - colon - 1 > 5 || address.find_first_not_of("0123456789", colon + 1) < hostEnd) return 0;
    return PortAt(address, colon + 1, hostEnd);
}

PortOwnerPlatform SystemPortOwnerPlatform() { return { &SystemListeners, &SystemProgramName }; }

PortOwnerPlatform portOwnerPlatform = SystemPortOwnerPlatform();

PortHolder PortOwner(int port)
{
    std::vector<unsigned char> v4, v6;
    bool read4 = Listeners(AF_INET, v4), read6 = Listeners(AF_INET6, v6);
    PortHolder holder = HolderIn<MIB_TCPTABLE_OWNER_PID, MIB_TCPROW_OWNER_PID>(v4, port);
    if (holder.found == PortHolder::kOwner) return holder;
    PortHolder other = HolderIn<MIB_TCP6TABLE_OWNER_PID, MIB_TCP6ROW_OWNER_PID>(v6, port);
    if (other.found != PortHolder::kNoListener) return other;
    // Only both tables, read whole, can tell that nobody listens.
    if (holder.found == PortHolder::kNoListener && !(read4 && read6)) holder.found = PortHolder::kUnknown;
    return holder;
}

std::string TakenPortMessage(int port)
{
    const std::string start = "Port " + std::to_string(port);
    PortHolder holder = PortOwner(port);
    // Nobody listens: a range the system keeps for itself (Hyper-V, WSL, Docker), or a bound socket.
    if (holder.found == PortHolder::kNoListener) return start + " is in use or reserved.";
    std::string message = start + " is in use by another program";
    if (holder.found == PortHolder::kOwner) {
        char name[MAX_PATH] = "";
        message += " (";
        if (holder.processId == 4) message += "System (HTTP.sys), "; // the system's HTTP server
        else if (portOwnerPlatform.programName(holder.processId, name, sizeof name))
            message += std::string(name) + ", ";
        message += "process " + std::to_string(holder.processId) + ")";
    }
    return message + ".";
}
