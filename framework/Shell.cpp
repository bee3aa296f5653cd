#include "framework/Shell.h"

#include <windows.h>
#include <shellapi.h>

namespace {

void SystemOpen(const char* target) { ShellExecuteA(nullptr, "open", target, nullptr, nullptr, SW_SHOW); }

} // namespace

ShellPlatform shellPlatform = { &SystemOpen };

void ShellOpen(const char* target) { shellPlatform.open(target); }
