#include "process/ServerRunner.h"

#include "app/ConsoleDialog.h"
#include "app/Shell.h"
#include "framework/Text.h"
#include "process/JavaCommandLine.h"

#include <cstring>

const char kUrlMarker[] = "Vantry url: ";
const char kReadyMarker[] = "Vantry is initialized";
const char kPortTakenMarker[] = "java.net.BindException";

namespace {

const char kDefaultUrl[] = "http://localhost/Vantry";

bool StartsWithNoCase(const char* text, size_t length, const char* prefix)
{
    size_t n = std::strlen(prefix);
    if (length < n) return false;
    for (size_t i = 0; i < n; ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

} // namespace

int FindApplicationUrl(const char* text, char* url, size_t size)
{
    const size_t markerLength = sizeof kUrlMarker - 1;
    const char* found = nullptr;
    size_t foundLength = 0;
    for (const char* at = std::strstr(text, kUrlMarker); at; at = std::strstr(at + markerLength, kUrlMarker)) {
        const char* begin = at + markerLength;
        const char* end = begin + std::strcspn(begin, "\r\n");
        while (begin < end && IsBlank(*begin)) ++begin;
        while (end > begin && IsBlank(end[-1])) --end;
        size_t length = static_cast<size_t>(end - begin);
        bool web = StartsWithNoCase(begin, length, "http://") || StartsWithNoCase(begin, length, "https://");
        bool printable = true;
        for (const char* c = begin; c < end; ++c)
            if (static_cast<unsigned char>(*c) <= ' ') printable = false;
        if (web && printable && length < size) {
            found = begin;
            foundLength = length;
        }
    }
    if (!found) return 0;
    std::memcpy(url, found, foundLength);
    url[foundLength] = '\0';
    return 1;
}

ServerRunner::ServerRunner() : applicationUrl() { CopyText(applicationUrl, kDefaultUrl); }

int ServerRunner::Launch(ConsoleDialog* console, const char* javaExePath)
{
    char line[kCommandLineSize];
    if (!BuildServerCommandLine(line, sizeof line, sharedHomeDir)) return 0;
    owner = console;
    return Start(javaExePath, line, sharedHomeDir, SW_HIDE, 1);
}

int ServerRunner::OnOutput(char* text, int)
{
    if (owner) owner->AppendConsoleText(text);
    if (std::strstr(text, kUrlMarker)) {
        char url[kUrlSize];
        if (FindApplicationUrl(text, url, sizeof url)) {
            std::lock_guard<std::mutex> guard(urlLock_);
            CopyText(applicationUrl, url);
        }
    } else if (std::strstr(text, kReadyMarker)) {
        if (owner) owner->PostServerReady();
    } else if (std::strstr(text, kPortTakenMarker)) {
        Stop();
    }
    return 1;
}

std::string ServerRunner::ApplicationUrl() const
{
    std::lock_guard<std::mutex> guard(urlLock_);
    return applicationUrl;
}

void ServerRunner::OpenApplicationUrl() { ShellOpen(ApplicationUrl().c_str()); }
