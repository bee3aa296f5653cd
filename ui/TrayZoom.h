// The caption zoom between the console window and the notification area.
#pragma once
#include <windows.h>
#include <shellapi.h>

// The system calls the zoom depends on; tests put their own answers here.
struct ZoomPlatform {
    BOOL (*getAnimation)(ANIMATIONINFO* info);
    HWND (*findWindowEx)(HWND parent, HWND after, const char* className, const char* windowName);
    BOOL (*getWindowRect)(HWND window, RECT* rect);
    UINT_PTR (*appBarMessage)(DWORD message, APPBARDATA* data);
    BOOL (*getWorkArea)(RECT* rect);
    BOOL (*drawAnimatedRects)(HWND window, int animation, const RECT* from, const RECT* to);
};
extern ZoomPlatform zoomPlatform;
ZoomPlatform SystemZoomPlatform();

// The user's minimise/restore animation setting, asked anew each time; false when it cannot be read.
bool ZoomAnimationEnabled();
// The rectangle the console zooms into; 0 when none can be told (then there is no zoom).
int GetTrayRect(RECT* rect);
// Zooms the window into the tray (when animations are on) and hides it.
void HideToTray(HWND window);
// Zooms the window out of the tray (when animations are on), shows it and brings it to the front.
void ShowConsole(HWND window);
