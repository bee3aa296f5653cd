// The launcher's windows seen from another program, found by the ids in res/resource.h.
#pragma once
#include <windows.h>

#include <string>

// A top-level window of the process (any process when processId is 0) with exactly this title,
// hidden ones included; null when there is none.
HWND FindWindowOf(DWORD processId, const char* title);
// The console dialog: titled "Vantry", class #32770, holding the console's text (IDC_CONSOLE).
HWND FindConsole(DWORD processId);
// A shown popup menu (class #32768) of the process.
HWND FindPopupMenu(DWORD processId);
// A window's text, asked for across processes; "" when it did not answer within 10 s.
std::string WindowText(HWND window);
std::string ConsoleText(HWND console);
// A click (left, or right) into the middle of a window through the system's input queue, as the
// mouse makes it. False when the system did not take it.
bool ClickMiddle(HWND window, bool right = false);
