// The server's own stop command, which asks a running Tomcat to shut down cleanly: the server's
// java.exe, tomcat.home and class path with "-stop", in the server's home directory, hidden, with its
// output discarded. It is not waited for: what counts is the server's end. It runs in a job of its
// own that ends it when the launcher ends, however the launcher ends, so that a stop command that
// hangs is never left behind.
#pragma once
#include "framework/Handle.h"

class StopCommand {
public:
    StopCommand() = default;
    ~StopCommand() { End(); }
    StopCommand(const StopCommand&) = delete;
    StopCommand& operator=(const StopCommand&) = delete;

    // 1 when the command was started; 0 when its line would not fit (a cut line is never run) or
    // the program could not be started.
    int Start(const char* javaExePath, const char* home);
    // Ends the command and what it started, if they still run.
    void End();

private:
    Handle job_;
    Handle process_;
};
