// What the settings store derives from the executable's location rather than from the registry.
#pragma once
#include <cstddef>

// The directory of the executable at modulePath (cut at its last backslash, which goes too) and the
// initialisation marker file under it. Returns 1 when both were written; 0 when the path has no
// backslash or a result would not fit, and then neither buffer is touched.
int DeriveHomePaths(const char* modulePath, char* homeDir, size_t homeDirSize, char* markerPath,
                    size_t markerPathSize);

#include <windows.h>

// Where the executable's path comes from; tests place the launcher in a home of their own.
extern DWORD(WINAPI* settingsModuleFileName)(HMODULE module, LPSTR path, DWORD size);

// How the settings store writes a value; tests put a recorder here to see the exact length given,
// which the registry hides (it adds a missing NUL to a REG_SZ).
extern LSTATUS(WINAPI* settingsSetValue)(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data,
                                         DWORD size);
