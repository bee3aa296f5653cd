// The console window, which is also the launcher's state: the two runners, the paths, the server's
// state and the tray. Its operations live beside the subsystem they belong to:
//   app/ConsoleDialog.cpp     construction, CreateConsole, exit
//   app/StartupSequence.cpp   the start-up decisions
//   app/ServerEvents.cpp      message routing and the server's life
//   java/Settings.cpp         the registry settings
//   ui/ConsoleWindow.cpp      the window, its buttons and the console text
//   ui/TrayIcon.cpp           the tray icon, its animation and menu
#pragma once
#include "app/Paths.h"
#include "framework/Dialog.h"
#include "process/InitRunner.h"
#include "process/ServerRunner.h"
#include "ui/ConsoleFind.h"
#include "ui/ConsoleOutput.h"

#include <shellapi.h>

class ConsoleDialog : public CDialog {
public:
    explicit ConsoleDialog(CWnd* parent = nullptr);
    ~ConsoleDialog() override;

    // Start and exit.
    void CreateConsole();
    void OnCancel() override;
    void ExitLauncher();
    void RunStartupSequence();

    // The server's life.
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
    void OnStartServer();
    void PostServerReady();
    void OnServerReady();
    void OnServerEnded();

    // Settings.
    void LoadSettings();
    void SaveJavaExe();
    void SaveHideOnStartup();

    // The window.
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL PreTranslateMessage(MSG* msg) override;
    void WinHelp(DWORD_PTR data, UINT command) override;
    void AppendConsoleText(const char* text);
    void GoToApplication();
    void OpenDocumentation();
    void OpenLogFile();
    void RunGenJavadoc();

    // The tray.
    BOOL NotifyTray(DWORD operation, UINT id, HICON icon, const char* tip);
    void TrayBusy();
    void TrayReady();
    void TrayStopped();
    void TrayRemove();
    void StartAnimation();
    void StopAnimation();
    void AdvanceAnimation();
    void OnTrayNotify(UINT mouseMessage);
    void ShowTrayMenu();

    // How ExitLauncher ends the process, how the tray reaches the shell, and how the window lets the
    // shell's "TaskbarCreated" through the message filter (null where the system has no such filter);
    // tests put recorders here.
    static void (*endProcess)(int status);
    static BOOL(WINAPI* shellNotifyIcon)(DWORD operation, PNOTIFYICONDATAA data);
    using MessageFilterFunction = BOOL(WINAPI*)(HWND window, UINT message, DWORD action, PCHANGEFILTERSTRUCT info);
    static MessageFilterFunction changeMessageFilter;

    CButton hideOnStartup;
    CButton javadocButton;
    CButton gotoButton;
    CEdit console;
    ConsoleFind consoleFind; // the console text's menu, find and save (ui/ConsoleFind.cpp)
    HICON mainIcon;

private:
    // Before the runners, so that it outlives them: their readers write to it until they have ended.
    ConsoleOutput output;

public:
    ServerRunner serverRunner;
    InitRunner initRunner;
    char javaExePath[kPathSize];
    char homeDir[kPathSize];
    char markerPath[kPathSize];
    int serverReady;
    int animFrame;
    char trayTip[20];
    HICON busyIcons[3];

protected:
    void OnPaint();
    LRESULT OnQueryDragIcon();
    void OnClose();
    void OnHide();
    void OnShowWindow();
    void OnTrayOpen();
    void OnTrayGoto();
    void ReportLaunchFailure(const char* what);
    void AddTrayIcon();

    DECLARE_MESSAGE_MAP()

private:
    enum class TrayState { Absent, Busy, Ready, Stopped };
    void SetTrayIcon(int iconId, TrayState state);
    HICON ShownTrayIcon();

    bool serverRunning = false;     // between a successful server launch and its end
    bool exiting = false;           // ExitLauncher has begun: nothing more is started
    TrayState trayState = TrayState::Absent;
    bool trayShown = false;         // the shell has the icon
    UINT taskbarCreatedMessage = 0; // the shell's broadcast when the taskbar is made anew
};
