#include "java/StartWithWindows.h"

#include "framework/Paths.h"
#include "framework/Text.h"

#include <windows.h>

#include <cstring>

namespace {

const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

} // namespace

bool StartsWithWindows(const char* valueName, const char* exePath)
{
    HKEY run = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kRunKey, 0, KEY_QUERY_VALUE, &run) != ERROR_SUCCESS) return false;
    char data[kPathSize + 3] = {}; // the path, its quotes and the NUL; a longer value names no path of ours
    DWORD type = REG_NONE, length = sizeof data - 1;
    const bool read =
        RegQueryValueExA(run, valueName, nullptr, &type, reinterpret_cast<BYTE*>(data), &length) == ERROR_SUCCESS;
    RegCloseKey(run);
    if (!read || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    data[length] = '\0';
    const char* path = data;
    size_t pathLength = std::strlen(path);
    if (pathLength >= 2 && path[0] == '"' && path[pathLength - 1] == '"') {
        ++path;
        pathLength -= 2;
    }
    return pathLength == std::strlen(exePath) &&
           CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, path, static_cast<int>(pathLength), exePath,
                          static_cast<int>(pathLength)) == CSTR_EQUAL;
}

bool SetStartWithWindows(const char* valueName, const char* exePath, bool on)
{
    HKEY run = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &run, nullptr) !=
        ERROR_SUCCESS)
        return false;
    LSTATUS status;
    if (on) {
        // Quoted: a path with blanks would otherwise start whatever its first word names.
        char command[kPathSize + 3] = "\"";
        if (!AppendText(command, exePath) || !AppendText(command, "\"")) {
            RegCloseKey(run);
            return false;
        }
        status = RegSetValueExA(run, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(command),
                                static_cast<DWORD>(std::strlen(command) + 1));
    } else {
        status = RegDeleteValueA(run, valueName);
        if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;
    }
    RegCloseKey(run);
    return status == ERROR_SUCCESS;
}
