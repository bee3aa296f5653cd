// The exit procedure, in-process and on the real program.
#include "app/ConsoleDialog.h"
#include "ui/TrayPlatform.h"
#include "app/ExitPlatform.h"
#include "ui/Messages.h"
#include "framework/Text.h"
#include "res/resource.h"
#include "support/Installation.h"
#include "support/TestSupport.h"
#include "support/WholeConsole.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

int exitCalls = 0;
int exitStatus = -1;
// What the tests watch at the moment the launcher would end its process.
std::vector<HANDLE> watchedAtExit;
bool allEndedAtExit = false;
void RecordExit(int status)
{
    ++exitCalls;
    exitStatus = status;
    allEndedAtExit = true;
    for (HANDLE process : watchedAtExit) allEndedAtExit = allEndedAtExit && WaitForSingleObject(process, 0) == 0;
}

HANDLE Watch(DWORD processId) { return OpenProcess(SYNCHRONIZE, FALSE, processId); }

std::vector<DWORD> trayOperations;
BOOL WINAPI RecordTray(DWORD operation, PNOTIFYICONDATAA data)
{
    if (data->uID == 1) trayOperations.push_back(operation);
    return TRUE;
}

// Both children are ended at once (neither is a server that its command could stop: the server
// runner was started directly), and the process ends as soon as they have, before the 1500 ms.
TEST(ExitLauncher, HidesRemovesTheTrayIconEndsBothChildrenAndExitsWithZeroAsSoonAsTheyHaveEnded)
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
    watchedAtExit = { init, server };

    DWORD start = GetTickCount();
    dialog.ExitLauncher();
    DWORD elapsed = GetTickCount() - start;

    EXPECT_EQ(1, exitCalls);
    EXPECT_EQ(0, exitStatus);
    EXPECT_TRUE(allEndedAtExit) << "the process would have ended before its children";
    EXPECT_LT(elapsed, 1500u) << "the exit waited for children that had ended";
    EXPECT_FALSE(dialog.IsWindowVisible());
    EXPECT_EQ(-1, dialog.tray.animFrame);
    EXPECT_EQ(static_cast<DWORD>(NIM_DELETE), trayOperations.back());
    watchedAtExit.clear();
    CloseHandle(init);
    CloseHandle(server);
}

TEST(ExitLauncher, ExitWithNoChildEndsAtOnceWithZero)
{
    exitCalls = 0;
    ScopedOverride ending(exitPlatform.endProcess, &RecordExit);
    ConsoleDialog dialog;
    ASSERT_TRUE(dialog.Create(IDD_CONSOLE, nullptr));
    DWORD start = GetTickCount();
    dialog.ExitLauncher();
    EXPECT_LT(GetTickCount() - start, 1500u);
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
    DWORD start = GetTickCount();
    dialog.ExitLauncher();
    EXPECT_EQ(1, exitCalls);
    // Ended as soon as the initialiser was: no server was there to be given time to stop.
    EXPECT_LT(GetTickCount() - start, 1500u);
    // Whatever is still queued for the console is handled, as a loop would if the process went on.
    PumpFor(kRunnerDrainMilliseconds + 500);
    EXPECT_TRUE(dialog.serverRunner.IsIdle());
    EXPECT_EQ(static_cast<DWORD>(-1), dialog.serverRunner.ProcessId());
    EXPECT_FALSE(dialog.javadocButton.IsWindowEnabled());
    SetEnvironmentVariableA("VANTRY_TEST_STEPS", nullptr);
    sharedHomeDir[0] = '\0';
}

// The real program: its console's Exit command ends it with status 0.
TEST(ExitLauncher, ProgramEndsWithStatusZeroAfterExit)
{
    RunningLauncher launcher;
    ASSERT_TRUE(launcher.Start(BuildDir() + "\\Vantry.exe", BuildDir()));
    HWND console = launcher.Console(30000);
    ASSERT_NE(nullptr, console);
    PumpFor(500);
    DWORD start = GetTickCount();
    PostMessageA(console, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(0u, launcher.WaitForExit(30000));
    // Generous: the machine may be slow, but the program itself waits 1500 ms at most.
    EXPECT_LT(GetTickCount() - start, 15000u);
}

// --- A running server is asked to stop by its own command before anything is ended ----------------

// The stand-in's Tomcat answers its stop command: it records each request (and the working directory
// it came from) in tomcat\stop-requests.txt, shuts down cleanly and records that in tomcat\clean-stop.txt.
class ServerStop : public ::testing::Test {
protected:
    void SetUp() override
    {
        exitCalls = 0;
        events.clear();
        sharedHomeDir[0] = '\0';
        ASSERT_TRUE(dialog.Create(IDD_CONSOLE, nullptr));
        CopyText(dialog.javaExePath, StandinJavaPath().c_str());
        port = FreeLoopbackPort();
        home = MakeServerHome("exit-stop", port);
        CopyText(dialog.homeDir, home.c_str());
        CopyText(dialog.markerPath, (home + "\\config\\vty3.2.sav").c_str());
    }
    void TearDown() override
    {
        watchedAtExit.clear();
        EndConsole(dialog);
    }
    // Started as the launcher starts it, and ready.
    void StartServer()
    {
        dialog.OnStartServer();
        ASSERT_TRUE(WaitUntil([&] { return dialog.serverReady == 1; }, 30000)) << Text();
        server.Reset(OpenProcess(SYNCHRONIZE, FALSE, dialog.serverRunner.ProcessId()));
        ASSERT_TRUE(server);
        watchedAtExit = { server.Get() };
    }
    // Milliseconds from the start of the exit until the launcher would have ended its process.
    DWORD Exit()
    {
        DWORD start = GetTickCount();
        dialog.ExitLauncher();
        return GetTickCount() - start;
    }
    std::string Tomcat(const char* file) const { return ReadWholeFile(home + "\\tomcat\\" + file); }
    std::string Text() { return dialog.console.GetWindowText(); }
    bool ServerEnded() const { return WaitForSingleObject(server.Get(), 10000) == WAIT_OBJECT_0; }

    static BOOL RecordBlockCreate(HWND, LPCWSTR reason)
    {
        events.push_back(std::string("block ") + (reason && *reason ? "with a reason" : "without a reason") +
                         (WaitForSingleObject(watchedAtExit.front(), 0) == 0 ? ", server ended" : ", server running"));
        return TRUE;
    }
    static BOOL RecordBlockDestroy(HWND)
    {
        events.push_back(std::string("unblock") + (exitCalls ? " after the end" : ""));
        return TRUE;
    }

    static std::vector<std::string> events;
    ScopedOverride<decltype(exitPlatform.endProcess)> ending{ exitPlatform.endProcess, &RecordExit };
    ScopedOverride<decltype(exitPlatform.blockReasonCreate)> block{ exitPlatform.blockReasonCreate,
                                                                    &RecordBlockCreate };
    ScopedOverride<decltype(exitPlatform.blockReasonDestroy)> unblock{ exitPlatform.blockReasonDestroy,
                                                                       &RecordBlockDestroy };
    ConsoleDialog dialog;
    int port = 0;
    std::string home;
    Handle server;
};
std::vector<std::string> ServerStop::events;

// Measured, not raced: the stand-in stops in a few tens of milliseconds, so the end comes long
// before the deadline, and only a launcher that waited it out, or ended the server, would miss it.
TEST_F(ServerStop, AServerThatStopsItselfEndsCleanlyAndTheLauncherEndsRightAfterIt)
{
    ASSERT_NO_FATAL_FAILURE(StartServer());
    std::string shown = Text();
    DWORD elapsed = Exit();
    EXPECT_EQ(1, exitCalls);
    EXPECT_EQ(0, exitStatus);
    EXPECT_TRUE(allEndedAtExit) << "the process would have ended before its server";
    EXPECT_EQ("stopped cleanly\r\n", Tomcat("clean-stop.txt")) << "the server was ended, not stopped";
    EXPECT_LT(elapsed, 1500u) << "the exit waited out its deadline";
    // One command, started in the server's working directory.
    EXPECT_EQ("stop from " + home + "\r\n", Tomcat("stop-requests.txt"));
    PumpFor(300);
    EXPECT_EQ(shown, Text()) << "the server's last words or its end were shown to a user who has gone";
    EXPECT_TRUE(events.empty()) << "an Exit is no end of the session";
    std::printf("    a server that stops itself: the launcher ended %lu ms after Exit\n",
                static_cast<unsigned long>(elapsed));
}

TEST_F(ServerStop, AServerDeafToItsStopCommandIsEndedAtTheDeadline)
{
    WriteWholeFile(home + "\\tomcat\\conf\\vantry-deaf.txt", "");
    ASSERT_NO_FATAL_FAILURE(StartServer());
    DWORD elapsed = Exit();
    EXPECT_EQ(1, exitCalls);
    EXPECT_EQ(0, exitStatus);
    EXPECT_GE(elapsed, 1450u) << "the server was not given its time to stop";
    EXPECT_LT(elapsed, 2000u);
    EXPECT_EQ("stop from " + home + "\r\n", Tomcat("stop-requests.txt"));
    EXPECT_TRUE(ServerEnded()) << "the deaf server outlived the exit";
    EXPECT_EQ("", Tomcat("clean-stop.txt"));
}

// java.exe has gone since the server started: its stop command cannot start. Nothing is said about it.
TEST_F(ServerStop, AStopCommandThatCannotStartLeavesTheServerToTheDeadlineAndNothingIsShown)
{
    ASSERT_NO_FATAL_FAILURE(StartServer());
    CopyText(dialog.javaExePath, (home + "\\removed\\java.exe").c_str());
    std::string shown = Text();
    DWORD elapsed = Exit();
    EXPECT_EQ(1, exitCalls);
    EXPECT_EQ(0, exitStatus);
    EXPECT_GE(elapsed, 1450u);
    EXPECT_LT(elapsed, 2000u);
    EXPECT_TRUE(ServerEnded());
    EXPECT_FALSE(PathExists(home + "\\tomcat\\stop-requests.txt"));
    PumpFor(300);
    EXPECT_EQ(shown, Text());
}

// The server found its port taken: a stop command would reach the other server, which holds that
// port, and has the same home here. Exit comes before the launcher has seen its server's end.
TEST_F(ServerStop, AfterATakenPortNoStopCommandRunsAndTheOtherServerGoesOn)
{
    ServingConsole first;
    ASSERT_TRUE(first.Serve(home));

    dialog.OnStartServer();
    // Exit as soon as the marker is seen, while the runner is still ending the server: watched without
    // a pause and without pumping, so that the server's end waits in the queue.
    for (DWORD start = GetTickCount(); !dialog.serverRunner.PortTaken() && GetTickCount() - start < 30000;) {}
    ASSERT_TRUE(dialog.serverRunner.PortTaken());
    Exit();
    EXPECT_EQ(1, exitCalls);
    // A stop command would have reached the other server within this time.
    PumpFor(1500);
    EXPECT_FALSE(PathExists(home + "\\tomcat\\stop-requests.txt"));
    EXPECT_EQ(1, first.dialog.serverReady);
    EXPECT_NE(std::string::npos, HttpGet(port, "/Vantry").find("<title>Vantry</title>"));
}

// Windows asks whether the session may end: yes at once, and nothing stops, since the end may still
// be cancelled. A cancelled end changes nothing. The end itself stops the server as Exit does, with
// Windows told why the launcher holds the end up meanwhile.
TEST_F(ServerStop, TheEndOfTheWindowsSessionStopsTheServerAsExitDoesAndOnlyWhenItComes)
{
    ASSERT_NO_FATAL_FAILURE(StartServer());
    EXPECT_EQ(TRUE, dialog.SendMessage(WM_QUERYENDSESSION, 0, 0));
    EXPECT_EQ(TRUE, dialog.SendMessage(WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
    dialog.SendMessage(WM_ENDSESSION, FALSE, 0);
    PumpFor(300);
    EXPECT_EQ(0, exitCalls);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(server.Get(), 0));
    EXPECT_FALSE(PathExists(home + "\\tomcat\\stop-requests.txt"));
    EXPECT_EQ(1, dialog.serverReady);

    dialog.SendMessage(WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    EXPECT_EQ(1, exitCalls);
    EXPECT_EQ(0, exitStatus);
    EXPECT_TRUE(allEndedAtExit);
    EXPECT_EQ("stopped cleanly\r\n", Tomcat("clean-stop.txt"));
    EXPECT_EQ((std::vector<std::string>{ "block with a reason, server running", "unblock" }), events);
    EXPECT_FALSE(dialog.IsWindowVisible());
}

} // namespace
