#include "app/LauncherApp.h"

#include "app/ConsoleDialog.h"
#include "app/SingleInstance.h"

#include <commctrl.h>
#include <cstring>

BOOL LauncherApp::InitInstance()
{
    // One launcher per installation: another one of this home shows its console, this one ends (status 0).
    if (!ClaimInstallation()) return FALSE;

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
