#include "kit/Windows.h"

#include "res/resource.h"

#include <algorithm>
#include <cstring>

namespace {

struct Query {
    DWORD processId;
    const char* title;     // exact, or null for any
    const char* className; // exact, or null for any
    bool console;          // holds the console's text
    bool shown;
    HWND found;
};

BOOL CALLBACK Match(HWND window, LPARAM param)
{
    auto* query = reinterpret_cast<Query*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (query->processId && owner != query->processId) return TRUE;
    char text[256] = "";
    if (query->className && (!GetClassNameA(window, text, sizeof text) || std::strcmp(text, query->className) != 0))
        return TRUE;
    text[0] = '\0';
    if (query->title && (GetWindowTextA(window, text, sizeof text), std::strcmp(text, query->title) != 0)) return TRUE;
    if (query->console && !GetDlgItem(window, IDC_CONSOLE)) return TRUE;
    if (query->shown && !IsWindowVisible(window)) return TRUE;
    query->found = window;
    return FALSE;
}

HWND Find(Query query)
{
    EnumWindows(&Match, reinterpret_cast<LPARAM>(&query));
    return query.found;
}

} // namespace

HWND FindWindowOf(DWORD processId, const char* title)
{
    return Find({ processId, title, nullptr, false, false, nullptr });
}

HWND FindConsole(DWORD processId) { return Find({ processId, "Vantry", "#32770", true, false, nullptr }); }

HWND FindPopupMenu(DWORD processId) { return Find({ processId, nullptr, "#32768", false, true, nullptr }); }

std::string WindowText(HWND window)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 10000, &length)) return "";
    std::string text(length + 1, '\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG,
                             10000, &got))
        return "";
    text.resize(std::min<size_t>(got, length));
    return text;
}

std::string ConsoleText(HWND console) { return console ? WindowText(GetDlgItem(console, IDC_CONSOLE)) : ""; }

bool ClickMiddle(HWND window, bool right)
{
    RECT rect = {};
    GetWindowRect(window, &rect);
    INPUT input[3] = {};
    for (INPUT& i : input) i.type = INPUT_MOUSE;
    // Absolute positions run from 0 to 65535 across the screen.
    input[0].mi.dx = MulDiv((rect.left + rect.right) / 2, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    input[0].mi.dy = MulDiv((rect.top + rect.bottom) / 2, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    input[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    input[1].mi.dwFlags = right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
    input[2].mi.dwFlags = right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
    return SendInput(3, input, sizeof input[0]) == 3;
}
