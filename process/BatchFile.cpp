#include "process/BatchFile.h"

#include "framework/Paths.h"
#include "framework/Text.h"

#include <windows.h>

#include <string>

bool RunBatchFile(const char* home, const char* file)
{
    // The full path: a bare cmd.exe would be looked for in the program's folder first.
    char shell[kPathSize];
    UINT length = GetSystemDirectoryA(shell, sizeof shell);
    if (length == 0 || length >= sizeof shell || !AppendText(shell, "\\cmd.exe")) return false;
    // /c strips the outer pair of quotes and keeps the inner pair, so that a home such as
    // "C:\Program Files (x86)\A&B" stays one path; /d: no AutoRun commands of the registry.
    std::string line = std::string("cmd.exe /d /c \"\"") + home + "\\" + file + "\"\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION created = {};
    if (!CreateProcessA(shell, &line[0], nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr, home, &startup,
                        &created))
        return false;
    CloseHandle(created.hThread);
    CloseHandle(created.hProcess);
    return true;
}
