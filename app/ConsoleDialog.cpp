#include "app/ConsoleDialog.h"

#include "app/ExitPlatform.h"
#include "app/SingleInstance.h"
#include "framework/User32.h"
#include "java/Settings.h"
#include "process/StopCommand.h"
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

// The longest the exit waits for its children: what a user has always waited for at Exit.
constexpr DWORD kExitWaitMilliseconds = 1500;
// What the output file's writer is given at least, after the children, for what is queued.
constexpr DWORD kLogDrainMilliseconds = 100;

// A runner's child, held from the start of the exit so that its id cannot be reused while the exit
// waits for it; none when the runner has no child.
Handle OpenChild(DWORD processId)
{
    if (processId == static_cast<DWORD>(-1)) return Handle();
    return Handle(OpenProcess(SYNCHRONIZE, FALSE, processId));
}

// Waits until each process has ended or the deadline (a tick count) has passed.
void WaitForEnd(std::initializer_list<HANDLE> processes, DWORD deadline)
{
    for (HANDLE process : processes) {
        if (!process) continue;
        const DWORD now = GetTickCount();
        const DWORD left = static_cast<LONG>(deadline - now) > 0 ? deadline - now : 0;
        WaitForSingleObject(process, left);
    }
}

} // namespace

ExitPlatform exitPlatform = { &EndProcessNow, &CreateBlockReason, &DestroyBlockReason };

// ---- Start and exit ----

ConsoleDialog::ConsoleDialog(CWnd* parent)
    : CDialog(IDD_CONSOLE, parent), mainIcon(nullptr), javaExePath(), homeDir(), markerPath(), serverReady(0),
      tray(*this)
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
// or another program cancels must leave the server running. Only the end itself stops it.
void ConsoleDialog::OnEndSession(BOOL ending)
{
    if (ending && !exiting_) EndLauncher(true);
}

void ConsoleDialog::EndLauncher(bool sessionEnds)
{
    InstallationEnding(); // one launcher per installation: a start from now on waits for this one's end
    exiting_ = true;
    const DWORD deadline = GetTickCount() + kExitWaitMilliseconds;
    ShowWindow(SW_HIDE);
    output_.Close(); // nothing more is shown; a reader waiting for room goes on and ends
    TrayRemove();
    // Windows shows the reason if the session's end has to wait for the server.
    const bool blocking = sessionEnds && exitPlatform.blockReasonCreate(m_hWnd, L"Vantry is stopping its server.");
    StopChildren(deadline);
    // The process ends at once: what the readers have queued for the file goes to disk first.
    const LONG left = static_cast<LONG>(deadline - GetTickCount());
    log_.Drain(left > static_cast<LONG>(kLogDrainMilliseconds) ? static_cast<DWORD>(left) : kLogDrainMilliseconds);
    if (blocking) exitPlatform.blockReasonDestroy(m_hWnd);
    exitPlatform.endProcess(0);
}

// A running server is asked to stop by its own command and given until the deadline to shut down
// cleanly (ending it at once could lose the application's writes in flight); whatever is left then
// is ended with its tree. The initialiser is ended at once. The wait ends as soon as the children have.
void ConsoleDialog::StopChildren(DWORD deadline)
{
    Handle init = OpenChild(initRunner.ProcessId()), server = OpenChild(serverRunner.ProcessId());
    initRunner.Stop();
    StopCommand stopCommand; // ended with this call, if it is still running: it is not waited for
    // Not after a taken port: the command would reach the other server, which holds the port.
    if (server && serverRunning_ && !serverRunner.PortTaken()) {
        stopCommand.Start(javaExePath, sharedHomeDir); // one that cannot start leaves the server to the deadline
        WaitForEnd({ server.Get() }, deadline);
    }
    serverRunner.Stop();
    WaitForEnd({ init.Get(), server.Get() }, deadline);
}

// ---- Settings ----

void ConsoleDialog::LoadSettings()
{
    int hide = hideOnStartup.GetCheck();
    const int shown = hide;
    ReadSettings(hide, javaExePath, sizeof javaExePath, homeDir, sizeof homeDir, markerPath, sizeof markerPath);
    if (hide != shown) hideOnStartup.SetCheck(hide);
    log_.Open(homeDir, this); // the output's folder follows the home
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
