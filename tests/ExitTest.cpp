// The exit procedure, in-process and on the real program.
#include "app/ConsoleDialog.h"
#include "ui/TrayPlatform.h"
#include "app/ExitPlatform.h"
#include "ui/Messages.h"
#include "framework/Text.h"
#include "res/resource.h"
#include "support/Installation.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

int exitCalls = 0;
int exitStatus = -1;
void RecordExit(int status)
{
    ++exitCalls;
    exitStatus = status;
}

HANDLE Watch(DWORD processId) { return OpenProcess(SYNCHRONIZE, FALSE, processId); }

std::vector<DWORD> trayOperations;
BOOL WINAPI RecordTray(DWORD operation, PNOTIFYICONDATAA data)
{
    if (data->uID == 1) trayOperations.push_back(operation);
    return TRUE;
}

TEST(ExitLauncher, HidesRemovesTheTrayIconEndsBothChildrenDuringTheWaitAndExitsWithZero)
{
    exitCalls = 0;
    trayOperations.clear();
    ScopedOverride ending(exitPlatform.endProcess, &RecordExit);
    ScopedOverride tray(trayPlatform.notifyIcon, &RecordTray);
    ConsoleDialog dialog;
    ASSERT_TRUE(dialog.Create(IDD_CONSOLE, nullptr));
    dialog.TrayBusy();
    dialog.ShowWindow(SW_SHOW);
    ASSERT_TRUE(WaitUntil([] { return !trayOperations.empty(); }, 5000)); // the icon is in the tray

    std::string initLine = "test_child.exe sleep:60000", serverLine = "test_child.exe out:serving sleep:60000";
    ASSERT_EQ(1, dialog.initRunner.Start(TestChildPath().c_str(), &initLine[0], TestBinDir().c_str(), SW_HIDE, 1));
    ASSERT_EQ(1, dialog.serverRunner.Start(TestChildPath().c_str(), &serverLine[0], TestBinDir().c_str(), SW_HIDE, 1));
    HANDLE init = Watch(dialog.initRunner.ProcessId()), server = Watch(dialog.serverRunner.ProcessId());
    ASSERT_TRUE(init && server);

    DWORD start = GetTickCount();
    dialog.ExitLauncher();
    DWORD elapsed = GetTickCount() - start;

    EXPECT_EQ(1, exitCalls);
    EXPECT_EQ(0, exitStatus);
    EXPECT_GE(elapsed, 1450u);
    EXPECT_FALSE(dialog.IsWindowVisible());
    EXPECT_EQ(-1, dialog.tray.animFrame);
    EXPECT_EQ(static_cast<DWORD>(NIM_DELETE), trayOperations.back());
    // Both children were ended while the launcher waited.
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(init, 0));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(server, 0));
    CloseHandle(init);
    CloseHandle(server);
}

TEST(ExitLauncher, ExitWithNoChildStillWaitsAndEndsWithZero)
{
    exitCalls = 0;
    ScopedOverride ending(exitPlatform.endProcess, &RecordExit);
    ConsoleDialog dialog;
    ASSERT_TRUE(dialog.Create(IDD_CONSOLE, nullptr));
    DWORD start = GetTickCount();
    dialog.ExitLauncher();
    EXPECT_GE(GetTickCount() - start, 1450u);
    EXPECT_EQ(1, exitCalls);
    EXPECT_EQ(0, exitStatus);
}

// The initialiser's end, which would start the server, comes during the wait: the server never starts.
TEST(ExitLauncher, ExitWhileTheInitialiserRunsNeverStartsTheServer)
{
    exitCalls = 0;
    ScopedOverride ending(exitPlatform.endProcess, &RecordExit);
    sharedHomeDir[0] = '\0';
    ConsoleDialog dialog;
    ASSERT_TRUE(dialog.Create(IDD_CONSOLE, nullptr));
    CopyText(dialog.homeDir, TestBinDir().c_str());
    CopyText(dialog.javaExePath, TestChildPath().c_str());
    SetEnvironmentVariableA("VANTRY_TEST_STEPS", "sleep:60000");
    dialog.initRunner.SetNotify(&dialog, WM_START_SERVER);
    ASSERT_EQ(1, dialog.initRunner.Launch(&dialog, dialog.javaExePath, dialog.homeDir));
    dialog.ExitLauncher();
    EXPECT_EQ(1, exitCalls);
    // Whatever is still queued for the console is handled, as a loop would if the process went on.
    PumpFor(kRunnerDrainMilliseconds + 500);
    EXPECT_TRUE(dialog.serverRunner.IsIdle());
    EXPECT_EQ(static_cast<DWORD>(-1), dialog.serverRunner.ProcessId());
    EXPECT_FALSE(dialog.javadocButton.IsWindowEnabled());
    SetEnvironmentVariableA("VANTRY_TEST_STEPS", nullptr);
    sharedHomeDir[0] = '\0';
}

// The real program: its console's Exit command ends it with status 0 after its wait.
TEST(ExitLauncher, ProgramEndsWithStatusZeroAboutOneAndAHalfSecondsAfterExit)
{
    RunningLauncher launcher;
    ASSERT_TRUE(launcher.Start(BuildDir() + "\\Vantry.exe", BuildDir()));
    HWND console = launcher.Console(30000);
    ASSERT_NE(nullptr, console);
    PumpFor(500);
    DWORD start = GetTickCount();
    PostMessageA(console, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(0u, launcher.WaitForExit(30000));
    DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 1450u);
    // Generous: the machine may be slow, but the program itself waits only 1500 ms.
    EXPECT_LT(elapsed, 15000u);
}

} // namespace
