#include "process/ConsoleLog.h"

#include "framework/Paths.h"

#include <shlobj.h>

#include <cstdio>
#include <cstring>

namespace {

// Queued chunks are joined up to this size: a flood of 2 KiB reads is not a flood of allocations.
constexpr size_t kPieceBytes = 64 * 1024;
// The writer gathers what comes within this long (or a piece's worth) into one write: a flood of
// small reads neither wakes it for each read nor makes a write of each.
constexpr DWORD kGatherMilliseconds = 20;

bool SystemLocalAppData(char* path, size_t size)
{
    char folder[MAX_PATH];
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) return false;
    return std::strlen(folder) < size && (std::memcpy(path, folder, std::strlen(folder) + 1), true);
}

std::string Now()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    return text;
}

} // namespace

ConsoleLogPlatform consoleLogPlatform = { &SystemLocalAppData };

ConsoleLog::~ConsoleLog()
{
    CWinThread* writer;
    {
        std::lock_guard<std::mutex> guard(lock_);
        ending_ = true;
        writer = writer_;
    }
    more_.notify_all();
    if (writer) writer->Join();
    delete writer;
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
}

void ConsoleLog::Open(const char* home, RunnerOwner* console)
{
    console_ = console;
    char base[kPathSize];
    if (!consoleLogPlatform.localAppData) return;
    if (!consoleLogPlatform.localAppData(base, sizeof base)) {
        Fail("the local application data folder", GetLastError());
        return;
    }
    // <home's folder name>.<the installation's key>: readable, and apart from any other copy of
    // the application in a folder of the same name.
    char longHome[kPathSize], key[17];
    LongHome(home, longHome, sizeof longHome);
    HomeKey(home, key, sizeof key);
    const char* name = std::strrchr(longHome, '\\');
    folder_ = std::string(base) + "\\Vantry\\logs\\" + (name ? name + 1 : longHome) + "." + key;
}

std::string ConsoleLog::Folder() const { return folder_; }

bool ConsoleLog::MakeFolder() const
{
    if (folder_.empty()) return false;
    int made = SHCreateDirectoryExA(nullptr, folder_.c_str(), nullptr);
    if (made == ERROR_SUCCESS || made == ERROR_ALREADY_EXISTS || made == ERROR_FILE_EXISTS) return true;
    SetLastError(static_cast<DWORD>(made));
    return false;
}

std::string ConsoleLog::FilePath() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return failed_ || folder_.empty() ? std::string() : Numbered(0);
}

std::string ConsoleLog::Numbered(int index) const
{
    return folder_ + (index == 0 ? std::string("\\console.log") : "\\console." + std::to_string(index) + ".log");
}

void ConsoleLog::Write(const char* text, size_t length)
{
    if (folder_.empty() || length == 0) return;
    std::unique_lock<std::mutex> lock(lock_);
    // Only a disk that has fallen a whole queue behind makes a reader wait; a chunk larger than the
    // queue goes in alone.
    room_.wait(lock, [&] { return failed_ || ending_ || queuedBytes_ == 0 || queuedBytes_ + length <= kQueueBytes; });
    Enqueue(text, length, lock);
}

void ConsoleLog::Started(const char* program, const char* commandLine)
{
    std::string line = "Started";
    if (program) line += std::string(" \"") + program + "\"";
    if (commandLine) line += commandLine[0] == ' ' || !program ? commandLine : std::string(" ") + commandLine;
    Line(line);
}

void ConsoleLog::Ended(DWORD exitCode, bool stoppedByLauncher)
{
    char line[96];
    std::snprintf(line, sizeof line,
                  exitCode >= 0x80000000u ? "Ended with exit code 0x%08lX%s" : "Ended with exit code %lu%s",
                  static_cast<unsigned long>(exitCode), stoppedByLauncher ? " (stopped by the launcher)" : "");
    Line(line);
}

void ConsoleLog::Line(const std::string& text)
{
    if (folder_.empty()) return;
    std::unique_lock<std::mutex> lock(lock_);
    std::string line = (lastByte_ == '\n' ? "[" : "\r\n[") + Now() + "] " + text + "\r\n";
    Enqueue(line.data(), line.size(), lock);
}

// Called with the lock held.
void ConsoleLog::Enqueue(const char* text, size_t length, std::unique_lock<std::mutex>& lock)
{
    if (failed_ || ending_) return;
    if (!writer_) {
        writer_ = AfxBeginThread(&ConsoleLog::WriterMain, this);
        if (!writer_) {
            lock.unlock();
            Fail(Numbered(0).c_str(), GetLastError());
            return;
        }
    }
    const bool wake = queuedBytes_ == 0 || (queuedBytes_ < kPieceBytes && queuedBytes_ + length >= kPieceBytes);
    if (!queue_.empty() && queue_.back().size() + length <= kPieceBytes) queue_.back().append(text, length);
    else queue_.emplace_back(text, length);
    queuedBytes_ += length;
    enqueued_ += length;
    lastByte_ = text[length - 1];
    if (wake) more_.notify_one();
}

bool ConsoleLog::Drain(DWORD milliseconds)
{
    std::unique_lock<std::mutex> lock(lock_);
    const unsigned long long target = enqueued_;
    return room_.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return failed_ || written_ >= target; });
}

UINT ConsoleLog::WriterMain(LPVOID log)
{
    static_cast<ConsoleLog*>(log)->WriteOut();
    return 0;
}

void ConsoleLog::WriteOut()
{
    std::unique_lock<std::mutex> lock(lock_);
    for (;;) {
        more_.wait(lock, [&] { return !queue_.empty() || ending_; });
        more_.wait_for(lock, std::chrono::milliseconds(kGatherMilliseconds),
                       [&] { return queuedBytes_ >= kPieceBytes || ending_; });
        if (queue_.empty()) return;
        std::deque<std::string> taken;
        taken.swap(queue_);
        lock.unlock();
        size_t bytes = 0;
        bool ok = true;
        for (const std::string& piece : taken) {
            bytes += piece.size();
            ok = ok && Store(piece);
        }
        lock.lock();
        queuedBytes_ = failed_ ? 0 : queuedBytes_ - bytes; // a failure has emptied the queue
        written_ += bytes;
        room_.notify_all();
        if (!ok) return; // Fail has told it; nothing more is taken
    }
}

// Writer's thread: the piece goes to console.log, which is rotated whenever it is full.
bool ConsoleLog::Store(const std::string& piece)
{
    if (file_ == INVALID_HANDLE_VALUE && !OpenFile()) return false;
    size_t done = 0;
    while (done < piece.size()) {
        if (fileSize_ >= fileBytes_ && !Rotate()) return false;
        unsigned long long room = fileBytes_ - fileSize_;
        DWORD chunk = static_cast<DWORD>(piece.size() - done < room ? piece.size() - done : room);
        DWORD wrote = 0;
        if (!WriteFile(file_, piece.data() + done, chunk, &wrote, nullptr) || wrote != chunk) {
            Fail(Numbered(0).c_str(), GetLastError());
            return false;
        }
        done += chunk;
        fileSize_ += chunk;
    }
    return true;
}

// Appends to what an earlier run left. A viewer may read the file while it grows, and may hold it
// while it is renamed or deleted.
bool ConsoleLog::OpenFile()
{
    if (!MakeFolder()) {
        Fail(folder_.c_str(), GetLastError());
        return false;
    }
    file_ = CreateFileA(Numbered(0).c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                        FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    LARGE_INTEGER size = {};
    if (file_ == INVALID_HANDLE_VALUE || !GetFileSizeEx(file_, &size)) {
        Fail(Numbered(0).c_str(), GetLastError());
        return false;
    }
    fileSize_ = static_cast<unsigned long long>(size.QuadPart);
    return true;
}

// console.log becomes console.1.log, each older one moves up, and the oldest goes.
bool ConsoleLog::Rotate()
{
    CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
    DeleteFileA(Numbered(kFiles - 1).c_str());
    for (int i = kFiles - 2; i >= 0; --i)
        MoveFileExA(Numbered(i).c_str(), Numbered(i + 1).c_str(), MOVEFILE_REPLACE_EXISTING);
    // A console.log left in place would be appended to and rotated again at every write.
    if (GetFileAttributesA(Numbered(0).c_str()) != INVALID_FILE_ATTRIBUTES) {
        Fail(Numbered(0).c_str(), GetLastError());
        return false;
    }
    return OpenFile();
}

// Told once; from then on nothing is queued, and readers waiting for room go on.
void ConsoleLog::Fail(const char* what, DWORD error)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (failed_) return;
        failed_ = true;
        queue_.clear();
        queuedBytes_ = 0;
    }
    room_.notify_all();
    if (console_) {
        char code[32];
        std::snprintf(code, sizeof code, "%lu", static_cast<unsigned long>(error));
        std::string report = std::string("\r\nThe output cannot be kept on disk: ") + what +
                             " cannot be written (error " + code + "). The console shows it as before.\r\n";
        console_->AppendConsoleText(report.c_str());
    }
}
