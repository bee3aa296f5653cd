// The application object: creates the console and runs the one message loop.
#pragma once
#include "framework/WinApp.h"

class LauncherApp : public CWinApp {
public:
    BOOL InitInstance() override;
};
