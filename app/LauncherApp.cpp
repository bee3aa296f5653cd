#include "app/LauncherApp.h"

#include "app/ConsoleDialog.h"

#include <commctrl.h>
#include <cstring>

BOOL LauncherApp::InitInstance()
{
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
