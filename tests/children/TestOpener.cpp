// Stands in for the browser and the file viewers: registered as the shell's "open" command in the
// test prefix, it appends what it was asked to open, one line each, to the file named by the
// environment variable VANTRY_OPENER_LOG (inherited from the program that asked the shell).
#include <windows.h>

#include <cstdio>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    char log[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("VANTRY_OPENER_LOG", log, sizeof log);
    if (n == 0 || n >= sizeof log) return 1;
    FILE* file = std::fopen(log, "ab");
    if (!file) return 1;
    std::fprintf(file, "%s\n", commandLine);
    std::fclose(file);
    return 0;
}
