// The settings window: every choice of the launcher in one place. It shows the choices it is given and,
// after OK, holds what the user settled on; the caller stores what changed and acts on it.
#pragma once
#include "java/JavaPathDialog.h"

#include <string>

struct SettingsChoices {
    std::string javaExe;
    std::string javaOptions;
    bool startWithWindows = false;
    bool hideOnStartup = false;
    bool restartOnFailure = true;
    DWORD stopTimeout = 0; // milliseconds
};

// How the window tells the user what it refuses; tests answer instead of a user.
struct SettingsDialogPlatform {
    int(WINAPI* messageBox)(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
};
extern SettingsDialogPlatform settingsDialogPlatform;

// Seconds as typed ("10", "1.5"), in milliseconds; 0 when the text is no such number.
DWORD MillisecondsFromSeconds(const char* text);

// The Java row is the Java path dialog's: its drop-down of every Java found (javas), its Browse.
class SettingsDialog : public JavaPathDialog {
public:
    explicit SettingsDialog(CWnd* parent);

    SettingsChoices choices;
    // Whether options fit the command lines of the Java programs run from home.
    bool (*optionsFit)(const char* options, const char* home) = nullptr;
    std::string home;
    bool serverRuns = false; // then a change of Java or options asks whether to restart it now
    bool restartNow = false; // after OK: the user said yes

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    bool Refuse(int control, const std::string& text);
};
