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

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
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

// Every way the stop can go. The stand-in's Tomcat answers its stop command: it records each request
// (and the working directory it came from) in tomcat\stop-requests.txt, shuts down (after
// conf\vantry-stop-delay.txt's milliseconds) and records that in tomcat\clean-stop.txt;
// conf\vantry-deaf.txt makes it deaf.
enum class How { Exit, SessionEnd, SessionEndDuringExit };
enum class Setup { Server, Deaf, JavaGone, PortTaken, InitialiserOnly, Restarting };
struct StopCase {
    const char* name;
    How how;
    Setup setup;
    DWORD stopTimeout;
    const char* stopDelay; // the server's, in ms; null: it stops at once
    DWORD atLeast, before; // the end, in ms after the stop began
};
// A console with the stand-in server's home, and the exit's recorders, for one case.
class StopRig {
public:
    StopRig()
    {
        exitCalls = 0;
        events.clear();
        sharedHomeDir[0] = '\0';
        EXPECT_TRUE(dialog.Create(IDD_CONSOLE, nullptr));
        CopyText(dialog.javaExePath, StandinJavaPath().c_str());
        port = FreeLoopbackPort();
        home = MakeServerHome("exit-stop", port);
        CopyText(dialog.homeDir, home.c_str());
        CopyText(dialog.markerPath, (home + "\\config\\vty3.2.sav").c_str());
    }
    ~StopRig()
    {
        watchedAtExit.clear();
        EndConsole(dialog);
    }
    void Run(const StopCase& c);
    void QueryAndCancel();
    // Started as the launcher starts it, and ready.
    void StartServer()
    {
        dialog.OnStartServer();
        ASSERT_TRUE(WaitUntil([&] { return dialog.serverReady == 1; }, 30000)) << Text();
        server.Reset(OpenProcess(SYNCHRONIZE, FALSE, dialog.serverRunner.ProcessId()));
        ASSERT_TRUE(server);
        watchedAtExit = { server.Get() };
    }
    std::string Tomcat(const char* file) const { return ReadWholeFile(home + "\\tomcat\\" + file); }
    std::string Text() { return dialog.console.GetWindowText(); }

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
std::vector<std::string> StopRig::events;

const StopCase kStopCases[] = {
    { "StopsInTime", How::Exit, Setup::Server, 10000, nullptr, 0, 1500 },
    { "SlowButWithinTheTimeout", How::Exit, Setup::Server, 10000, "2500", 2500, 4500 },
    { "Deaf", How::Exit, Setup::Deaf, 1500, nullptr, 1450, 2500 },
    { "StopCommandCannotStart", How::Exit, Setup::JavaGone, 1500, nullptr, 1450, 2500 },
    { "TakenPort", How::Exit, Setup::PortTaken, 10000, nullptr, 0, 1500 },
    { "InitialiserOnly", How::Exit, Setup::InitialiserOnly, 10000, nullptr, 0, 1500 },
    { "DuringARestart", How::Exit, Setup::Restarting, 10000, "1000", 0, 3000 },
    { "SessionEndDeaf", How::SessionEnd, Setup::Deaf, 60000, nullptr, 4950, 6500 },
    { "SessionEndSlow", How::SessionEnd, Setup::Server, 60000, "1000", 1000, 3000 },
    { "SessionEndDuringAnExitsWait", How::SessionEndDuringExit, Setup::Deaf, 60000, nullptr, 4950, 6500 },
};

TEST(ServerStop, EveryServerIsAskedFirstAndGivenItsTimeAndTheProcessEndsAsSoonAsItHasEnded)
{
    for (const StopCase& c : kStopCases) {
        SCOPED_TRACE(c.name);
        StopRig rig;
        rig.Run(c);
    }
}

// The process ends right after its child, or at the stop timeout (5 s at the session's end). While
// the exit waits, the window answers what another program sends it.
void StopRig::Run(const StopCase& c)
{
    dialog.stopTimeout = c.stopTimeout;
    if (c.setup == Setup::Deaf) WriteWholeFile(home + "\\tomcat\\conf\\vantry-deaf.txt", "");
    if (c.stopDelay) WriteWholeFile(home + "\\tomcat\\conf\\vantry-stop-delay.txt", c.stopDelay);
    const std::string java = MakeJava(home + "\\jdk");
    CopyText(dialog.javaExePath, java.c_str());
    ServingConsole other;
    if (c.setup == Setup::PortTaken) {
        ASSERT_TRUE(other.Serve(home));
        dialog.OnStartServer();
        // Exit as soon as the marker is seen, without pumping: the server's end waits in the queue.
        for (DWORD start = GetTickCount(); !dialog.serverRunner.PortTaken() && GetTickCount() - start < 30000;) {}
        ASSERT_TRUE(dialog.serverRunner.PortTaken());
    } else if (c.setup == Setup::InitialiserOnly) {
        std::string line = "test_child.exe sleep:60000";
        ASSERT_EQ(1, dialog.initRunner.Start(TestChildPath().c_str(), &line[0], TestBinDir().c_str(), SW_HIDE, 1));
        server.Reset(OpenProcess(SYNCHRONIZE, FALSE, dialog.initRunner.ProcessId()));
        watchedAtExit = { server.Get() };
    } else {
        ASSERT_NO_FATAL_FAILURE(StartServer());
    }
    if (c.setup == Setup::JavaGone) { // since the server started; another has been chosen since
        ASSERT_TRUE(MoveFileA(java.c_str(), (java + ".gone").c_str()));
        CopyText(dialog.javaExePath, StandinJavaPath().c_str());
    }
    if (c.setup == Setup::Restarting) {
        dialog.SendMessage(WM_COMMAND, ID_TRAY_RESTART, 0);
        ASSERT_TRUE(WaitUntil([&] { return !Tomcat("stop-requests.txt").empty(); }, 10000));
    }
    const std::string shown = Text();
    std::atomic<DWORD> answer{ 0 };
    std::atomic<bool> answered{ c.how == How::SessionEnd };
    const DWORD start = GetTickCount();
    // Sent now, answered only once the exit waits: this thread serves no message until then.
    std::thread sender([&] {
        DWORD_PTR result = 0;
        if (!answered && SendMessageTimeoutA(dialog.m_hWnd, c.how == How::Exit ? WM_NULL : WM_ENDSESSION, TRUE, 0,
                                             SMTO_NORMAL, 30000, &result))
            answer = GetTickCount() - start;
        answered = true;
    });
    if (c.how == How::SessionEnd) dialog.SendMessage(WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    else dialog.ExitLauncher();
    const DWORD elapsed = GetTickCount() - start;
    while (!answered) PumpFor(10); // an exit that never waited has not answered yet
    sender.join();
    std::printf("    %s: ended %lu ms after the stop began\n", c.name, static_cast<unsigned long>(elapsed));

    EXPECT_EQ(1, exitCalls);
    EXPECT_EQ(0, exitStatus);
    EXPECT_TRUE(allEndedAtExit) << "the process would have ended before its child";
    EXPECT_GE(elapsed, c.atLeast) << "the server was not given its time";
    EXPECT_LT(elapsed, c.before) << "the process outlived its child or its deadline";
    if (c.how == How::Exit && c.atLeast > 1000) {
        EXPECT_LT(answer, 1000u) << "no message was answered during the wait";
    }
    const bool asked = c.setup == Setup::Server || c.setup == Setup::Deaf || c.setup == Setup::Restarting;
    EXPECT_EQ(asked ? "stop from " + home + "\r\n" : "", Tomcat("stop-requests.txt")) << "one request, from home";
    EXPECT_EQ(asked && c.setup != Setup::Deaf ? "stopped cleanly\r\n" : "", Tomcat("clean-stop.txt"));
    const std::vector<std::string> blocked = { "block with a reason, server running", "unblock" };
    EXPECT_EQ(c.how == How::Exit ? std::vector<std::string>() : blocked, events);
    PumpFor(c.setup == Setup::Restarting ? kRunnerDrainMilliseconds + 500 : c.setup == Setup::PortTaken ? 1500 : 300);
    EXPECT_EQ(shown, Text()) << "the end was shown to a user who has gone";
    EXPECT_TRUE(dialog.serverRunner.IsIdle()) << "a server was started after the exit";
    if (c.setup == Setup::PortTaken) { // the other server goes on, never asked to stop
        EXPECT_EQ(1, other.dialog.serverReady);
        EXPECT_NE(std::string::npos, HttpGet(port, "/Vantry").find("<title>Vantry</title>"));
    }
}

// Windows asks whether the session may end: yes at once, and nothing stops, since the end may still
// be cancelled. A cancelled end changes nothing.
TEST(ServerStop, AQueryAndACancelledEndOfTheSessionStopNothing) { StopRig().QueryAndCancel(); }
void StopRig::QueryAndCancel()
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
}

} // namespace
