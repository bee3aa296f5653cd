// A console program for the tests. Each argument is one step, done in order:
//   out:TEXT  err:TEXT   write TEXT to stdout / stderr in one write (\n \r \0 \s (space) \\ are escapes)
//   big:N                write N bytes of numbered lines to stdout in one write
//   line:N:TEXT          write one line of N bytes with TEXT (escapes as for out:) in its middle, in one write
//   zero                 a zero-length write to stdout
//   sleep:MS             sleep
//   wait:NAME            wait (up to a minute) until the test sets the named event NAME
//   flood                write numbered lines to stdout without end
//   stdin:MS             wait up to MS for standard input and report what came, on stdout
//   crash                an access violation
//   spawn:STEPS          starts a copy of itself with STEPS ('+' between steps), which inherits the
//                        output; writes "grandchild <pid>" and does not wait for it
//   closeout             closes its standard output and error, and goes on
//   handle               writes "stdout <value>", its standard output's handle value, so that a test
//                        can hold the output from outside the child's job
//   exit:N               end with exit code N (the default is 0)
// Started with other arguments (a Java command line), it takes its steps from the environment
// variable VANTRY_TEST_STEPS instead.
#include "Numbered.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Unescape(const char* text)
{
    std::string out;
    for (const char* c = text; *c; ++c) {
        if (*c != '\\' || !c[1]) {
            out += *c;
            continue;
        }
        ++c;
        switch (*c) {
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 's': out += ' '; break;
        case '0': out += '\0'; break;
        default: out += *c; break;
        }
    }
    return out;
}

void Write(DWORD which, const std::string& text)
{
    DWORD written = 0;
    WriteFile(GetStdHandle(which), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

DWORD WINAPI ReadInput(LPVOID result)
{
    char c;
    DWORD got = 0;
    BOOL ok = ReadFile(GetStdHandle(STD_INPUT_HANDLE), &c, 1, &got, nullptr);
    *static_cast<int*>(result) = !ok ? 2 : got == 0 ? 1 : 3;
    return 0;
}

void ReportInput(DWORD milliseconds)
{
    static int result = 0; // 1 end of input, 2 error, 3 data
    HANDLE thread = CreateThread(nullptr, 0, &ReadInput, &result, 0, nullptr);
    DWORD waited = WaitForSingleObject(thread, milliseconds);
    const char* report = waited == WAIT_TIMEOUT ? "stdin: no data, no end\n"
                         : result == 1          ? "stdin: end of input\n"
                         : result == 2          ? "stdin: error\n"
                                                : "stdin: data\n";
    Write(STD_OUTPUT_HANDLE, report);
}

void WaitForEvent(const char* name)
{
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, name);
    if (!event) return;
    WaitForSingleObject(event, 60000);
    CloseHandle(event);
}

void Flood()
{
    for (unsigned long long line = 0;; ++line) Write(STD_OUTPUT_HANDLE, "flood line " + std::to_string(line) + "\n");
}

void Spawn(const char* steps)
{
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string line = std::string("\"") + self + "\" ";
    for (const char* c = steps; *c; ++c) line += *c == '+' ? ' ' : *c;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION created = {};
    SetEnvironmentVariableA("VANTRY_TEST_STEPS", nullptr);
    if (!CreateProcessA(self, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &created)) return;
    Write(STD_OUTPUT_HANDLE, "grandchild " + std::to_string(created.dwProcessId) + "\n");
    CloseHandle(created.hProcess);
    CloseHandle(created.hThread);
}

std::vector<std::string> Steps(int argc, char** argv)
{
    std::vector<std::string> steps(argv + 1, argv + argc);
    bool java = !steps.empty() && steps[0].rfind("-", 0) == 0;
    char fromEnvironment[4096];
    DWORD n = GetEnvironmentVariableA("VANTRY_TEST_STEPS", fromEnvironment, sizeof fromEnvironment);
    if (java && n > 0 && n < sizeof fromEnvironment) {
        steps.clear();
        std::string word;
        for (const char* c = fromEnvironment;; ++c) {
            if (*c == ' ' || *c == '\0') {
                if (!word.empty()) steps.push_back(word);
                word.clear();
                if (!*c) break;
            } else {
                word += *c;
            }
        }
    }
    return steps;
}

} // namespace

int main(int argc, char** argv)
{
    int code = 0;
    for (const std::string& text : Steps(argc, argv)) {
        const char* step = text.c_str();
        if (!std::strncmp(step, "out:", 4)) Write(STD_OUTPUT_HANDLE, Unescape(step + 4));
        else if (!std::strncmp(step, "err:", 4)) Write(STD_ERROR_HANDLE, Unescape(step + 4));
        else if (!std::strncmp(step, "big:", 4))
            Write(STD_OUTPUT_HANDLE, NumberedText(std::strtoul(step + 4, nullptr, 10)));
        else if (!std::strncmp(step, "line:", 5)) {
            char* rest = nullptr;
            size_t length = std::strtoul(step + 5, &rest, 10);
            std::string text = Unescape(*rest == ':' ? rest + 1 : rest);
            std::string line(length > text.size() ? length - text.size() : 0, '-');
            line.insert(line.size() / 2, text);
            Write(STD_OUTPUT_HANDLE, line + "\r\n");
        } else if (!std::strcmp(step, "zero")) Write(STD_OUTPUT_HANDLE, std::string());
        else if (!std::strncmp(step, "sleep:", 6)) Sleep(std::strtoul(step + 6, nullptr, 10));
        else if (!std::strncmp(step, "wait:", 5)) WaitForEvent(step + 5);
        else if (!std::strcmp(step, "flood")) Flood();
        else if (!std::strncmp(step, "stdin:", 6)) ReportInput(std::strtoul(step + 6, nullptr, 10));
        else if (!std::strcmp(step, "crash")) *static_cast<volatile int*>(nullptr) = 1;
        else if (!std::strncmp(step, "spawn:", 6)) Spawn(step + 6);
        else if (!std::strcmp(step, "closeout")) {
            HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE), err = GetStdHandle(STD_ERROR_HANDLE);
            CloseHandle(out);
            if (err != out) CloseHandle(err);
        } else if (!std::strcmp(step, "handle")) {
            auto value = reinterpret_cast<unsigned long long>(GetStdHandle(STD_OUTPUT_HANDLE));
            Write(STD_OUTPUT_HANDLE, "stdout " + std::to_string(value) + "\n");
        } else if (!std::strncmp(step, "exit:", 5)) code = std::atoi(step + 5);
    }
    ExitProcess(static_cast<UINT>(code)); // ends a reader of stdin that is still blocked
}
