// The console window: its controls, buttons, drawing and text.
#include "app/ConsoleDialog.h"

#include "app/SingleInstance.h"
#include "framework/Shell.h"
#include "java/Settings.h"
#include "java/SettingsDialog.h"
#include "java/StartWithWindows.h"
#include "framework/Foreground.h"
#include "framework/PaintDC.h"
#include "framework/Text.h"
#include "process/BatchFile.h"
#include "process/JavaCommandLine.h"
#include "res/resource.h"
#include "ui/TrayZoom.h"

BEGIN_MESSAGE_MAP(ConsoleDialog, CDialog)
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_BN_CLICKED(IDC_HIDE, OnHide)
    ON_BN_CLICKED(IDC_GOTO, GoToApplication)
    ON_BN_CLICKED(IDC_HELP_DOC, OpenDocumentation)
    ON_BN_CLICKED(IDC_VIEW_LOG, OpenLogFile)
    ON_BN_CLICKED(IDC_JAVADOC, RunGenJavadoc)
    ON_WM_CLOSE()
    ON_BN_CLICKED(IDC_HIDE_ON_STARTUP, SaveHideOnStartup)
    ON_COMMAND(ID_TRAY_EXIT, OnCancel)
    ON_COMMAND(ID_TRAY_GOTO, OnTrayGoto)
    ON_COMMAND(ID_TRAY_LOGS, OnTrayLogs)
    ON_COMMAND(ID_TRAY_RESTART, RestartServer)
    ON_COMMAND(ID_TRAY_AUTOSTART, OnTrayAutostart)
    ON_COMMAND(ID_TRAY_SETTINGS, OnTraySettings)
    ON_COMMAND(ID_TRAY_OPEN, OnTrayOpen){ WM_SHOWWINDOW, 0, 0, AFX_VOID(OnShowWindow), nullptr },
END_MESSAGE_MAP()

namespace {

constexpr size_t kActionPathSize = 1000;

// The home the desktop actions use: the server's, or before it has started, the launcher's own.
const char* ActionHome(const char* homeDir) { return sharedHomeDir[0] ? sharedHomeDir : homeDir; }

// This program and the Run key's value that starts it with Windows, named after its installation.
bool StartValue(char (&name)[kStartValueNameSize], char (&exe)[kPathSize])
{
    DWORD length = GetModuleFileNameA(nullptr, exe, sizeof exe);
    return length != 0 && length < sizeof exe && CopyText(name, "Vantry.") &&
           InstallationHash(name + 7, sizeof name - 7);
}

} // namespace

void ConsoleDialog::DoDataExchange(CDataExchange* pDX)
{
    DDX_Control(pDX, IDC_HIDE_ON_STARTUP, hideOnStartup);
    DDX_Control(pDX, IDC_JAVADOC, javadocButton);
    DDX_Control(pDX, IDC_GOTO, gotoButton);
    DDX_Control(pDX, IDC_CONSOLE, console);
}

BOOL ConsoleDialog::OnInitDialog()
{
    CDialog::OnInitDialog();
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(mainIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(tray.SmallIcon(IDI_READY)));
    output_.Attach(console.m_hWnd, m_hWnd);
    output_.KeptIn([this] { return log_.FilePath(); });
    consoleFind.Attach(console.m_hWnd, m_hWnd);
    tray.Attach(m_hWnd);
    return TRUE;
}

void ConsoleDialog::WinHelp(DWORD_PTR, UINT) { OpenDocumentation(); }

// Esc ends the launcher wherever the focus is. The console text, a multi-line edit, would take the
// key for itself and close the dialog, which here only hides it.
BOOL ConsoleDialog::PreTranslateMessage(MSG* msg)
{
    if (consoleFind.PreTranslateMessage(msg)) return TRUE;
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_ESCAPE && msg->hwnd == console.m_hWnd) {
        SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        return TRUE;
    }
    return CDialog::PreTranslateMessage(msg);
}

void ConsoleDialog::AppendConsoleText(const char* text) { output_.Append(text); }

void ConsoleDialog::OnPaint()
{
    if (!IsIconic()) {
        Default();
        return;
    }
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.m_hDC), 0);
    int iconWidth = GetSystemMetrics(SM_CXICON);
    int iconHeight = GetSystemMetrics(SM_CYICON);
    RECT client;
    GetClientRect(&client);
    int x = (client.right - client.left - iconWidth + 1) / 2;
    int y = (client.bottom - client.top - iconHeight + 1) / 2;
    DrawIcon(dc, x, y, mainIcon);
}

LRESULT ConsoleDialog::OnQueryDragIcon() { return reinterpret_cast<LRESULT>(mainIcon); }

void ConsoleDialog::OnClose() { HideToTray(m_hWnd); }

void ConsoleDialog::OnHide() { HideToTray(m_hWnd); }

// The find box is owned by the console but would stay on the screen when the console is hidden:
// it goes with it. The message comes before the change, while the console is still visible.
void ConsoleDialog::OnShowWindow()
{
    if (IsWindowVisible()) consoleFind.CloseFindBox();
    Default();
}

// The tray menu's commands: what a click and a Ctrl+click on the icon do.
void ConsoleDialog::OnTrayOpen() { OpenConsole(); }

void ConsoleDialog::OnTrayGoto() { OpenApplication(); }

// Made if no output has been kept yet, so that Explorer has a folder to open.
void ConsoleDialog::OnTrayLogs()
{
    if (log_.MakeFolder()) ShellOpen(log_.Folder().c_str());
}

void ConsoleDialog::OnTrayAutostart()
{
    char name[kStartValueNameSize], exe[kPathSize];
    if (StartValue(name, exe)) SetStartWithWindows(name, exe, !::StartsWithWindows(name, exe));
}

// The settings window shows every choice as it is in force; OK stores only what changed, so that a user
// without rights to the machine's key does not pin the rest in their own.
void ConsoleDialog::OnTraySettings()
{
    if (settings_) { // a second request brings the open window to the front
        ::ShowWindow(settings_->m_hWnd, SW_SHOWNORMAL);
        AskForTheForeground(settings_->m_hWnd);
        return;
    }
    SettingsDialog dialog(this);
    SettingsChoices& shown = dialog.choices;
    shown.javaExe = javaExePath;
    shown.javaOptions = ReadJavaOptions();
    shown.startWithWindows = StartsWithWindows();
    shown.hideOnStartup = hideOnStartup.GetCheck() == 1;
    shown.restartOnFailure = ReadRestartOnFailure();
    shown.stopTimeout = stopTimeout;
    const SettingsChoices before = shown;
    dialog.javas = FindJavaInstallations(homeDir);
    dialog.optionsFit = &JavaOptionsFit;
    dialog.home = homeDir;
    dialog.serverRuns = serverRunning_;
    settings_ = &dialog;
    const INT_PTR answer = dialog.DoModal();
    settings_ = nullptr;
    if (answer != IDOK || exiting_) return;

    const SettingsChoices& chosen = dialog.choices;
    if (chosen.javaExe != before.javaExe && CopyText(javaExePath, chosen.javaExe.c_str())) SaveJavaExe();
    if (chosen.javaOptions != before.javaOptions) StoreJavaOptions(chosen.javaOptions);
    char name[kStartValueNameSize], exe[kPathSize];
    if (chosen.startWithWindows != before.startWithWindows && StartValue(name, exe))
        SetStartWithWindows(name, exe, chosen.startWithWindows);
    if (chosen.hideOnStartup != before.hideOnStartup) {
        hideOnStartup.SetCheck(chosen.hideOnStartup ? 1 : 0); // the console's box stays in step
        SaveHideOnStartup();
    }
    if (chosen.restartOnFailure != before.restartOnFailure) StoreRestartOnFailure(chosen.restartOnFailure);
    if (chosen.stopTimeout != before.stopTimeout) {
        StoreStopTimeout(chosen.stopTimeout);
        stopTimeout = chosen.stopTimeout;
    }
    if (dialog.restartNow) RestartServer();
}

bool ConsoleDialog::StartsWithWindows() const
{
    char name[kStartValueNameSize], exe[kPathSize];
    return StartValue(name, exe) && ::StartsWithWindows(name, exe);
}

void ConsoleDialog::GoToApplication()
{
    HideToTray(m_hWnd);
    serverRunner.OpenApplicationUrl();
}

void ConsoleDialog::OpenDocumentation()
{
    char path[kActionPathSize];
    CopyText(path, ActionHome(homeDir));
    if (AppendText(path, "\\doc\\index.html")) ShellOpen(path);
}

void ConsoleDialog::OpenLogFile()
{
    char path[kActionPathSize];
    CopyText(path, ActionHome(homeDir));
    if (AppendText(path, "\\log\\Vantry.log")) ShellOpen(path);
}

void ConsoleDialog::RunGenJavadoc()
{
    const char* home = ActionHome(homeDir);
    if (!RunBatchFile(home, "GenJavadoc.bat"))
        AppendConsoleText((std::string("\r\nCould not run ") + home + "\\GenJavadoc.bat\r\n").c_str());
}
