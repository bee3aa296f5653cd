#include "app/Shell.h"

#include <windows.h>
#include <shellapi.h>

void ShellOpenDefault(const char* target)
{
    ShellExecuteA(nullptr, "open", target, nullptr, nullptr, SW_SHOW);
}

void (*ShellOpen)(const char* target) = &ShellOpenDefault;
