// Supervises one child program at a time: starts it, hands its captured output to OnOutput chunk by
// chunk on a reader thread, and on a watcher thread waits for its end (or ends it on Stop), then
// posts a chosen message to a chosen window.
#pragma once
#include "framework/Handle.h"
#include "framework/Thread.h"
#include "framework/Wnd.h"

#include <atomic>
#include <mutex>

class ConsoleLog;

class ProcessRunner {
public:
    static constexpr int kChunkSize = 2048;

    ProcessRunner();
    // Ends a child that is still supervised and waits for the runner's threads: nothing may run on a
    // destroyed runner.
    virtual ~ProcessRunner();
    ProcessRunner(const ProcessRunner&) = delete;
    ProcessRunner& operator=(const ProcessRunner&) = delete;

    // Called on the reader thread with each chunk: 1..kChunkSize bytes, NUL at text[length].
    // Return nonzero to go on reading, 0 to stop reading this child's output.
    virtual int OnOutput(char* text, int length);

    // 1 when the child was created and is supervised; 0 when busy or on failure (nothing is left behind).
    int Start(const char* applicationName, char* commandLine, const char* currentDirectory, int showCommand,
              int capture);
    // Asks the watcher to end the child (and what it started); nonzero when a child was told to stop.
    int Stop();
    void SetNotify(CWnd* window, UINT message);
    // Where each captured child's start, output and end are also kept; null: nowhere.
    void SetLog(ConsoleLog* log) { log_ = log; }
    void CloseHandles();
    static int IsConsoleProgram(const char* path);

    // How the latest child ended, for the receiver of its end message: true with its exit code when it
    // ended by itself; false when Stop ended it or its code could not be read.
    bool ExitCode(DWORD& code) const;

    // No child supervised and the previous supervision's clean-up finished.
    bool IsIdle() const;
    DWORD ProcessId() const { return processId.load(); }

protected:
    // Stops the child and waits for the runner's threads. Subclasses call it first in their destructors,
    // so that no OnOutput call reaches a half-destroyed object.
    void EndSupervision();

private:
    int LaunchPlain(const char* applicationName, char* commandLine, const char* currentDirectory, int showCommand);
    int LaunchCaptured(const char* applicationName, char* commandLine, const char* currentDirectory);
    int CreateChild(const char* applicationName, char* commandLine, const char* currentDirectory, STARTUPINFOA& startup,
                    DWORD flags);
    int StartWatcher();
    void AbandonChild();
    void EndReader();
    void ReleaseWatcher();
    static UINT ReaderMain(LPVOID runner);
    static UINT WatcherMain(LPVOID runner);
    void Watch();

    std::atomic<HANDLE> childStdinRead{ INVALID_HANDLE_VALUE };
    std::atomic<HANDLE> parentStdinWrite{ INVALID_HANDLE_VALUE };
    std::atomic<HANDLE> childStdoutWrite{ INVALID_HANDLE_VALUE };
    std::atomic<HANDLE> parentStdoutRead{ INVALID_HANDLE_VALUE };
    std::atomic<CWinThread*> readerThread{ nullptr };
    std::atomic<DWORD> processId{ static_cast<DWORD>(-1) };
    std::atomic<int> closeGuard{ 1 };

    mutable std::mutex lock_; // guards notifyWnd, notifyMsg, stopEvent and the latest end
    CWnd* notifyWnd = nullptr;
    UINT notifyMsg = 0;
    HANDLE stopEvent = nullptr;
    bool exitCodeKnown_ = false;
    DWORD exitCode_ = 0;

    std::atomic<bool> readerCancel_{ false };
    CWinThread* watcherThread_ = nullptr; // main thread only
    // Handed from Start to the watcher, which releases them once it holds the child itself.
    Handle creationProcess_;
    Handle creationThread_;
    Handle job_; // the child's process tree; closing it ends whatever is left of the tree
    ConsoleLog* log_ = nullptr;
};
