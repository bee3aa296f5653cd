// The settings: read at start-up (JavaOptions and RestartOnFailure when they are needed), written when
// Java is settled on, on every click of "Hide on startup" and by the settings window's OK. They live
// in the machine's key; a user who may not write that key keeps them in a key of their own, which is
// read after the machine's and wins.
#include "java/Settings.h"

#include "framework/Paths.h"
#include "framework/Text.h"
#include "java/RegistryKey.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace {

// The same path under HKEY_LOCAL_MACHINE and under HKEY_CURRENT_USER.
const char kSettingsKey[] = "SOFTWARE\\Vantry\\Vantrybench";
const char kMarkerFile[] = "\\config\\vty3.2.sav";

void ReadHideOnStartup(HKEY key, int& checked)
{
    RegistryValue value;
    if (!value.Query(key, "HideOnStartup")) return;
    if (const char* text = value.Text()) checked = std::strstr(text, "true") ? 1 : 0;
}

void ReadJavaExe(HKEY key, char* path, size_t pathSize)
{
    RegistryValue value;
    if (!value.Query(key, "JavaExe")) return;
    if (const char* text = value.Text()) CopyText(path, pathSize, text);
}

// The whole text of a REG_SZ, however long: JavaOptions is longer than other values, and one too long
// must be seen whole to be refused.
bool QueryWholeText(HKEY key, const char* name, std::string& text)
{
    DWORD type = REG_NONE, size = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ) return false;
    std::string data(size + 1, '\0');
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    text.assign(data.c_str(), strnlen(data.c_str(), size));
    return true;
}

// Stores a REG_SZ of size bytes (its NUL counted) where the next start will read it: in the machine's
// key when this user may write it, else in the user's own, which is made when needed. True when it
// went to the machine's key; then a value this user once kept in their own key, which would win over
// the new one at the next start, is removed.
bool StoreText(const char* name, const char* text, DWORD size)
{
    const BYTE* data = reinterpret_cast<const BYTE*>(text);
    RegistryKey machine;
    if (machine.Open(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_WRITE)) {
        settingsPlatform.setValue(machine.Get(), name, 0, REG_SZ, data, size);
        RegFlushKey(machine.Get());
        RegistryKey user;
        if (user.Open(HKEY_CURRENT_USER, kSettingsKey, KEY_WRITE) && RegDeleteValueA(user.Get(), name) == ERROR_SUCCESS)
            RegFlushKey(user.Get());
        return true;
    }
    RegistryKey user;
    if (user.Create(HKEY_CURRENT_USER, kSettingsKey, KEY_WRITE)) {
        settingsPlatform.setValue(user.Get(), name, 0, REG_SZ, data, size);
        RegFlushKey(user.Get());
    }
    return false;
}

} // namespace

SettingsPlatform SystemSettingsPlatform() { return { &GetModuleFileNameA, &RegSetValueExA }; }

SettingsPlatform settingsPlatform = SystemSettingsPlatform();

int DeriveHomePaths(const char* modulePath, char* homeDir, size_t homeDirSize, char* markerPath, size_t markerPathSize)
{
    const char* lastSeparator = std::strrchr(modulePath, '\\');
    if (!lastSeparator) return 0;
    size_t dirLength = static_cast<size_t>(lastSeparator - modulePath);
    if (dirLength >= homeDirSize || dirLength + sizeof kMarkerFile > markerPathSize) return 0;
    CopyText(homeDir, dirLength + 1, modulePath); // cut just before the backslash
    CopyText(markerPath, markerPathSize, homeDir);
    AppendText(markerPath, markerPathSize, kMarkerFile);
    return 1;
}

void ReadSettings(int& hideOnStartup, char* javaExePath, size_t javaExePathSize, char* homeDir, size_t homeDirSize,
                  char* markerPath, size_t markerPathSize)
{
    RegistryKey machine;
    if (!machine.Open(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_READ)) {
        RegistryKey created;
        if (created.Create(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_ALL_ACCESS)) RegFlushKey(created.Get());
        machine.Open(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_READ);
    }

    // Without the key only the stored choices are missing; the home directory is still known.
    if (machine) {
        ReadHideOnStartup(machine.Get(), hideOnStartup);
        ReadJavaExe(machine.Get(), javaExePath, javaExePathSize);
        RegistryValue value;
        if (value.Query(machine.Get(), "VtyHome")) {
            RegistryKey writable;
            if (writable.Open(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_WRITE)) {
                RegDeleteValueA(writable.Get(), "VtyHome");
                RegFlushKey(writable.Get());
            }
        }
    }

    // What this user stored without rights to the machine's key is their own choice and wins.
    RegistryKey user;
    if (user.Open(HKEY_CURRENT_USER, kSettingsKey, KEY_READ)) {
        ReadHideOnStartup(user.Get(), hideOnStartup);
        ReadJavaExe(user.Get(), javaExePath, javaExePathSize);
    }

    char modulePath[kPathSize];
    DWORD length = settingsPlatform.moduleFileName(nullptr, modulePath, sizeof modulePath);
    // A path that filled the buffer may have been cut: no home directory is better than a wrong one.
    if (length == 0 || length >= sizeof modulePath) return;
    DeriveHomePaths(modulePath, homeDir, homeDirSize, markerPath, markerPathSize);
}

DWORD StopTimeoutFrom(const char* text)
{
    if (!text) return kDefaultStopTimeout;
    while (*text == ' ' || *text == '\t') ++text;
    const bool negative = *text == '-';
    if (negative || *text == '+') ++text;
    if (*text < '0' || *text > '9') return kDefaultStopTimeout;
    unsigned long long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        if (value <= kMaxStopTimeout) value = value * 10 + static_cast<unsigned>(*text - '0');
    while (*text == ' ' || *text == '\t') ++text;
    if (*text) return kDefaultStopTimeout;
    if (negative || value < kMinStopTimeout) return kMinStopTimeout;
    return value > kMaxStopTimeout ? kMaxStopTimeout : static_cast<DWORD>(value);
}

DWORD ReadStopTimeout()
{
    RegistryValue stored;
    const char* text = nullptr;
    RegistryKey machine, user;
    if (machine.Open(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_READ) && stored.Query(machine.Get(), "StopTimeout"))
        text = stored.Text();
    RegistryValue own;
    if (user.Open(HKEY_CURRENT_USER, kSettingsKey, KEY_READ) && own.Query(user.Get(), "StopTimeout") && own.Text())
        text = own.Text();
    return StopTimeoutFrom(text);
}

bool ReadRestartOnFailure()
{
    bool restart = true;
    for (HKEY root : { HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER }) {
        RegistryKey key;
        RegistryValue value;
        if (!key.Open(root, kSettingsKey, KEY_READ) || !value.Query(key.Get(), "RestartOnFailure")) continue;
        const char* text = value.Text();
        restart = !text || lstrcmpiA(text, "false") != 0;
    }
    return restart;
}

void StoreJavaExe(const char* javaExePath, size_t javaExePathSize)
{
    DWORD length = static_cast<DWORD>(strnlen(javaExePath, javaExePathSize - 1) + 1);
    StoreText("JavaExe", javaExePath, length);
}

namespace {

void StoreFlag(const char* name, bool on)
{
    static const char kTrue[] = "true";
    static const char kFalse[] = "false";
    StoreText(name, on ? kTrue : kFalse, on ? sizeof kTrue : sizeof kFalse);
}

} // namespace

void StoreHideOnStartup(bool checked) { StoreFlag("HideOnStartup", checked); }

void StoreRestartOnFailure(bool restart) { StoreFlag("RestartOnFailure", restart); }

void StoreStopTimeout(DWORD milliseconds)
{
    char text[16];
    std::snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(milliseconds));
    StoreText("StopTimeout", text, static_cast<DWORD>(std::strlen(text) + 1));
}

std::string ReadJavaOptions()
{
    std::string options;
    for (HKEY root : { HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER }) {
        RegistryKey key;
        if (key.Open(root, kSettingsKey, KEY_READ)) QueryWholeText(key.Get(), "JavaOptions", options);
    }
    return options;
}

void StoreJavaOptions(const std::string& options)
{
    StoreText("JavaOptions", options.c_str(), static_cast<DWORD>(options.size() + 1));
}
