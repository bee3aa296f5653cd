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
#include <atomic>
#include <memory>
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

// --- The stop: a running server is asked by its own command, then given the stop timeout ------------

std::vector<std::string> blockEvents;
HANDLE blockWatched = nullptr; // the server, at the moment the block reason is made
BOOL RecordBlockCreate(HWND, LPCWSTR reason)
{
    blockEvents.push_back(std::string("block ") + (reason && *reason ? "with a reason" : "without a reason") +
                          (WaitForSingleObject(blockWatched, 0) == 0 ? ", server ended" : ", server running"));
    return TRUE;
}
BOOL RecordBlockDestroy(HWND)
{
    blockEvents.push_back(std::string("unblock") + (exitCalls ? " after the end" : ""));
    return TRUE;
}

// Sends the window one message from another thread, as another program would, and times its answer.
class Sender {
public:
    Sender(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
        : thread_([=] {
              DWORD start = GetTickCount();
              DWORD_PTR result = 0;
              answered_ = SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, 30000, &result) != 0;
              took_ = GetTickCount() - start;
              done_ = true;
          })
    {
    }
    ~Sender()
    {
        if (thread_.joinable()) thread_.join();
    }
    // An exit that never waited has not answered yet: this thread does, meanwhile.
    DWORD Took()
    {
        while (!done_) PumpFor(10);
        thread_.join();
        return answered_ ? took_ : 30000;
    }

private:
    std::atomic<bool> done_{ false };
    bool answered_ = false;
    DWORD took_ = 0;
    std::thread thread_;
};

// Every way the stop can go, for Exit and the end of the Windows session. The stand-in's Tomcat answers
// its stop command: it records each request (and the working directory it came from) in
// tomcat\stop-requests.txt, shuts down (after tomcat\conf\vantry-stop-delay.txt's milliseconds) and
// records its clean end in tomcat\clean-stop.txt; tomcat\conf\vantry-deaf.txt makes it deaf. While
// the exit waits, the window answers a message another program sends it.
TEST(ServerStop, EveryServerIsAskedFirstAndGivenItsTimeAndTheProcessEndsAsSoonAsItHasEnded)
{
    enum class How { Exit, SessionEnd, SessionEndDuringExit };
    struct Case {
        const char* name;
        How how;
        DWORD stopTimeout;
        const char* stopDelay; // the server's, in ms; null: it stops at once
        bool deaf;             // it ignores its stop command
        bool javaGone;         // the java.exe that started the server has gone; another has been chosen since
        bool portTaken;        // another server holds the port: Exit comes as the marker is seen
        bool initialiserOnly;  // no server, the initialiser runs
        DWORD atLeast, before; // the end, in ms after the stop began
        int requests;          // stop commands that reached the server
        bool clean;            // it stopped itself
    };
    const Case cases[] = {
        { "stops in time", How::Exit, 10000, nullptr, false, false, false, false, 0, 1500, 1, true },
        { "slow but within the timeout", How::Exit, 10000, "2500", false, false, false, false, 2500, 4500, 1, true },
        { "deaf", How::Exit, 1500, nullptr, true, false, false, false, 1450, 2500, 1, false },
        { "stop command cannot start", How::Exit, 1500, nullptr, false, true, false, false, 1450, 2500, 0, false },
        { "taken port", How::Exit, 10000, nullptr, false, false, true, false, 0, 1500, 0, false },
        { "initialiser only", How::Exit, 10000, nullptr, false, false, false, true, 0, 1500, 0, false },
        { "session's end, deaf", How::SessionEnd, 60000, nullptr, true, false, false, false, 4950, 6500, 1, false },
        { "session's end, slow", How::SessionEnd, 60000, "1000", false, false, false, false, 1000, 3000, 1, true },
        { "session's end during an Exit's wait", How::SessionEndDuringExit, 60000, nullptr, true, false, false, false,
          4950, 6500, 1, false },
    };
    ScopedOverride ending(exitPlatform.endProcess, &RecordExit);
    ScopedOverride block(exitPlatform.blockReasonCreate, &RecordBlockCreate);
    ScopedOverride unblock(exitPlatform.blockReasonDestroy, &RecordBlockDestroy);
    std::string otherJava = MakeJava(TempDir("exit-other-java"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        exitCalls = 0;
        blockEvents.clear();
        sharedHomeDir[0] = '\0';
        const int port = FreeLoopbackPort();
        const std::string home = MakeServerHome("exit-stop", port), tomcat = home + "\\tomcat\\";
        if (c.deaf) WriteWholeFile(tomcat + "conf\\vantry-deaf.txt", "");
        if (c.stopDelay) WriteWholeFile(tomcat + "conf\\vantry-stop-delay.txt", c.stopDelay);
        const std::string java = MakeJava(home + "\\jdk");
        std::unique_ptr<ServingConsole> holder;
        if (c.portTaken) {
            holder.reset(new ServingConsole);
            ASSERT_TRUE(holder->Serve(home));
        }
        ConsoleDialog dialog;
        ASSERT_TRUE(dialog.Create(IDD_CONSOLE, nullptr));
        dialog.stopTimeout = c.stopTimeout;
        CopyText(dialog.javaExePath, java.c_str());
        CopyText(dialog.homeDir, home.c_str());
        CopyText(dialog.markerPath, (home + "\\config\\vty3.2.sav").c_str());
        Handle child;
        if (c.initialiserOnly) {
            std::string line = "test_child.exe sleep:60000";
            ASSERT_EQ(1, dialog.initRunner.Start(TestChildPath().c_str(), &line[0], TestBinDir().c_str(), SW_HIDE, 1));
            child.Reset(Watch(dialog.initRunner.ProcessId()));
        } else {
            dialog.OnStartServer();
            // Watched without a pause and without pumping, so that the server's end waits in the queue.
            if (c.portTaken) {
                for (DWORD start = GetTickCount();
                     !dialog.serverRunner.PortTaken() && GetTickCount() - start < 30000;) {}
                ASSERT_TRUE(dialog.serverRunner.PortTaken());
            } else {
                ASSERT_TRUE(WaitUntil([&] { return dialog.serverReady == 1; }, 30000))
                    << dialog.console.GetWindowText();
            }
            child.Reset(Watch(dialog.serverRunner.ProcessId()));
        }
        ASSERT_TRUE(child || c.portTaken); // the runner may have ended that server already
        watchedAtExit.clear();
        if (child) watchedAtExit.push_back(child.Get());
        blockWatched = child.Get();
        if (c.javaGone) {
            ASSERT_TRUE(MoveFileA(java.c_str(), (java + ".gone").c_str()));
            CopyText(dialog.javaExePath, otherJava.c_str());
        }
        const std::string shown = dialog.console.GetWindowText();

        DWORD start = GetTickCount(), answer = 0, elapsed = 0;
        if (c.how == How::SessionEnd) {
            dialog.SendMessage(WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
        } else {
            // Sent now, answered only once the exit waits: this thread serves no message until then.
            Sender sender(dialog.m_hWnd, c.how == How::Exit ? WM_NULL : WM_ENDSESSION, TRUE, 0);
            dialog.ExitLauncher();
            elapsed = GetTickCount() - start;
            answer = sender.Took();
        }
        if (c.how == How::SessionEnd) elapsed = GetTickCount() - start;
        std::printf("    %s: the launcher ended %lu ms after the stop began\n", c.name,
                    static_cast<unsigned long>(elapsed));

        EXPECT_EQ(1, exitCalls);
        EXPECT_EQ(0, exitStatus);
        EXPECT_TRUE(allEndedAtExit) << "the process would have ended before its child";
        EXPECT_GE(elapsed, c.atLeast) << "the server was not given its time";
        EXPECT_LT(elapsed, c.before) << "the process outlived its child or its deadline";
        if (c.how == How::Exit && c.atLeast > 1000) {
            EXPECT_LT(answer, 1000u) << "the window answered no sent message while it waited";
        }
        EXPECT_FALSE(dialog.IsWindowVisible());
        std::string requests;
        for (int i = 0; i < c.requests; ++i) requests += "stop from " + home + "\r\n";
        EXPECT_EQ(requests, ReadWholeFile(tomcat + "stop-requests.txt"));
        EXPECT_EQ(c.clean ? "stopped cleanly\r\n" : "", ReadWholeFile(tomcat + "clean-stop.txt"));
        if (c.how == How::Exit) {
            EXPECT_TRUE(blockEvents.empty()) << "an Exit is no end of the session";
        } else {
            EXPECT_EQ((std::vector<std::string>{ "block with a reason, server running", "unblock" }), blockEvents);
        }
        if (c.portTaken) {
            PumpFor(1500); // a stop command would have reached the other server within this time
            EXPECT_FALSE(PathExists(tomcat + "stop-requests.txt"));
            EXPECT_EQ(1, holder->dialog.serverReady);
            EXPECT_NE(std::string::npos, HttpGet(port, "/Vantry").find("<title>Vantry</title>"));
        }
        PumpFor(300);
        EXPECT_EQ(shown, dialog.console.GetWindowText()) << "the end was shown to a user who has gone";
        EXPECT_FALSE(dialog.javadocButton.IsWindowEnabled() && c.initialiserOnly) << "a server was started";
        watchedAtExit.clear();
        EndConsole(dialog);
        holder.reset();
    }
}

// Windows asks whether the session may end: yes at once, and nothing stops, since the end may still
// be cancelled. A cancelled end changes nothing.
TEST(ServerStop, AQueryAndACancelledEndOfTheSessionStopNothing)
{
    ScopedOverride ending(exitPlatform.endProcess, &RecordExit);
    exitCalls = 0;
    sharedHomeDir[0] = '\0';
    const std::string home = MakeServerHome("exit-query", FreeLoopbackPort());
    ConsoleDialog dialog;
    ASSERT_TRUE(dialog.Create(IDD_CONSOLE, nullptr));
    CopyText(dialog.javaExePath, StandinJavaPath().c_str());
    CopyText(dialog.homeDir, home.c_str());
    CopyText(dialog.markerPath, (home + "\\config\\vty3.2.sav").c_str());
    dialog.OnStartServer();
    ASSERT_TRUE(WaitUntil([&] { return dialog.serverReady == 1; }, 30000));
    EXPECT_EQ(TRUE, dialog.SendMessage(WM_QUERYENDSESSION, 0, 0));
    EXPECT_EQ(TRUE, dialog.SendMessage(WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
    dialog.SendMessage(WM_ENDSESSION, FALSE, 0);
    PumpFor(300);
    EXPECT_EQ(0, exitCalls);
    EXPECT_FALSE(PathExists(home + "\\tomcat\\stop-requests.txt"));
    EXPECT_EQ(1, dialog.serverReady);
    EndConsole(dialog);
}

} // namespace
