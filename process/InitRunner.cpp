#include "process/InitRunner.h"

#include "app/ConsoleDialog.h"
#include "process/JavaCommandLine.h"

int InitRunner::Launch(ConsoleDialog* console, const char* javaExePath, const char* homeDir)
{
    char line[kCommandLineSize];
    if (!BuildInitCommandLine(line, sizeof line, homeDir)) return 0;
    owner = console;
    return Start(javaExePath, line, homeDir, SW_HIDE, 1);
}

int InitRunner::OnOutput(char* text, int)
{
    if (owner) owner->AppendConsoleText(text);
    return 1;
}
