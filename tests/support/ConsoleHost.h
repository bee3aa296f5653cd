// A window of the test's thread with a console-like edit control whose text a ConsoleOutput fills,
// inserting on WM_CONSOLE_FLUSH and its flush timer as the console dialog does.
#pragma once
#include "ui/ConsoleOutput.h"

#include <string>

class ConsoleHost {
public:
    ConsoleHost(size_t cap, bool shown = true);
    ~ConsoleHost();
    ConsoleHost(const ConsoleHost&) = delete;
    ConsoleHost& operator=(const ConsoleHost&) = delete;

    // The edit's text, after the insertions already asked for.
    std::string Text();
    void Selection(DWORD& start, DWORD& end) const;
    int FirstVisibleLine() const;

    HWND window = nullptr;
    HWND edit = nullptr;
    ConsoleOutput output;

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};
