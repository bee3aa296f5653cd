#include "app/ConsoleDialog.h"

#include "app/SingleInstance.h"

#include "framework/Text.h"
#include "res/resource.h"

#include <cstdlib>

void (*ConsoleDialog::endProcess)(int status) = &std::exit;

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
