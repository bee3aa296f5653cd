// The application object and its one message loop.
#pragma once
#include "Wnd.h"

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance();
    virtual int Run();
    virtual int ExitInstance();

    // Kept for the start-up order of older code; the system draws 3-D controls itself.
    BOOL Enable3dControls() { return TRUE; }
    // The help command: the main window's help hook.
    void OnHelp();

    CWnd* m_pMainWnd = nullptr;
    const char* m_pszAppName = nullptr; // heap copy, owned by the application
    HINSTANCE m_hInstance = nullptr;
    const char* m_lpCmdLine = ""; // the arguments, without the program's name

protected:
    // F1 goes to OnHelp; then the main window has its look (a dialog: its keyboard navigation).
    virtual BOOL PreTranslateMessage(MSG* msg);
};

CWinApp* AfxGetApp();
int AfxWinMain(HINSTANCE instance, LPSTR commandLine, int showCommand);
