#include "app/ConsoleDialog.h"

#include "app/ExitPlatform.h"
#include "app/SingleInstance.h"
#include "java/Settings.h"
#include "res/resource.h"
#include "ui/TrayZoom.h"

namespace {

// Ends the process at once, whatever its threads are doing: no destructor or exit routine runs, so
// nothing waits for a runner's thread, a child or a pipe, and no lock a killed thread held can stall
// the end. Nothing is lost: the settings and the marker file are written when they change, the tray
// icon is gone, and closing the jobs' handles with the process ends every child.
void EndProcessNow(int status) { TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status)); }

} // namespace

ExitPlatform exitPlatform = { &EndProcessNow };

// ---- Start and exit ----

ConsoleDialog::ConsoleDialog(CWnd* parent)
    : CDialog(IDD_CONSOLE, parent), mainIcon(nullptr), javaExePath(), homeDir(), markerPath(), serverReady(0),
      tray(*this)
{
    mainIcon = tray.BigIcon(IDI_READY); // the tray owns the icons
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

void ConsoleDialog::ExitLauncher()
{
    InstallationEnding(); // one launcher per installation: a start from now on waits for this one's end
    exiting_ = true;
    ShowWindow(SW_HIDE);
    output_.Close(); // nothing more is shown; a reader waiting for room goes on and ends
    TrayRemove();
    initRunner.Stop();
    serverRunner.Stop();
    Sleep(1500);
    exitPlatform.endProcess(0);
}

// ---- Settings ----

void ConsoleDialog::LoadSettings()
{
    int hide = hideOnStartup.GetCheck();
    const int shown = hide;
    ReadSettings(hide, javaExePath, sizeof javaExePath, homeDir, sizeof homeDir, markerPath, sizeof markerPath);
    if (hide != shown) hideOnStartup.SetCheck(hide);
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
