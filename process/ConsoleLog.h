// The Java programs' output kept on disk, as it arrives: console.log in a folder per installation
// under the user's local application data, rotated at a size into console.1.log .. console.4.log.
//
// Readers never wait for the disk in the common case: they queue their chunks, and one writer
// thread of the log's own writes them. Only when the queue is full (the disk has fallen that far
// behind) does a reader wait for room, so that nothing is dropped; the child then waits on its pipe
// as it would on a slow console. A file that cannot be written is told once in the console, and
// from then on the log takes nothing.
#pragma once
#include "framework/Thread.h"
#include "process/RunnerOwner.h"

#include <windows.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>

// Where the user's local application data is (SHGetFolderPathA, CSIDL_LOCAL_APPDATA); tests give
// a folder of their own. Null: no file at all (the test programs' default).
struct ConsoleLogPlatform {
    bool (*localAppData)(char* path, size_t size);
};
extern ConsoleLogPlatform consoleLogPlatform;

class ConsoleLog {
public:
    static constexpr unsigned long long kFileBytes = 10ull * 1024 * 1024;
    static constexpr int kFiles = 5;                       // console.log and four older ones
    static constexpr size_t kQueueBytes = 4 * 1024 * 1024; // what the disk may fall behind by

    explicit ConsoleLog(unsigned long long fileBytes = kFileBytes) : fileBytes_(fileBytes) {}
    // Writes what is queued, then ends the writer.
    ~ConsoleLog();
    ConsoleLog(const ConsoleLog&) = delete;
    ConsoleLog& operator=(const ConsoleLog&) = delete;

    // Main thread, before anything is written: the installation's folder from its home, and where a
    // file that cannot be written is told. Without it the log takes nothing.
    void Open(const char* home, RunnerOwner* console);
    // The installation's folder ("" when there is none); made if it is not there yet. Main thread.
    std::string Folder() const;
    bool MakeFolder() const;
    // Where the output goes: "" before Open, without a folder, and once the file has failed. Any thread.
    std::string FilePath() const;

    // Any thread. Bytes as the child wrote them, NULs included.
    void Write(const char* text, size_t length);
    // A line of its own with the local date and time: a Java program's start and end.
    void Started(const char* program, const char* commandLine);
    void Ended(DWORD exitCode, bool stoppedByLauncher);

    // Waits at most milliseconds until what was queued before the call is on disk (or has failed);
    // true when it is.
    bool Drain(DWORD milliseconds);

private:
    void Line(const std::string& text);
    void Enqueue(const char* text, size_t length, std::unique_lock<std::mutex>& lock);
    static UINT WriterMain(LPVOID log);
    void WriteOut();
    bool Store(const std::string& piece);
    bool OpenFile();
    bool Rotate();
    std::string Numbered(int index) const;
    void Fail(const char* what, DWORD error);

    const unsigned long long fileBytes_;
    std::string folder_; // set once by Open, before any other thread reads it
    RunnerOwner* console_ = nullptr;

    mutable std::mutex lock_;
    std::condition_variable more_; // the writer: something was queued, or the end
    std::condition_variable room_; // readers and Drain: the writer took or wrote something
    std::deque<std::string> queue_;
    size_t queuedBytes_ = 0;
    unsigned long long enqueued_ = 0, written_ = 0; // totals, for Drain
    char lastByte_ = '\n';
    bool failed_ = false;
    bool ending_ = false;
    CWinThread* writer_ = nullptr;

    // The writer's own.
    HANDLE file_ = INVALID_HANDLE_VALUE;
    unsigned long long fileSize_ = 0;
};
