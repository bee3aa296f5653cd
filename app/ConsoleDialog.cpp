#include "app/ConsoleDialog.h"

#include "app/ExitPlatform.h"
#include "app/SingleInstance.h"
#include "framework/User32.h"
#include "java/Settings.h"
#include "res/resource.h"
#include "ui/TrayZoom.h"

#include <initializer_list>

namespace {

// Ends the process at once, whatever its threads are doing: no destructor or exit routine runs, so
// nothing waits for a runner's thread, a child or a pipe, and no lock a killed thread held can stall
// the end. Nothing is lost: the settings and the marker file are written when they change, the tray
// icon is gone, and closing the jobs' handles with the process ends every child.
void EndProcessNow(int status) { TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status)); }

// Systems before Windows Vista have no block reasons.
BOOL CreateBlockReason(HWND window, LPCWSTR reason)
{
    auto create = User32Function<BOOL(WINAPI*)(HWND, LPCWSTR)>("ShutdownBlockReasonCreate");
    return create ? create(window, reason) : FALSE;
}

BOOL DestroyBlockReason(HWND window)
{
    auto destroy = User32Function<BOOL(WINAPI*)(HWND)>("ShutdownBlockReasonDestroy");
    return destroy ? destroy(window) : FALSE;
}

// At the end of the Windows session, whatever the stop timeout: Windows ends the process soon after.
constexpr DWORD kSessionEndMilliseconds = 5000;
// What an ended tree may take to be gone.
constexpr DWORD kTreeEndMilliseconds = 1000;
// What the output file's writer is given at least, after the children, for what is queued.
constexpr DWORD kLogDrainMilliseconds = 100;

} // namespace

ExitPlatform exitPlatform = { &EndProcessNow, &CreateBlockReason, &DestroyBlockReason };

// ---- Start and exit ----

ConsoleDialog::ConsoleDialog(CWnd* parent)
    : CDialog(IDD_CONSOLE, parent), mainIcon(nullptr), javaExePath(), homeDir(), markerPath(), serverReady(0),
      stopTimeout(kDefaultStopTimeout), tray(*this)
{
    mainIcon = tray.BigIcon(IDI_READY); // the tray owns the icons
    serverRunner.SetLog(&log_);
    initRunner.SetLog(&log_);
}

// The tray icon goes with its member, before the window.
ConsoleDialog::~ConsoleDialog()
{
    // Readers waiting for room in the console must not wait for a window that is going away.
    output_.Close();
}

void ConsoleDialog::CreateConsole()
{
    Create(IDD_CONSOLE, nullptr);
    PublishConsole(m_hWnd); // one launcher per installation: later starts bring this console forward
    TrayBusy();
    AppendConsoleText("Vantry is starting...\r\nPlease wait...\r\n");
    RunStartupSequence();
}

void ConsoleDialog::OnCancel() { ExitLauncher(); }

void ConsoleDialog::ExitLauncher() { EndLauncher(false); }

// Windows asked first, and was told yes at once without stopping anything: a log-off that the user
// or another program cancels must leave the server running. Only the end itself stops it, and it
// shortens an Exit's wait that is under way.
void ConsoleDialog::OnEndSession(BOOL ending)
{
    if (ending) EndLauncher(true);
}

// The window and the tray icon go at once; the process waits for its children up to the stop's
// deadline, then ends. A restart's stop that is under way goes on with its own deadline.
void ConsoleDialog::EndLauncher(bool sessionEnds)
{
    if (exiting_ && (!sessionEnds || sessionEnding_)) return; // one exit; the session's end may shorten it
    const bool beginning = !exiting_;
    if (beginning) {
        InstallationEnding(); // one launcher per installation: a start from now on waits for this one's end
        exiting_ = true;
        KillTimer(m_hWnd, kRestartTimer);
        if (settings_) ::EndDialog(settings_->m_hWnd, IDCANCEL); // what it holds is not stored
        ShowWindow(SW_HIDE);
        output_.Close(); // nothing more is shown; a reader waiting for room goes on and ends
        TrayRemove();
    }
    if (sessionEnds) {
        sessionEnding_ = true;
        // Windows shows the reason if the session's end has to wait for the server.
        blocking_ = exitPlatform.blockReasonCreate(m_hWnd, L"Vantry is stopping its server.");
    }
    if (beginning && !stop_.Begun()) stop_.Begin(&initRunner, serverRunner, serverRunning_, stopTimeout);
    if (sessionEnds) stop_.Shorten(kSessionEndMilliseconds);
    AwaitChildren();
    if (ended_) return; // the session's end came during the wait and has finished the exit
    stop_.EndWhatIsLeft();
    // Ended from outside, the tree goes within moments: no child is left behind the process.
    stop_.Extend(kTreeEndMilliseconds);
    AwaitChildren();
    if (ended_) return;
    // The process ends at once: what the readers have queued for the file goes to disk first.
    log_.Drain(stop_.Remaining() > kLogDrainMilliseconds ? stop_.Remaining() : kLogDrainMilliseconds);
    stop_.Finish();
    if (blocking_) exitPlatform.blockReasonDestroy(m_hWnd);
    ended_ = true;
    exitPlatform.endProcess(0);
}

// Until the children have ended or the deadline has passed. Sent messages are answered meanwhile: a
// program's broadcast must not hang on the launcher, and the end of the session comes so. Posted
// messages and input wait, never acted on: the user has gone.
void ConsoleDialog::AwaitChildren()
{
    for (HANDLE process : { stop_.Initialiser(), stop_.Server() }) {
        while (process && !ended_) {
            if (MsgWaitForMultipleObjects(1, &process, FALSE, stop_.Remaining(), QS_SENDMESSAGE) != WAIT_OBJECT_0 + 1)
                break; // ended, or the deadline
            MSG msg;
            PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
    }
}

// ---- Settings ----

void ConsoleDialog::LoadSettings()
{
    int hide = hideOnStartup.GetCheck();
    const int shown = hide;
    ReadSettings(hide, javaExePath, sizeof javaExePath, homeDir, sizeof homeDir, markerPath, sizeof markerPath);
    if (hide != shown) hideOnStartup.SetCheck(hide);
    log_.Open(homeDir, this); // the output's folder follows the home
    stopTimeout = ReadStopTimeout();
}

void ConsoleDialog::SaveJavaExe() { StoreJavaExe(javaExePath, sizeof javaExePath); }

void ConsoleDialog::SaveHideOnStartup() { StoreHideOnStartup(hideOnStartup.GetCheck() == 1); }

// ---- The tray ----

BOOL ConsoleDialog::NotifyTray(DWORD operation, UINT id, HICON icon, const char* tip)
{
    return tray.Notify(operation, id, icon, tip);
}
void ConsoleDialog::TrayBusy() { tray.Busy(); }
void ConsoleDialog::TrayReady() { tray.Ready(); }
void ConsoleDialog::TrayStopped() { tray.Stopped(); }
void ConsoleDialog::TrayRemove() { tray.Remove(); }
void ConsoleDialog::StartAnimation() { tray.StartAnimation(); }
void ConsoleDialog::StopAnimation() { tray.StopAnimation(); }
void ConsoleDialog::AdvanceAnimation() { tray.AdvanceAnimation(); }
void ConsoleDialog::OnTrayNotify(UINT mouseMessage) { tray.OnNotify(mouseMessage); }
void ConsoleDialog::ShowTrayMenu() { tray.ShowMenu(); }

// What the tray asks of the console.
void ConsoleDialog::OpenConsole() { ShowConsole(m_hWnd); }
void ConsoleDialog::OpenApplication() { serverRunner.OpenApplicationUrl(); }
bool ConsoleDialog::IsGotoEnabled() const { return gotoButton.IsWindowEnabled() != FALSE; }
bool ConsoleDialog::IsServerReady() const { return serverReady == 1; }
// While the server runs or after it has ended; not before it has started, nor during a restart or the exit.
bool ConsoleDialog::CanRestart() const { return serverStarted_ && !restarting_ && !exiting_; }
