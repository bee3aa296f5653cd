// The one stop of what the launcher runs, for Exit, the end of the Windows session and a restart. The
// initialiser is ended at once. A running server is asked to stop by its own command, run with the
// java.exe that started it, and has until the deadline to end by itself: ending it at once could lose
// the application's writes in flight. Then whatever is left is ended with its tree. No command after a
// taken port: it would reach the other server, which holds the port. Each caller waits in its own way:
// the exit for the processes, a restart for the server's end message.
#pragma once
#include "framework/Handle.h"
#include "process/ServerRunner.h"
#include "process/StopCommand.h"

class StopSequence {
public:
    // init: null when the server alone is stopped. serverRuns: its launch succeeded and its end has not
    // been handled. timeout: how long the server has to end by itself.
    void Begin(ProcessRunner* init, ServerRunner& server, bool serverRuns, DWORD timeout);
    bool Begun() const { return server_ != nullptr; }
    // Milliseconds until the deadline; 0 once it has passed.
    DWORD Remaining() const;
    // The deadline comes no later than milliseconds from now.
    void Shorten(DWORD milliseconds);
    // The deadline is milliseconds from now.
    void Extend(DWORD milliseconds) { deadline_ = GetTickCount() + milliseconds; }
    // The children to wait for, held since Begin so that their ids cannot be reused meanwhile; null
    // when there was none.
    HANDLE Initialiser() const { return initProcess_.Get(); }
    HANDLE Server() const { return serverProcess_.Get(); }
    // The deadline has passed: what is left is ended with its tree.
    void EndWhatIsLeft();
    // The stop is over: its command is ended if it still runs, and nothing is held.
    void Finish();

private:
    ProcessRunner* init_ = nullptr;
    ServerRunner* server_ = nullptr;
    Handle initProcess_;
    Handle serverProcess_;
    StopCommand command_;
    DWORD deadline_ = 0;
};
