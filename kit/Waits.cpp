#include "kit/Waits.h"

bool WaitUntil(const std::function<bool()>& condition, DWORD milliseconds,
               const std::function<bool(MSG*)>& preTranslate)
{
    DWORD start = GetTickCount();
    for (;;) {
        DWORD checked = GetTickCount();
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!preTranslate || !preTranslate(&msg)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
            DWORD now = GetTickCount();
            if (now - checked < 10) continue;
            if (condition()) return true;
            if (now - start >= milliseconds) return false;
            checked = now;
        }
        if (condition()) return true;
        if (GetTickCount() - start >= milliseconds) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

void PumpFor(DWORD milliseconds)
{
    WaitUntil([] { return false; }, milliseconds);
}

bool PollUntil(const std::function<bool()>& condition, DWORD milliseconds)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start >= milliseconds) return false;
        Sleep(20);
    }
}
