// What the tray icon asks of the shell and the window manager; tests put recorders here.
#pragma once
#include <windows.h>
#include <shellapi.h>

struct TrayPlatform {
    BOOL(WINAPI* notifyIcon)(DWORD operation, PNOTIFYICONDATAA data);
    // Lets a message through the filter of an elevated window; null where the system has no filter.
    BOOL(WINAPI* changeMessageFilter)(HWND window, UINT message, DWORD action, PCHANGEFILTERSTRUCT info);
};
extern TrayPlatform trayPlatform;
TrayPlatform SystemTrayPlatform();
