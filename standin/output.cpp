#include "output.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <mutex>

namespace standin {

namespace {

std::mutex& writeLock()
{
    static std::mutex lock;
    return lock;
}

void writeHandle(DWORD which, const std::string& text)
{
    const std::lock_guard<std::mutex> guard(writeLock());
    const HANDLE h = GetStdHandle(which);
    if (h == nullptr || h == INVALID_HANDLE_VALUE) return;
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        DWORD written = 0;
        const DWORD chunk = left > 0x10000 ? 0x10000 : static_cast<DWORD>(left);
        if (!WriteFile(h, p, chunk, &written, nullptr) || written == 0) return;
        p += written;
        left -= written;
    }
}

} // namespace

void writeOut(const std::string& text) { writeHandle(STD_OUTPUT_HANDLE, text); }
void writeErr(const std::string& text) { writeHandle(STD_ERROR_HANDLE, text); }
void lineOut(const std::string& line) { writeOut(line + "\r\n"); }
void lineErr(const std::string& line) { writeErr(line + "\r\n"); }

std::string timestamp()
{
    SYSTEMTIME t;
    GetLocalTime(&t);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", unsigned(t.wYear), unsigned(t.wMonth),
                  unsigned(t.wDay), unsigned(t.wHour), unsigned(t.wMinute), unsigned(t.wSecond));
    return buf;
}

std::string consoleWindowLine()
{
    HWND window = GetConsoleWindow();
    if (!window) return "Console window: none";
    char line[64];
    std::snprintf(line, sizeof line, "Console window: %p", static_cast<void*>(window));
    return line;
}

} // namespace standin
