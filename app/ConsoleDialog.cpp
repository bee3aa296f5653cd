#include "app/ConsoleDialog.h"

#include "app/SingleInstance.h"

#include "framework/Text.h"
#include "res/resource.h"

namespace {

// Ends the process at once, whatever its threads are doing: no destructor or exit routine runs, so
// nothing waits for a runner's thread, a child or a pipe, and no lock a killed thread held can stall
// the end. Nothing is lost: the settings and the marker file are written when they change, the tray
// icon is gone, and closing the jobs' handles with the process ends every child.
void EndProcessNow(int status) { TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status)); }

} // namespace

void (*ConsoleDialog::endProcess)(int status) = &EndProcessNow;

ConsoleDialog::ConsoleDialog(CWnd* parent)
    : CDialog(IDD_CONSOLE, parent), mainIcon(nullptr), javaExePath(), homeDir(), markerPath(), serverReady(0),
      animFrame(-1), trayTip(), busyIcons()
{
    CopyText(trayTip, "Vantry");
    HINSTANCE instance = AfxGetResourceHandle();
    mainIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_READY));
    busyIcons[0] = LoadIconA(instance, MAKEINTRESOURCEA(IDI_BUSY1));
    busyIcons[1] = LoadIconA(instance, MAKEINTRESOURCEA(IDI_BUSY2));
    busyIcons[2] = LoadIconA(instance, MAKEINTRESOURCEA(IDI_BUSY3));
}

ConsoleDialog::~ConsoleDialog()
{
    // Readers waiting for room in the console must not wait for a window that is going away.
    output.Close();
    if (m_hWnd) {
        StopAnimation();
        if (trayShown) NotifyTray(NIM_DELETE, 1, nullptr, nullptr);
    }
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
    exiting = true;
    ShowWindow(SW_HIDE);
    output.Close(); // nothing more is shown; a reader waiting for room goes on and ends
    TrayRemove();
    initRunner.Stop();
    serverRunner.Stop();
    Sleep(1500);
    endProcess(0);
}
