// Functions of user32 that older systems lack, looked up at run time rather than linked, so that the
// program still starts there.
#pragma once
#include <windows.h>

// The function, or null where the system has none of that name.
template <typename Function> Function User32Function(const char* name)
{
    HMODULE user32 = GetModuleHandleA("user32.dll");
    return user32 ? reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(user32, name))) : nullptr;
}
