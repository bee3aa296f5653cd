// The application object: creates the console and runs the one message loop.
#pragma once
#include "framework/WinApp.h"

class LauncherApp : public CWinApp {
public:
    BOOL InitInstance() override;
    int ExitInstance() override;

private:
    int exitCode_ = 0; // of a start that ends at once (/exit)
};
