#include "java/SettingsDialog.h"

#include "framework/Paths.h"
#include "java/Settings.h"
#include "res/resource.h"

#include <cstdio>

SettingsDialogPlatform settingsDialogPlatform = { &MessageBoxA };

SettingsDialog::SettingsDialog(CWnd* parent) : JavaPathDialog(parent, IDD_SETTINGS) {}

DWORD MillisecondsFromSeconds(const char* text)
{
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    while (*text == ' ') ++text;
    unsigned long long ms = 0;
    bool number = false;
    for (; digit(*text); ++text, number = true)
        if (ms < 100000000) ms = ms * 10 + static_cast<unsigned>(*text - '0');
    ms *= 1000;
    // Either decimal sign: the user types the one of their country.
    if (*text == '.' || *text == ',') {
        ++text;
        for (unsigned scale = 100; digit(*text); ++text, scale /= 10, number = true)
            ms += static_cast<unsigned>(*text - '0') * scale;
    }
    while (*text == ' ') ++text;
    if (*text || !number || ms > 0xFFFFFFFFull) return 0;
    return static_cast<DWORD>(ms);
}

BOOL SettingsDialog::OnInitDialog()
{
    SetDlgItemTextA(m_hWnd, IDC_JAVA_OPTIONS, choices.javaOptions.c_str());
    CheckDlgButton(m_hWnd, IDC_START_WITH_WINDOWS, choices.startWithWindows ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(m_hWnd, IDC_HIDE_ON_STARTUP, choices.hideOnStartup ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(m_hWnd, IDC_RESTART_ON_FAILURE, choices.restartOnFailure ? BST_CHECKED : BST_UNCHECKED);
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", choices.stopTimeout / 1000.0);
    SetDlgItemTextA(m_hWnd, IDC_STOP_TIMEOUT, seconds);
    // Last, as it shows the window: what the user sees first is whole.
    path = choices.javaExe;
    return JavaPathDialog::OnInitDialog();
}

// Told, and the window stays open with the faulty value selected for correction.
bool SettingsDialog::Refuse(int control, const std::string& text)
{
    settingsDialogPlatform.messageBox(m_hWnd, text.c_str(), "Vantry Settings", MB_ICONEXCLAMATION);
    HWND box = GetDlgItem(m_hWnd, control);
    if (control == IDC_JAVA_PATH) box = pathEdit.m_hWnd;
    ::SetFocus(box);
    ::SendMessageA(box, EM_SETSEL, 0, -1);
    return false;
}

void SettingsDialog::OnOK()
{
    SettingsChoices chosen;
    chosen.javaExe = pathEdit.GetWindowText();
    CWnd options;
    options.m_hWnd = GetDlgItem(m_hWnd, IDC_JAVA_OPTIONS);
    chosen.javaOptions = options.GetWindowText();
    options.m_hWnd = nullptr;
    chosen.startWithWindows = IsDlgButtonChecked(m_hWnd, IDC_START_WITH_WINDOWS) == BST_CHECKED;
    chosen.hideOnStartup = IsDlgButtonChecked(m_hWnd, IDC_HIDE_ON_STARTUP) == BST_CHECKED;
    chosen.restartOnFailure = IsDlgButtonChecked(m_hWnd, IDC_RESTART_ON_FAILURE) == BST_CHECKED;
    char seconds[32] = "";
    GetDlgItemTextA(m_hWnd, IDC_STOP_TIMEOUT, seconds, sizeof seconds);
    chosen.stopTimeout = MillisecondsFromSeconds(seconds);

    // Only a file can be run; a path the launcher could not hold whole would name another file.
    if (chosen.javaExe.size() >= kPathSize || !IsFile(chosen.javaExe.c_str())) {
        Refuse(IDC_JAVA_PATH, "\"" + chosen.javaExe + "\" is not a file.\n\nPlease choose java.exe.");
        return;
    }
    if (optionsFit && !optionsFit(chosen.javaOptions.c_str(), home.c_str())) {
        Refuse(IDC_JAVA_OPTIONS, "The Java options are too long for the command lines of the Java programs.");
        return;
    }
    if (chosen.stopTimeout < kMinStopTimeout || chosen.stopTimeout > kMaxStopTimeout) {
        Refuse(IDC_STOP_TIMEOUT, "The stop timeout is a number of seconds from 1.5 to 60.");
        return;
    }
    // Java and its options are read at the server's start: a running server keeps the old ones until then.
    if (serverRuns && (chosen.javaExe != choices.javaExe || chosen.javaOptions != choices.javaOptions))
        restartNow = settingsDialogPlatform.messageBox(m_hWnd, "Restart the server now?", "Vantry Settings",
                                                       MB_YESNO | MB_ICONQUESTION) == IDYES;
    choices = chosen;
    EndDialog(IDOK);
}
