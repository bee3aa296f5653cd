#include "process/InitRunner.h"

#include "process/JavaCommandLine.h"

int InitRunner::Launch(RunnerOwner* console, const char* javaExePath, const char* homeDir, const char* options)
{
    char line[kCommandLineSize];
    if (!BuildInitCommandLine(line, sizeof line, homeDir, options)) return 0;
    owner = console;
    return Start(javaExePath, line, homeDir, SW_HIDE, 1);
}

int InitRunner::OnOutput(char* text, int)
{
    if (owner) owner->AppendConsoleText(text);
    return 1;
}
