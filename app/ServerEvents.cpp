// The server's life as it reaches the console window: start, readiness and end.
#include "app/ConsoleDialog.h"

#include "app/SingleInstance.h"
#include "ui/Messages.h"
#include "framework/Text.h"
#include "java/Settings.h"
#include "process/JavaCommandLine.h"

#include <cstdio>
#include <fcntl.h>
#include <string>
#include <io.h>
#include <sys/stat.h>

BOOL ConsoleDialog::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    // Once the exit has begun no command acts: the user has gone, and the exit may be waiting.
    if (exiting_ && message == WM_COMMAND) return FALSE;
    switch (message) {
    case WM_TIMER:
        // The console's flushes and a restart have timers of their own, which must not hurry the animation.
        if (wParam == ConsoleOutput::kFlushTimer) output_.Flush();
        else if (wParam == TrayIcon::ADD_TIMER_ID) tray.OnAdd();
        else if (wParam == kRestartTimer) ContinueRestart();
        else if (wParam == kRecoveryTimer) OnRecoveryTimer();
        else AdvanceAnimation();
        break;
    case WM_TRAY_NOTIFY: OnTrayNotify(static_cast<UINT>(lParam)); break;
    case WM_START_SERVER: OnStartServer(); break;
    case WM_SERVER_ENDED: OnServerEnded(); break;
    case WM_SERVER_READY: OnServerReady(); break;
    case WM_CONSOLE_FLUSH: output_.Flush(); break;
    case WM_TRAY_ADD: tray.OnAdd(); break;
    // The default processing says yes at once; until the end comes or is cancelled, a crashed server
    // is not started again.
    case WM_QUERYENDSESSION: sessionQueried_ = true; break;
    case WM_ENDSESSION:
        sessionQueried_ = wParam != FALSE;
        OnEndSession(static_cast<BOOL>(wParam));
        break;
    default:
        tray.OnBroadcast(message);
        // One launcher per installation: a later start's request, answered when the console was shown.
        if (LRESULT shown = OnInstanceMessage(m_hWnd, message, wParam)) {
            if (pResult) *pResult = shown;
            return TRUE;
        }
        break;
    }
    // The message map and the default processing see every message, these included.
    return CDialog::OnWndMsg(message, wParam, lParam, pResult);
}

void ConsoleDialog::OnStartServer()
{
    // The initialiser's end may still be queued when the launcher is ending: no server then.
    if (exiting_) return;
    CopyText(sharedHomeDir, homeDir);
    javadocButton.EnableWindow(TRUE);
    serverRunner.SetNotify(this, WM_SERVER_ENDED);
    LaunchServer();
}

void ConsoleDialog::LaunchServer()
{
    serverStarted_ = true;
    // Read at each start: a change made in the settings window applies at the next one.
    const std::string options = ReadJavaOptions();
    if (serverRunner.Launch(this, javaExePath, options.c_str())) serverRunning_ = true;
    else ReportLaunchFailure("the server", options.c_str());
}

// The console and the tray stay while the server is stopped: the window answers, the tray animates.
// A stop the user asked for is not told in a balloon, and the old server's end is not reported.
void ConsoleDialog::RestartServer()
{
    if (!CanRestart()) return; // a menu opened before the state changed
    restarting_ = true;
    // Asked for by the user: a crashed server's pending start is this one, and crashes count anew.
    ::KillTimer(m_hWnd, kRecoveryTimer);
    recovery_.Reset();
    AppendConsoleText("\r\nRestarting Vantry...\r\n");
    if (GetFocus() == gotoButton.m_hWnd) SendMessage(WM_NEXTDLGCTL, 0, FALSE);
    gotoButton.EnableWindow(FALSE);
    serverReady = 0;
    TrayBusy();
    if (!serverRunning_) {
        ContinueRestart();
        return;
    }
    stop_.Begin(nullptr, serverRunner, true, stopTimeout);
    SetTimer(m_hWnd, kRestartTimer, stop_.Remaining(), nullptr); // the deadline
}

// The restart's next step: at its deadline, and when the stopped server has ended.
void ConsoleDialog::ContinueRestart()
{
    KillTimer(m_hWnd, kRestartTimer);
    if (!restarting_ || exiting_) return;
    if (serverRunning_) {
        stop_.EndWhatIsLeft(); // its end message follows
        return;
    }
    stop_.Finish();
    // The runner finishes with the old server just after its end message.
    if (!serverRunner.IsIdle()) {
        SetTimer(m_hWnd, kRestartTimer, USER_TIMER_MINIMUM, nullptr);
        return;
    }
    restarting_ = false;
    LaunchServer();
}

void ConsoleDialog::PostServerReady() { PostMessage(WM_SERVER_READY, 0, 0); }

void ConsoleDialog::OnServerReady()
{
    // Posted just before the server ended, or by one that a restart stops: a dead server is never ready.
    if (!serverRunning_ || restarting_) return;
    // Its presence tells later starts that the initialiser has run. Made first: the tray's call below
    // waits for the shell, and meanwhile an Exit sent to the window can end the process.
    int marker = _creat(markerPath, _S_IWRITE);
    if (marker != -1) _close(marker);
    gotoButton.EnableWindow(TRUE);
    gotoButton.SetFocus();
    TrayReady();
    if (serverReady != 1) TellHidden("Vantry is ready.", serverRunner.ApplicationUrl().c_str());
    serverReady = 1;
}

void ConsoleDialog::OnServerEnded()
{
    serverRunning_ = false;
    if (restarting_) {
        ContinueRestart();
        return;
    }
    TrayStopped();
    const DWORD restartDelay = RecoveryDelay();
    TellServerEnd(restartDelay);
    // A taken port is named, with the program that holds it when the system can tell.
    std::string takenPort = serverRunner.TakenPortReport();
    if (!takenPort.empty()) AppendConsoleText(takenPort.c_str());
    AppendConsoleText("\r\nVantry has been terminated.\r\n");
    ReportRecovery(restartDelay);
    // A disabled button cannot keep the focus: hand it on, or the keyboard would reach nothing.
    if (GetFocus() == gotoButton.m_hWnd) SendMessage(WM_NEXTDLGCTL, 0, FALSE);
    gotoButton.EnableWindow(FALSE);
    serverReady = 0;
}

// The user of a hidden console learns from a balloon what changed; one who sees the console, or has
// asked for the end, needs none.
void ConsoleDialog::TellHidden(const char* line, const char* nextLine)
{
    if (exiting_ || IsWindowVisible()) return;
    tray.ShowBalloon(line, nextLine);
}

// How long until a server that ended by itself is started again; 0 when it stays stopped.
DWORD ConsoleDialog::RecoveryDelay()
{
    CrashRecovery::End end;
    end.enabled = ReadRestartOnFailure();
    end.byItself = serverRunner.ExitCode(end.exitCode);
    end.portTaken = serverRunner.PortTaken();
    end.exiting = exiting_;
    end.sessionEnding = sessionQueried_;
    const DWORD delay = recovery_.OnServerEnd(end, GetTickCount());
    if (delay) ::SetTimer(m_hWnd, kRecoveryTimer, delay, nullptr);
    return delay;
}

void ConsoleDialog::ReportRecovery(DWORD restartDelay)
{
    if (!restartDelay && !recovery_.GaveUp()) return;
    DWORD code = 0;
    serverRunner.ExitCode(code);
    char line[160];
    char ended[64];
    FormatExitCode(ended, sizeof ended, code);
    if (restartDelay)
        std::snprintf(line, sizeof line, "%s Restarting in %lu s (%d of %d)...\r\n", ended,
                      static_cast<unsigned long>(restartDelay / 1000), recovery_.RestartNumber(),
                      CrashRecovery::kMaxRestarts);
    else
        std::snprintf(line, sizeof line, "%s It was restarted %d times within 10 minutes and stays stopped.\r\n", ended,
                      CrashRecovery::kMaxRestarts);
    AppendConsoleText(line);
}

// The crashed server's second chance: the server alone, the initialiser has run.
void ConsoleDialog::OnRecoveryTimer()
{
    ::KillTimer(m_hWnd, kRecoveryTimer);
    if (exiting_ || sessionQueried_ || serverRunning_ || restarting_) return;
    TrayBusy();
    LaunchServer();
}

// An end the launcher asked for itself is told only when a taken port was the cause.
void ConsoleDialog::TellServerEnd(DWORD restartDelay)
{
    int port = serverRunner.TakenPort();
    DWORD code = 0;
    bool byItself = serverRunner.ExitCode(code);
    if (port < 0 && !byItself) return;
    char reason[64] = "";
    if (port > 0) std::snprintf(reason, sizeof reason, "Port %d is in use.", port);
    else if (restartDelay)
        std::snprintf(reason, sizeof reason, "Restarting in %lu s.", static_cast<unsigned long>(restartDelay / 1000));
    else if (port < 0 && code != 0) FormatExitCode(reason, sizeof reason, code);
    TellHidden("Vantry has stopped.", reason);
}

// Windows' status codes (a crash is 0xC0000005) are known by their hexadecimal form.
void ConsoleDialog::FormatExitCode(char* text, size_t size, DWORD code)
{
    std::snprintf(text, size,
                  code >= 0x80000000u ? "The server ended with exit code 0x%08lX."
                                      : "The server ended with exit code %lu.",
                  static_cast<unsigned long>(code));
}

// A Java program that could not be started would otherwise leave the tray busy for ever. Options that
// do not fit are named: started without them, it would not be the program the user asked for.
void ConsoleDialog::ReportLaunchFailure(const char* what, const char* options)
{
    std::string line = std::string("\r\nCould not start ") + what + " with " + javaExePath + "\r\n";
    if (!JavaOptionsFit(options, homeDir) && JavaOptionsFit("", homeDir))
        line = std::string("\r\nThe Java options (JavaOptions) are too long for the command line: ") + what +
               " is not started.\r\n";
    AppendConsoleText(line.c_str());
    TrayStopped();
}
