#include "process/StopSequence.h"

#include "framework/Paths.h"

namespace {

Handle OpenChild(DWORD processId)
{
    if (processId == static_cast<DWORD>(-1)) return Handle();
    return Handle(OpenProcess(SYNCHRONIZE, FALSE, processId));
}

} // namespace

void StopSequence::Begin(ProcessRunner* init, ServerRunner& server, bool serverRuns, DWORD timeout)
{
    Finish();
    init_ = init;
    server_ = &server;
    deadline_ = GetTickCount() + timeout;
    if (init) {
        initProcess_ = OpenChild(init->ProcessId());
        init->Stop();
    }
    serverProcess_ = OpenChild(server.ProcessId());
    // A command that cannot start leaves the server to the deadline.
    if (serverProcess_ && serverRuns && !server.PortTaken()) command_.Start(server.JavaExe(), sharedHomeDir);
    else server.Stop();
}

DWORD StopSequence::Remaining() const
{
    const LONG left = static_cast<LONG>(deadline_ - GetTickCount());
    return left > 0 ? static_cast<DWORD>(left) : 0;
}

void StopSequence::Shorten(DWORD milliseconds)
{
    const DWORD deadline = GetTickCount() + milliseconds;
    if (static_cast<LONG>(deadline - deadline_) < 0) deadline_ = deadline;
}

void StopSequence::EndWhatIsLeft()
{
    if (init_) init_->Stop();
    if (server_) server_->Stop();
}

void StopSequence::Finish()
{
    command_.End();
    initProcess_.Reset();
    serverProcess_.Reset();
    init_ = nullptr;
    server_ = nullptr;
}
