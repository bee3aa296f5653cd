#include "WinApp.h"

#include <cstdlib>

namespace {
CWinApp* theApplication = nullptr;
}

CWinApp::CWinApp() { theApplication = this; }

CWinApp::~CWinApp()
{
    std::free(const_cast<char*>(m_pszAppName));
    if (theApplication == this) theApplication = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::ExitInstance() { return 0; }

void CWinApp::OnHelp()
{
    if (m_pMainWnd) m_pMainWnd->WinHelp(0, HELP_CONTEXT);
}

BOOL CWinApp::PreTranslateMessage(MSG* msg)
{
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_F1) {
        OnHelp();
        return TRUE;
    }
    return m_pMainWnd && m_pMainWnd->PreTranslateMessage(msg);
}

int CWinApp::Run()
{
    MSG msg;
    for (;;) {
        BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) break;
        if (PreTranslateMessage(&msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}

CWinApp* AfxGetApp() { return theApplication; }

int AfxWinMain(HINSTANCE instance, LPSTR commandLine, int)
{
    CWinApp* app = AfxGetApp();
    if (!app) return -1;
    app->m_hInstance = instance;
    if (commandLine) app->m_lpCmdLine = commandLine;
    if (!app->InitInstance()) return app->ExitInstance();
    int code = app->Run();
    app->ExitInstance();
    return code;
}
