#include "app/ConsoleDialog.h"

#include "app/ExitPlatform.h"
#include "java/Settings.h"
#include "res/resource.h"
#include "ui/TrayZoom.h"

#include <cstdlib>

ExitPlatform exitPlatform = { &std::exit };

// ---- Start and exit ----

ConsoleDialog::ConsoleDialog(CWnd* parent)
    : CDialog(IDD_CONSOLE, parent), mainIcon(nullptr), javaExePath(), homeDir(), markerPath(), serverReady(0),
      tray(*this)
{
    mainIcon = LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDI_READY));
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
    TrayBusy();
    AppendConsoleText("Vantry is starting...\r\nPlease wait...\r\n");
    RunStartupSequence();
}

void ConsoleDialog::OnCancel() { ExitLauncher(); }

void ConsoleDialog::ExitLauncher()
{
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
