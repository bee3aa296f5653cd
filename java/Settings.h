// The settings in the registry, and what is derived from the executable's location.
#pragma once
#include <windows.h>

#include <cstddef>
#include <string>

// The directory of the executable at modulePath (cut at its last backslash, which goes too) and the
// initialisation marker file under it. Returns 1 when both were written; 0 when the path has no
// backslash or a result would not fit, and then neither buffer is touched.
int DeriveHomePaths(const char* modulePath, char* homeDir, size_t homeDirSize, char* markerPath, size_t markerPathSize);

// Reads the stored settings at start-up, making the machine's key when it is missing and deleting
// an old VtyHome value. hideOnStartup (1 ticked, 0 not) and javaExePath change only when a usable
// value is stored; homeDir and markerPath are derived from the executable's path, and left alone
// when it cannot be known whole.
void ReadSettings(int& hideOnStartup, char* javaExePath, size_t javaExePathSize, char* homeDir, size_t homeDirSize,
                  char* markerPath, size_t markerPathSize);
// RestartOnFailure: whether a crashed server is started again. "false" turns it off; missing or any
// other text leaves it on. Read like the others: the machine's key, then the user's, which wins.
bool ReadRestartOnFailure();

// Remember the java.exe settled on, and the box's state, where the next start reads them.
void StoreJavaExe(const char* javaExePath, size_t javaExePathSize);
void StoreHideOnStartup(bool checked);
// The settings window's other choices. Every store goes to the machine's key when this user may write
// it, and then removes the user's own value of the same name; else to the user's key.
void StoreRestartOnFailure(bool restart);
void StoreStopTimeout(DWORD milliseconds);

// JavaOptions: options for the Java virtual machine, the whole text however long (the launch refuses
// one too long), read like the others: the user's own wins. Empty when absent.
std::string ReadJavaOptions();
void StoreJavaOptions(const std::string& options);

// How long a running server has to end by itself once asked to stop: StopTimeout (REG_SZ, milliseconds),
// read like the other settings, the user's own after the machine's. Absent or no number: the default;
// a number is held within kMinStopTimeout..kMaxStopTimeout.
constexpr DWORD kDefaultStopTimeout = 10000;
constexpr DWORD kMinStopTimeout = 1500;
constexpr DWORD kMaxStopTimeout = 60000;
DWORD ReadStopTimeout();
DWORD StopTimeoutFrom(const char* text); // null: absent

// What the settings ask of the system. Tests place the launcher in a home of their own through
// moduleFileName, and see the exact length given to setValue, which the registry hides (it adds a
// missing NUL to a REG_SZ).
struct SettingsPlatform {
    DWORD(WINAPI* moduleFileName)(HMODULE module, LPSTR path, DWORD size);
    LSTATUS(WINAPI* setValue)(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size);
};
extern SettingsPlatform settingsPlatform;
SettingsPlatform SystemSettingsPlatform();
