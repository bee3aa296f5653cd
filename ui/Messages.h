// The launcher's own window messages, all to the console window.
#pragma once
#include <windows.h>

constexpr UINT WM_TRAY_NOTIFY = WM_APP + 100;   // from the shell; lParam is the mouse message
constexpr UINT WM_START_SERVER = WM_APP + 101;  // posted, wParam 0, lParam 0
constexpr UINT WM_SERVER_ENDED = WM_APP + 102;  // posted, wParam 0, lParam 0
constexpr UINT WM_SERVER_READY = WM_APP + 103;  // posted, wParam 0, lParam 0
constexpr UINT WM_CONSOLE_FLUSH = WM_APP + 104; // posted: output from worker threads is waiting
constexpr UINT WM_TRAY_ADD = WM_APP + 105;      // posted at start: hand the tray icon to the shell

constexpr UINT_PTR kRecoveryTimer = 210; // the console's timer: start the crashed server again
