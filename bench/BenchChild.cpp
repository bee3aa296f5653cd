// The benchmark's stand-in server. Steps come from the command line or, when the launcher starts
// it with Java's command line, from the environment variable VANTRY_BENCH_STEPS:
//   flood:BYTES   writes BYTES of 100-byte lines as fast as it can
//   ready         writes "Vantry is initialized at <performance counter>"
//   sleep:MS      sleeps
//   wait          sleeps until it is ended
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

void Write(const char* data, size_t size)
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    while (size > 0) {
        DWORD written = 0;
        if (!WriteFile(out, data, static_cast<DWORD>(size), &written, nullptr)) return;
        data += written;
        size -= written;
    }
}

void Flood(size_t total)
{
    // 64 KiB blocks of numbered 100-byte lines.
    std::string block;
    size_t line = 0;
    while (total > 0) {
        block.clear();
        while (block.size() + 100 <= 64 * 1024 && block.size() < total) {
            char text[101];
            std::snprintf(text, sizeof text, "%010zu flood line of the benchmark's server %-50s\r\n", line++, "");
            block.append(text, 100);
        }
        size_t n = block.size() < total ? block.size() : total;
        Write(block.data(), n);
        total -= n;
    }
}

void Ready()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    char text[96];
    int n = std::snprintf(text, sizeof text, "Vantry is initialized at %lld\r\n", static_cast<long long>(now.QuadPart));
    Write(text, static_cast<size_t>(n));
}

void Run(const std::string& step)
{
    if (step.rfind("flood:", 0) == 0) Flood(std::strtoull(step.c_str() + 6, nullptr, 10));
    else if (step == "ready") Ready();
    else if (step.rfind("sleep:", 0) == 0) Sleep(std::strtoul(step.c_str() + 6, nullptr, 10));
    else if (step == "wait") Sleep(INFINITE);
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> steps(argv + 1, argv + argc);
    char fromEnvironment[1024];
    DWORD n = GetEnvironmentVariableA("VANTRY_BENCH_STEPS", fromEnvironment, sizeof fromEnvironment);
    if (n > 0 && n < sizeof fromEnvironment) {
        steps.clear();
        std::istringstream words(fromEnvironment);
        for (std::string word; words >> word;) steps.push_back(word);
    }
    for (const std::string& step : steps) Run(step);
    return 0;
}
