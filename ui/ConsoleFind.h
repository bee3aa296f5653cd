// Finding text in the console, and its right-click menu (Copy, Select all, Find..., Find next,
// Save output as...). The console window owns one ConsoleFind, attached to its text control.
#pragma once
#include <windows.h>
#include <commdlg.h>

#include <string>

// The system calls the console's menu and find box depend on; tests put their own answers here.
struct ConsoleFindPlatform {
    // The right-click menu at x, y (screen); the command chosen, or 0.
    UINT (*trackPopupMenu)(HMENU menu, int x, int y, HWND owner);
    int (*messageBox)(HWND owner, const char* text, const char* caption, UINT type);
};
extern ConsoleFindPlatform consoleFindPlatform;
ConsoleFindPlatform SystemConsoleFindPlatform();

// Where what occurs in text at or after from; std::wstring::npos when it does not.
size_t FindInText(const std::wstring& text, const std::wstring& what, size_t from, bool matchCase);

class ConsoleFind {
public:
    ConsoleFind() = default;
    ~ConsoleFind();
    ConsoleFind(const ConsoleFind&) = delete;
    ConsoleFind& operator=(const ConsoleFind&) = delete;

    // edit: the console text; window: the console window, which owns the menu and the find box.
    void Attach(HWND edit, HWND window);
    // The message loop's look at each message first: the find box's keyboard, Ctrl+F and F3.
    // TRUE when the message has been dealt with.
    BOOL PreTranslateMessage(MSG* msg);

    void OpenFindBox();  // or brings the open one forward: one box at a time
    void FindNext();     // the last text searched for; without one, the box
    void CloseFindBox(); // the console is hidden: its box goes with it
    void ShowMenu(int x, int y);
    HWND FindBox() const { return box_; }

private:
    static LRESULT CALLBACK EditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR self);
    void OnFindMessage(const FINDREPLACEA& find);
    bool InFindBoxOrConsole(HWND window) const;

    HWND edit_ = nullptr;
    HWND window_ = nullptr;
    HWND box_ = nullptr;
    UINT findMessage_ = 0;
    bool matchCase_ = false;
    // The find box reads and writes these while it is open.
    FINDREPLACEA find_ = {};
    char what_[256] = "";
};
