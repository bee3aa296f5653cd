// The server of the benchmark and the soak. Steps come from the command line or, when a runner
// starts it with Java's command line, from the environment variable VANTRY_LOAD_STEPS:
//   say:TEXT      writes the line TEXT
//   ready         writes "Vantry is initialized at <performance counter>"
//   flood:BYTES   writes BYTES of numbered 100-byte lines as fast as it can
//   flood         the same without end, until it is ended or its reader is gone
//   sleep:MS      sleeps
//   wait          sleeps until it is ended
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

bool Write(const char* data, size_t size)
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    while (size > 0) {
        DWORD written = 0;
        if (!WriteFile(out, data, static_cast<DWORD>(size), &written, nullptr)) return false;
        data += written;
        size -= written;
    }
    return true;
}

void WriteLine(const std::string& text)
{
    std::string line = text + "\r\n";
    Write(line.data(), line.size());
}

// 64 KiB writes of numbered 100-byte lines; total 0: without end.
void Flood(unsigned long long total)
{
    const bool endless = total == 0;
    std::string block;
    unsigned long long line = 0;
    while (endless || total > 0) {
        block.clear();
        while (block.size() + 100 <= 64 * 1024 && (endless || block.size() < total)) {
            char text[101];
            std::snprintf(text, sizeof text, "%012llu flood line of the load child %-56s\r\n", line++, "");
            block.append(text, 100);
        }
        size_t n = endless || block.size() < total ? block.size() : static_cast<size_t>(total);
        if (!Write(block.data(), n)) return; // the reader is gone
        if (!endless) total -= n;
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
    if (step.rfind("say:", 0) == 0) WriteLine(step.substr(4));
    else if (step == "ready") Ready();
    else if (step == "flood") Flood(0);
    else if (step.rfind("flood:", 0) == 0) Flood(std::strtoull(step.c_str() + 6, nullptr, 10));
    else if (step.rfind("sleep:", 0) == 0) Sleep(std::strtoul(step.c_str() + 6, nullptr, 10));
    else if (step == "wait") Sleep(INFINITE);
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> steps(argv + 1, argv + argc);
    char fromEnvironment[1024];
    DWORD n = GetEnvironmentVariableA("VANTRY_LOAD_STEPS", fromEnvironment, sizeof fromEnvironment);
    if (n > 0 && n < sizeof fromEnvironment) {
        steps.clear();
        std::istringstream words(fromEnvironment);
        for (std::string word; words >> word;) steps.push_back(word);
    }
    for (const std::string& step : steps) Run(step);
    return 0;
}
