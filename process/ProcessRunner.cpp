#include "process/ProcessRunner.h"

#include "process/ConsoleLog.h"

#include <shellapi.h>

namespace {

constexpr DWORD kNoProcess = static_cast<DWORD>(-1);
constexpr DWORD kPipeBufferSize = 0; // the system's default
// How long an ended child's last output may take to reach the reader before its end is reported.
constexpr DWORD kDrainMilliseconds = 2000;
// How long the watcher waits for a terminated child to be gone (its port free) before reporting.
constexpr DWORD kTerminateMilliseconds = 5000;
constexpr DWORD kCancelRetryMilliseconds = 10;

// A captured launch points the launcher's own standard handles at the child's pipe ends for its
// duration; this puts the launcher's back on every path.
class StandardHandles {
public:
    StandardHandles() : input_(GetStdHandle(STD_INPUT_HANDLE)), output_(GetStdHandle(STD_OUTPUT_HANDLE)) {}
    ~StandardHandles() { Restore(); }
    StandardHandles(const StandardHandles&) = delete;
    StandardHandles& operator=(const StandardHandles&) = delete;
    int Restore()
    {
        if (!restored_) {
            restored_ = true;
            BOOL in = SetStdHandle(STD_INPUT_HANDLE, input_);
            BOOL out = SetStdHandle(STD_OUTPUT_HANDLE, output_);
            ok_ = in && out;
        }
        return ok_;
    }

private:
    HANDLE input_, output_;
    bool restored_ = false;
    int ok_ = 0;
};

void CloseIfValid(HANDLE h)
{
    if (h != INVALID_HANDLE_VALUE && h != nullptr) CloseHandle(h);
}

// A pipe for one of the child's standard handles (STD_INPUT_HANDLE: the child reads it, else it
// writes it), its ends kept in read and write so that a failure leaves them to be closed. Only the
// child's end is inheritable, and only until the child has it; it is the launcher's own standard
// handle for the launch.
int OpenChildPipe(std::atomic<HANDLE>& read, std::atomic<HANDLE>& write, DWORD standardHandle)
{
    HANDLE readEnd = INVALID_HANDLE_VALUE, writeEnd = INVALID_HANDLE_VALUE;
    if (!CreatePipe(&readEnd, &writeEnd, nullptr, kPipeBufferSize)) return 0;
    read = readEnd;
    write = writeEnd;
    HANDLE childEnd = standardHandle == STD_INPUT_HANDLE ? readEnd : writeEnd;
    if (!SetHandleInformation(childEnd, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) return 0;
    SetStdHandle(standardHandle, childEnd);
    return 1;
}

} // namespace

ProcessRunner::ProcessRunner() = default;

ProcessRunner::~ProcessRunner() { EndSupervision(); }

void ProcessRunner::EndSupervision()
{
    Stop();
    ReleaseWatcher();
    EndReader();
    CloseHandles();
}

int ProcessRunner::OnOutput(char*, int) { return 1; }

int ProcessRunner::IsConsoleProgram(const char* path)
{
    if (!path) return 0;
    SHFILEINFOA info = {};
    DWORD_PTR type = SHGetFileInfoA(path, 0, &info, sizeof info, SHGFI_EXETYPE);
    if ((type >> 16) != 0) return 0; // a windowed program: its Windows version is in the high word
    DWORD magic = type & 0xFFFF;
    // "MZ" (an MS-DOS program; Wine reports the bytes swapped) or "PE" (a console Win32 program).
    return magic == 0x5A4D || magic == 0x4D5A || magic == 0x4550;
}

bool ProcessRunner::IsIdle() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return stopEvent == nullptr;
}

bool ProcessRunner::ExitCode(DWORD& code) const
{
    std::lock_guard<std::mutex> guard(lock_);
    code = exitCode_;
    return exitCodeKnown_;
}

void ProcessRunner::SetNotify(CWnd* window, UINT message)
{
    std::lock_guard<std::mutex> guard(lock_);
    notifyWnd = window;
    notifyMsg = message;
}

int ProcessRunner::Stop()
{
    std::lock_guard<std::mutex> guard(lock_);
    return stopEvent ? SetEvent(stopEvent) : 0;
}

void ProcessRunner::CloseHandles()
{
    int open = 1;
    if (!closeGuard.compare_exchange_strong(open, 0)) return; // another thread is closing them
    CloseIfValid(childStdinRead.exchange(INVALID_HANDLE_VALUE));
    CloseIfValid(parentStdinWrite.exchange(INVALID_HANDLE_VALUE));
    CloseIfValid(childStdoutWrite.exchange(INVALID_HANDLE_VALUE));
    CloseIfValid(parentStdoutRead.exchange(INVALID_HANDLE_VALUE));
    closeGuard.store(1);
}

int ProcessRunner::Start(const char* applicationName, char* commandLine, const char* currentDirectory, int showCommand,
                         int capture)
{
    if (!IsIdle()) return 0;
    ReleaseWatcher(); // the previous child's watcher has finished its clean-up; release its thread object

    const char* program = applicationName ? applicationName : commandLine;
    int launched = capture && IsConsoleProgram(program)
                       ? LaunchCaptured(applicationName, commandLine, currentDirectory)
                       : LaunchPlain(applicationName, commandLine, currentDirectory, showCommand);
    if (!launched || !StartWatcher()) {
        AbandonChild();
        return 0;
    }
    // Before the child runs, so that its start comes before its output.
    if (log_) log_->Started(applicationName, commandLine);
    // The child was created suspended, so that it runs only once it is in its job and watched.
    if (ResumeThread(creationThread_.Get()) == static_cast<DWORD>(-1)) Stop();
    creationThread_.Reset();
    return 1;
}

int ProcessRunner::CreateChild(const char* applicationName, char* commandLine, const char* currentDirectory,
                               STARTUPINFOA& startup, DWORD flags)
{
    PROCESS_INFORMATION created = {};
    if (!CreateProcessA(applicationName, commandLine, nullptr, nullptr, TRUE, flags | CREATE_SUSPENDED, nullptr,
                        currentDirectory, &startup, &created)) {
        processId = kNoProcess;
        return 0;
    }
    creationProcess_.Reset(created.hProcess);
    creationThread_.Reset(created.hThread);
    processId = created.dwProcessId;

    // A job that ends the child's whole tree when the launcher ends, however it ends. Without one
    // (an older system that refuses nested jobs) the child itself is still supervised.
    Handle tree(CreateJobObjectA(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (tree && SetInformationJobObject(tree.Get(), JobObjectExtendedLimitInformation, &limits, sizeof limits) &&
        AssignProcessToJobObject(tree.Get(), created.hProcess))
        job_ = std::move(tree);
    return 1;
}

int ProcessRunner::LaunchPlain(const char* applicationName, char* commandLine, const char* currentDirectory,
                               int showCommand)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showCommand);
    return CreateChild(applicationName, commandLine, currentDirectory, startup, 0);
}

int ProcessRunner::LaunchCaptured(const char* applicationName, char* commandLine, const char* currentDirectory)
{
    StandardHandles saved;

    if (!OpenChildPipe(parentStdoutRead, childStdoutWrite, STD_OUTPUT_HANDLE) ||
        !OpenChildPipe(childStdinRead, parentStdinWrite, STD_INPUT_HANDLE))
        return 0;
    HANDLE outWrite = childStdoutWrite.load(), inRead = childStdinRead.load();

    readerCancel_ = false;
    CWinThread* reader = AfxBeginThread(&ProcessRunner::ReaderMain, this);
    if (!reader) return 0;
    readerThread = reader;

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inRead;
    startup.hStdOutput = outWrite;
    startup.hStdError = outWrite;
    // A console without a window, handed down to what the child starts: a new console's window would
    // be shown by a terminal that ignores SW_HIDE (Windows Terminal), and closing it ends the child.
    int created = CreateChild(applicationName, commandLine, currentDirectory, startup, CREATE_NO_WINDOW);

    // The launcher keeps no writer of the output pipe, so the reader sees the output end as soon as
    // the child and all it started are gone; and no later child inherits the input end.
    CloseIfValid(childStdoutWrite.exchange(INVALID_HANDLE_VALUE));
    SetHandleInformation(inRead, HANDLE_FLAG_INHERIT, 0);
    if (!created) return 0;
    return saved.Restore();
}

int ProcessRunner::StartWatcher()
{
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!event) return 0;
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopEvent = event;
    }
    watcherThread_ = AfxBeginThread(&ProcessRunner::WatcherMain, this);
    return watcherThread_ != nullptr;
}

// A launch that failed part-way: the child, if created, never ran (it is still suspended).
void ProcessRunner::AbandonChild()
{
    if (creationProcess_) TerminateProcess(creationProcess_.Get(), 1);
    creationProcess_.Reset();
    creationThread_.Reset();
    job_.Reset();
    CloseIfValid(childStdoutWrite.exchange(INVALID_HANDLE_VALUE)); // lets a waiting reader see the end
    EndReader();
    CloseHandles();
    processId = kNoProcess;
    std::lock_guard<std::mutex> guard(lock_);
    if (stopEvent) CloseHandle(stopEvent);
    stopEvent = nullptr;
}

// Ends the reader and releases its thread object; only one thread can take the object.
// A chunk being handed to OnOutput is finished first; no call follows.
void ProcessRunner::EndReader()
{
    CWinThread* reader = readerThread.exchange(nullptr);
    if (!reader) return;
    readerCancel_ = true;
    while (!reader->Join(kCancelRetryMilliseconds)) CancelSynchronousIo(reader->m_hThread);
    delete reader;
}

void ProcessRunner::ReleaseWatcher()
{
    if (!watcherThread_) return;
    watcherThread_->Join();
    delete watcherThread_;
    watcherThread_ = nullptr;
}

UINT ProcessRunner::ReaderMain(LPVOID runner)
{
    ProcessRunner* self = static_cast<ProcessRunner*>(runner);
    char buffer[kChunkSize + 1];
    HANDLE pipe = self->parentStdoutRead.load();
    while (!self->readerCancel_) {
        DWORD got = 0;
        if (!ReadFile(pipe, buffer, kChunkSize, &got, nullptr)) break; // end of output, or cancelled
        if (got == 0) continue; // a zero-length write by the child is not the end of its output
        if (self->readerCancel_) break;
        buffer[got] = '\0';
        if (self->log_) self->log_->Write(buffer, got);
        if (!self->OnOutput(buffer, static_cast<int>(got))) break;
    }
    self->CloseHandles();
    return 0;
}

UINT ProcessRunner::WatcherMain(LPVOID runner)
{
    static_cast<ProcessRunner*>(runner)->Watch();
    return 0;
}

void ProcessRunner::Watch()
{
    HANDLE event;
    {
        std::lock_guard<std::mutex> guard(lock_);
        event = stopEvent;
    }
    Handle process(OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (process) creationProcess_.Reset();
    else process = std::move(creationProcess_); // cannot open it again: keep watching it through creation's handle

    bool codeKnown = false;
    DWORD code = 0;
    if (process) {
        HANDLE objects[2] = { process.Get(), event };
        if (WaitForMultipleObjects(2, objects, FALSE, INFINITE) == WAIT_OBJECT_0) {
            codeKnown = GetExitCodeProcess(process.Get(), &code) != 0;
        } else {
            if (!job_ || !TerminateJobObject(job_.Get(), 0)) TerminateProcess(process.Get(), 0);
            WaitForSingleObject(process.Get(), kTerminateMilliseconds);
        }
    } else {
        Sleep(2000);
    }
    job_.Reset(); // whatever the child left running ends with its job

    // Output the child wrote before it ended is delivered before its end is reported.
    if (CWinThread* reader = readerThread.load()) reader->Join(kDrainMilliseconds);
    {
        std::lock_guard<std::mutex> guard(lock_);
        exitCodeKnown_ = codeKnown;
        exitCode_ = code;
        if (notifyWnd) PostMessageA(notifyWnd->m_hWnd, notifyMsg, 0, 0);
    }
    EndReader();
    if (log_ && process) {
        if (!codeKnown) GetExitCodeProcess(process.Get(), &code);
        log_->Ended(code, !codeKnown); // after the last of its output
    }
    processId = kNoProcess;
    CloseHandles();
    std::lock_guard<std::mutex> guard(lock_);
    CloseHandle(stopEvent);
    stopEvent = nullptr; // idle from here on
}
