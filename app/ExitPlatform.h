// How the launcher ends its process once it has stopped what it started, and how it tells Windows
// why it holds up the end of the session meanwhile.
#pragma once
#include <windows.h>

// Tests put recorders here: a test program must not end with the launcher.
struct ExitPlatform {
    void (*endProcess)(int status);
    // ShutdownBlockReasonCreate and ...Destroy where the system has them (Windows Vista and later);
    // elsewhere they do nothing and return FALSE.
    BOOL (*blockReasonCreate)(HWND window, LPCWSTR reason);
    BOOL (*blockReasonDestroy)(HWND window);
};
extern ExitPlatform exitPlatform;
