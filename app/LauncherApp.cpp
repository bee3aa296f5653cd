#include "app/LauncherApp.h"

#include "app/ConsoleDialog.h"
#include "app/SingleInstance.h"

#include "app/CommandLine.h"
#include "java/Settings.h"

#include <commctrl.h>
#include <cstring>

namespace {
// What /exit allows the running launcher beyond its stop timeout: its window, Wine's or Windows' end
// of the process.
constexpr DWORD kExitGraceMilliseconds = 5000;
} // namespace

BOOL LauncherApp::InitInstance()
{
    const LaunchRequest request = ParseCommandLine(m_lpCmdLine);
    if (request == LaunchRequest::Exit) {
        exitCode_ = ExitInstallation(ReadStopTimeout() + kExitGraceMilliseconds);
        return FALSE;
    }
    // One launcher per installation: another one of this home shows its console (or restarts its
    // server), this one ends (status 0).
    if (!ClaimInstallation(request)) return FALSE;

    Enable3dControls();
    INITCOMMONCONTROLSEX controls = { sizeof controls, ICC_STANDARD_CLASSES };
    InitCommonControlsEx(&controls);

    ConsoleDialog dialog(nullptr);
    m_pMainWnd = &dialog;
    std::free(const_cast<char*>(m_pszAppName));
    m_pszAppName = _strdup("VtyWindow");
    dialog.CreateConsole();
    Run();
    // Only a quit message ends the loop; the console goes with this scope.
    m_pMainWnd = nullptr;
    return FALSE;
}

int LauncherApp::ExitInstance() { return exitCode_; }
