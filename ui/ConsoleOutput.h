// The console's text: appended from any thread, always at the end, in order, and capped.
//
// Writers never wait: they queue their text and post one WM_CONSOLE_FLUSH, so a flooding server is
// never slowed by the window. The window's thread inserts what is queued for about 20 ms per flush,
// less when input waits. A flush that leaves text queued is followed by the next one from a timer,
// which comes after the user's input, paints and the other timers: they never wait for the flood.
// The queue holds at most half the cap: when the server writes faster than the window can show,
// the oldest queued text is dropped at once, and the console says how much it did not show (the
// note and the newest text always fit together); memory stays bounded however fast the server
// writes, and the console stays filled up to its cap.
#pragma once
#include <windows.h>

#include <deque>
#include <functional>
#include <mutex>
#include <string>

// How the text asks its window for the next flush; tests make the requests fail.
struct ConsoleOutputPlatform {
    BOOL(WINAPI* postMessage)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    UINT_PTR(WINAPI* setTimer)(HWND window, UINT_PTR id, UINT milliseconds, TIMERPROC callback);
};
extern ConsoleOutputPlatform consoleOutputPlatform;

class ConsoleOutput {
public:
    static constexpr size_t kDefaultCap = 1024 * 1024;
    static constexpr UINT_PTR kFlushTimer = 201; // the window's WM_TIMER with this id is a flush

    // edit: the text control; window: its dialog, which receives WM_CONSOLE_FLUSH and the flush
    // timer on its thread.
    void Attach(HWND edit, HWND window, size_t cap = kDefaultCap);
    void Append(const char* text); // any thread; the text of one call is never split by another's
    // Window's thread, on WM_CONSOLE_FLUSH and on the timer kFlushTimer: inserts the next slice of
    // what is queued.
    void Flush();
    void Close(); // the launcher is ending: nothing more is taken
    // Where all of the output is kept, for the note that says text was not shown ("" when nowhere).
    // Asked on the window's thread.
    void KeptIn(std::function<std::string()> where) { keptIn_ = std::move(where); }

private:
    size_t QueueCap() const { return cap_ / 2; }
    void DropOldest();
    void SkipToLineStart();
    bool TakePiece(std::string& piece); // false when nothing is queued

    // What the user sees: the selection and the first visible line, and what insertion removed.
    struct View {
        DWORD selStart = 0, selEnd = 0;
        bool follow = true; // nothing selected and the end in view: the view follows the end
        int firstLine = 0;
        size_t removed = 0;
        int linesRemoved = 0;
    };
    View SaveView() const;
    void RestoreView(const View& view) const;
    void Insert(const std::string& text, View& view);
    // owner: this slice answers for the next flush (see scheduled_).
    void InsertSlice(bool owner);
    void ScheduleNext();

    HWND edit_ = nullptr;
    HWND window_ = nullptr;
    DWORD windowThread_ = 0;
    DWORD lastPaint_ = 0;
    size_t cap_ = kDefaultCap;

    std::mutex lock_;
    std::deque<std::string> pending_; // in order; pieces of up to 64 KiB
    size_t frontOffset_ = 0;          // where the first piece's queued text begins
    size_t pendingBytes_ = 0;
    unsigned long long skippedBytes_ = 0; // dropped since the console last said so
    char lastDropped_ = '\n';             // whether the queue now begins at a line start
    // A flush message or the flush timer is on its way, or a flush it started runs: that one sees
    // to what is queued, and writers need not post.
    bool scheduled_ = false;
    bool closed_ = false;
    char lastQueued_ = '\n'; // the last character queued: whether the next one starts a line
    char lastShown_ = '\n';  // window's thread: the last character given to the console
    std::function<std::string()> keptIn_;
};
