#include "framework/Foreground.h"

ForegroundPlatform foregroundPlatform = { &SetForegroundWindow, &FlashWindowEx };

void AskForTheForeground(HWND window)
{
    if (foregroundPlatform.setForeground(window)) return;
    FLASHWINFO flash = { sizeof flash, window, FLASHW_ALL | FLASHW_TIMERNOFG, 0, 0 };
    foregroundPlatform.flash(&flash);
}
