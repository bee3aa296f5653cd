// A window the user must answer, brought to the front. Windows refuses the foreground to a program the
// user is not working in (at log-on, say): then its taskbar button flashes until the user comes to it.
#pragma once
#include <windows.h>

// The system's calls; tests record them, since Wine hands out the foreground freely.
struct ForegroundPlatform {
    BOOL(WINAPI* setForeground)(HWND window);
    BOOL(WINAPI* flash)(PFLASHWINFO info);
};
extern ForegroundPlatform foregroundPlatform;

void AskForTheForeground(HWND window);
