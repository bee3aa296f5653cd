// The console's text: appended from any thread, always at the end, in batches, and capped.
//
// Worker threads queue their text and post one WM_CONSOLE_FLUSH; the window's thread inserts all
// that is queued with one replacement. A thread that finds too much queued waits until the window
// has caught up, so a flooding child is slowed to the window's pace instead of filling memory.
#pragma once
#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <string>

class ConsoleOutput {
public:
    static constexpr size_t kDefaultCap = 1024 * 1024;

    // edit: the text control; window: receives WM_CONSOLE_FLUSH (its thread does the inserting).
    void Attach(HWND edit, HWND window, size_t cap = kDefaultCap);
    void Append(const char* text); // any thread; the text of one call is never split
    void Flush();                  // window's thread: inserts what is queued
    // No more text is taken, and writers waiting for room are released (the launcher is ending).
    void Close();

    size_t Cap() const { return cap_; }

private:
    void Insert(const std::string& text);

    HWND edit_ = nullptr;
    HWND window_ = nullptr;
    DWORD windowThread_ = 0;
    size_t cap_ = kDefaultCap;

    std::mutex lock_;
    std::condition_variable room_;
    std::string pending_;
    bool flushPosted_ = false;
    bool closed_ = false;
};
