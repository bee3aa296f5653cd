// The settings key: read once at start-up, written when Java is settled on and on every click of
// "Hide on startup".
#include "java/Settings.h"

#include "app/ConsoleDialog.h"
#include "framework/Text.h"
#include "java/RegistryKey.h"

#include <cstring>

namespace {

const char kSettingsKey[] = "SOFTWARE\\Vantry\\Vantrybench";
const char kMarkerFile[] = "\\config\\vty3.2.sav";

} // namespace

DWORD(WINAPI* settingsModuleFileName)(HMODULE, LPSTR, DWORD) = &GetModuleFileNameA;
LSTATUS(WINAPI* settingsSetValue)(HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD) = &RegSetValueExA;

int DeriveHomePaths(const char* modulePath, char* homeDir, size_t homeDirSize, char* markerPath,
                    size_t markerPathSize)
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

void ConsoleDialog::LoadSettings()
{
    RegistryKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_READ)) {
        RegistryKey created;
        if (created.Create(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_ALL_ACCESS)) RegFlushKey(created.Get());
        key.Open(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_READ);
    }

    // Without the key only the stored choices are missing; the home directory is still known.
    if (key) {
        RegistryValue value;
        if (value.Query(key.Get(), "HideOnStartup")) {
            if (const char* text = value.Text()) hideOnStartup.SetCheck(std::strstr(text, "true") ? 1 : 0);
        }
        if (value.Query(key.Get(), "JavaExe")) {
            if (const char* text = value.Text()) CopyText(javaExePath, text);
        }
        if (value.Query(key.Get(), "VtyHome")) {
            RegistryKey writable;
            if (writable.Open(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_WRITE)) {
                RegDeleteValueA(writable.Get(), "VtyHome");
                RegFlushKey(writable.Get());
            }
        }
    }

    char modulePath[kPathSize];
    DWORD length = settingsModuleFileName(nullptr, modulePath, sizeof modulePath);
    // A path that filled the buffer may have been cut: no home directory is better than a wrong one.
    if (length == 0 || length >= sizeof modulePath) return;
    DeriveHomePaths(modulePath, homeDir, sizeof homeDir, markerPath, sizeof markerPath);
}

void ConsoleDialog::SaveJavaExe()
{
    RegistryKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_WRITE)) return;
    DWORD length = static_cast<DWORD>(strnlen(javaExePath, sizeof javaExePath - 1) + 1);
    settingsSetValue(key.Get(), "JavaExe", 0, REG_SZ, reinterpret_cast<const BYTE*>(javaExePath), length);
    RegFlushKey(key.Get());
}

void ConsoleDialog::SaveHideOnStartup()
{
    int state = hideOnStartup.GetCheck();
    RegistryKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_WRITE)) return;
    static const char kTrue[] = "true";
    static const char kFalse[] = "false";
    if (state == 1)
        settingsSetValue(key.Get(), "HideOnStartup", 0, REG_SZ, reinterpret_cast<const BYTE*>(kTrue), sizeof kTrue);
    else
        settingsSetValue(key.Get(), "HideOnStartup", 0, REG_SZ, reinterpret_cast<const BYTE*>(kFalse), sizeof kFalse);
    RegFlushKey(key.Get());
}
