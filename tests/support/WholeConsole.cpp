#include "support/WholeConsole.h"

#include "framework/Paths.h"
#include "framework/Text.h"
#include "res/resource.h"
#include "support/TestSupport.h"

bool AdoptRunners(ConsoleDialog& dialog)
{
    CopyText(sharedHomeDir, TestBinDir().c_str());
    bool launched = dialog.serverRunner.Launch(&dialog, TestChildPath().c_str()) == 1 &&
                    dialog.initRunner.Launch(&dialog, TestChildPath().c_str(), TestBinDir().c_str()) == 1;
    bool ended =
        launched && WaitUntil([&] { return dialog.serverRunner.IsIdle() && dialog.initRunner.IsIdle(); }, 10000);
    sharedHomeDir[0] = '\0';
    return ended;
}

void EndConsole(ConsoleDialog& dialog, DWORD waitMilliseconds)
{
    dialog.initRunner.Stop();
    dialog.serverRunner.Stop();
    WaitUntil([&] { return dialog.initRunner.IsIdle() && dialog.serverRunner.IsIdle(); }, waitMilliseconds);
    if (dialog.m_hWnd) dialog.TrayRemove();
    sharedHomeDir[0] = '\0';
}

bool ServingConsole::Serve(const std::string& home)
{
    if (!dialog.Create(IDD_CONSOLE, nullptr)) return false;
    CopyText(dialog.javaExePath, StandinJavaPath().c_str());
    CopyText(dialog.homeDir, home.c_str());
    CopyText(dialog.markerPath, (home + "\\config\\first.sav").c_str());
    dialog.OnStartServer();
    return WaitUntil([&] { return dialog.serverReady == 1; }, 30000);
}
