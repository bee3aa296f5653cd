// The console window, which is also the launcher's state: the two runners, the paths, the server's
// state and the tray icon.
//
// Files. Each section below is defined in one file:
//   app/ConsoleDialog.cpp     construction, start, exit and the end of the session, the settings
//                             and the tray's operations
//   app/StartupSequence.cpp   the start-up decisions
//   app/ServerEvents.cpp      the dispatch of the launcher's own messages, and the server's life
//   app/ConsoleWindow.cpp     the window, its buttons and the console text
// The parts that do not need the window live in their own rooms: ui/ConsoleOutput (the text),
// ui/TrayIcon (the tray), ui/TrayZoom (the zoom), java/Settings (the registry), process/ (the runners).
//
// Threads. Everything here belongs to the window's thread, except the two calls of RunnerOwner,
// AppendConsoleText and PostServerReady, which the runners' reader threads make and any thread may.
//
// Dispatch. Commands and the dialog's own window messages (paint, close, buttons, the tray menu's
// commands) go through the message map in app/ConsoleWindow.cpp. The launcher's own posted
// messages (ui/Messages.h), the timers, the tray's messages and WM_ENDSESSION go through the switch of OnWndMsg in
// app/ServerEvents.cpp, one call each. Both see every message: OnWndMsg hands each on to the map.
#pragma once
#include "framework/Dialog.h"
#include "framework/Paths.h"
#include "process/ConsoleLog.h"
#include "process/CrashRecovery.h"
#include "process/InitRunner.h"
#include "process/RunnerOwner.h"
#include "process/ServerRunner.h"
#include "process/StopSequence.h"
#include "ui/ConsoleFind.h"
#include "ui/ConsoleOutput.h"
#include "ui/TrayIcon.h"

class ConsoleDialog : public CDialog, public RunnerOwner, private TrayIcon::Owner {
public:
    explicit ConsoleDialog(CWnd* parent = nullptr);
    ~ConsoleDialog() override;

    // ---- app/ConsoleDialog.cpp: start, exit and the end of the Windows session ----
    void CreateConsole();
    void OnCancel() override;
    void ExitLauncher();
    void OnEndSession(BOOL ending);
    // The tray's "Restart server": the server alone is stopped as Exit stops it, with the console and
    // the tray alive, then started again.
    void RestartServer();

    // ---- app/ConsoleDialog.cpp: settings (java/Settings does the work) ----
    void LoadSettings();
    void SaveJavaExe();
    void SaveHideOnStartup();

    // ---- app/ConsoleDialog.cpp: the tray (ui/TrayIcon does the work) ----
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

    // ---- app/StartupSequence.cpp ----
    void RunStartupSequence();

    // ---- app/ServerEvents.cpp: dispatch and the server's life ----
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
    void OnStartServer();
    void PostServerReady() override; // any thread
    void OnServerReady();
    void OnServerEnded();

    // ---- app/ConsoleWindow.cpp: the window ----
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL PreTranslateMessage(MSG* msg) override;
    void WinHelp(DWORD_PTR data, UINT command) override;
    void AppendConsoleText(const char* text) override; // any thread
    void GoToApplication();
    void OpenDocumentation();
    void OpenLogFile();
    void RunGenJavadoc();

    CButton hideOnStartup;
    CButton javadocButton;
    CButton gotoButton;
    CEdit console;
    ConsoleFind consoleFind; // the console text's menu, find and save (ui/ConsoleFind.cpp)
    HICON mainIcon;          // the ready icon at the window's big size; the tray owns it

private:
    // Before the runners, so that it outlives them: their readers write to it until they have ended.
    ConsoleOutput output_;
    ConsoleLog log_; // the same output on disk; written by the runners' readers and watchers

public:
    ServerRunner serverRunner;
    InitRunner initRunner;
    char javaExePath[kPathSize];
    char homeDir[kPathSize];
    char markerPath[kPathSize];
    int serverReady;
    DWORD stopTimeout; // StopTimeout: how long a running server has to end by itself once asked to
    TrayIcon tray;

    // ---- Internal: only the window's own files use these ----
protected:
    void OnPaint();
    LRESULT OnQueryDragIcon();
    void OnClose();
    void OnHide();
    void OnShowWindow();
    void OnTrayOpen();
    void OnTrayGoto();
    void OnTrayLogs();
    void OnTrayAutostart();
    void OnTraySettings();
    void ReportLaunchFailure(const char* what, const char* options);
    void TellHidden(const char* line, const char* nextLine);
    void TellServerEnd(DWORD restartDelay);
    DWORD RecoveryDelay();
    void ReportRecovery(DWORD restartDelay);
    void OnRecoveryTimer();
    static void FormatExitCode(char* text, size_t size, DWORD code);

    DECLARE_MESSAGE_MAP()

private:
    void EndLauncher(bool sessionEnds);
    void AwaitChildren();
    void LaunchServer();
    void ContinueRestart();

    void OpenConsole() override;
    void OpenApplication() override;
    bool IsGotoEnabled() const override;
    bool IsServerReady() const override;
    bool CanRestart() const override;
    bool StartsWithWindows() const override;

    bool serverRunning_ = false;                   // between a successful server launch and its end
    bool exiting_ = false;                         // ExitLauncher has begun: nothing more is started
    StopSequence stop_;                            // the exit's, or a restart's while it stops the server
    bool serverStarted_ = false;                   // the server has been started once: it can be restarted
    bool restarting_ = false;                      // from a restart's command until the server is started again
    bool sessionEnding_ = false;                   // the exit's wait is the session's
    bool blocking_ = false;                        // Windows was told why the session's end waits
    bool ended_ = false;                           // the exit has ended the process (a test's recorder returns)
    static constexpr UINT_PTR kRestartTimer = 203; // 201 and 202 are the text's and the tray's
    bool sessionQueried_ = false;                  // Windows was told the session may end, and has not cancelled
    CrashRecovery recovery_;                       // when a crashed server is started again
    CWnd* settings_ = nullptr;                     // the settings window while it is open: one at a time
};
