#include "ui/TrayZoom.h"

namespace {

BOOL SystemGetAnimation(ANIMATIONINFO* info) { return SystemParametersInfoA(SPI_GETANIMATION, sizeof *info, info, 0); }
HWND SystemFindWindowEx(HWND parent, HWND after, const char* className, const char* windowName)
{
    return FindWindowExA(parent, after, className, windowName);
}
BOOL SystemGetWindowRect(HWND window, RECT* rect) { return GetWindowRect(window, rect); }
UINT_PTR SystemAppBarMessage(DWORD message, APPBARDATA* data) { return SHAppBarMessage(message, data); }
BOOL SystemGetWorkArea(RECT* rect) { return SystemParametersInfoA(SPI_GETWORKAREA, 0, rect, 0); }
BOOL SystemDrawAnimatedRects(HWND window, int animation, const RECT* from, const RECT* to)
{
    return DrawAnimatedRects(window, animation, from, to);
}

// Sizes of the tray's estimated place when only the taskbar is known.
constexpr LONG kStripLength = 100;
constexpr LONG kStripEnd = 16;
constexpr LONG kCornerWidth = 150;
constexpr LONG kCornerHeight = 30;

} // namespace

ZoomPlatform SystemZoomPlatform()
{
    return { &SystemGetAnimation,  &SystemFindWindowEx, &SystemGetWindowRect,
             &SystemAppBarMessage, &SystemGetWorkArea,  &SystemDrawAnimatedRects };
}

ZoomPlatform zoomPlatform = SystemZoomPlatform();

bool ZoomAnimationEnabled()
{
    ANIMATIONINFO info = {};
    info.cbSize = sizeof info;
    return zoomPlatform.getAnimation(&info) && info.iMinAnimate != 0;
}

int GetTrayRect(RECT* rect)
{
    HWND taskbar = zoomPlatform.findWindowEx(nullptr, nullptr, "Shell_TrayWnd", nullptr);
    if (taskbar) {
        HWND tray = zoomPlatform.findWindowEx(taskbar, nullptr, "TrayNotifyWnd", nullptr);
        if (tray) return zoomPlatform.getWindowRect(tray, rect) ? 1 : 0;
    }

    APPBARDATA bar = {};
    bar.cbSize = sizeof bar;
    if (zoomPlatform.appBarMessage(ABM_GETTASKBARPOS, &bar)) {
        const RECT& r = bar.rc;
        switch (bar.uEdge) {
        case ABE_LEFT:
        case ABE_RIGHT: *rect = { r.left, r.bottom - kStripLength, r.right, r.bottom - kStripEnd }; return 1;
        case ABE_TOP:
        case ABE_BOTTOM: *rect = { r.right - kStripLength, r.top, r.right - kStripEnd, r.bottom }; return 1;
        default: return 0; // a taskbar edge we cannot place: no zoom rather than a guess
        }
    }

    taskbar = zoomPlatform.findWindowEx(nullptr, nullptr, "Shell_TrayWnd", nullptr);
    if (taskbar && zoomPlatform.getWindowRect(taskbar, rect)) {
        if (rect->right - rect->left > kCornerWidth) rect->left = rect->right - kCornerWidth;
        if (rect->bottom - rect->top > kCornerHeight) rect->top = rect->bottom - kCornerHeight;
        return 1;
    }

    RECT area;
    if (!zoomPlatform.getWorkArea(&area)) return 0;
    *rect = { area.right - kCornerWidth, area.bottom - kCornerHeight, area.right, area.bottom };
    return 1;
}

void HideToTray(HWND window)
{
    if (ZoomAnimationEnabled()) {
        RECT from, to;
        if (zoomPlatform.getWindowRect(window, &from) && GetTrayRect(&to))
            zoomPlatform.drawAnimatedRects(window, IDANI_CAPTION, &from, &to);
    }
    ShowWindow(window, SW_HIDE);
}

void ShowConsole(HWND window)
{
    if (ZoomAnimationEnabled()) {
        RECT from, to;
        if (GetTrayRect(&from) && zoomPlatform.getWindowRect(window, &to))
            zoomPlatform.drawAnimatedRects(window, IDANI_CAPTION, &from, &to);
    }
    ShowWindow(window, SW_SHOW);
    SetActiveWindow(window);
    SetForegroundWindow(window);
}
