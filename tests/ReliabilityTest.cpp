// What the launcher survives: servers that crash or misbehave, Java that is no program, a marker file
// that cannot be made, and the user ending it in any state.
#include "app/ConsoleDialog.h"
#include "app/ExitPlatform.h"
#include "ui/Messages.h"
#include "framework/Text.h"
#include "java/Settings.h"
#include "res/resource.h"
#include "support/RecordingRunner.h"
#include "support/TestSupport.h"
#include "support/WholeConsole.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr UINT kEnded = WM_APP + 50;

bool Ends(DWORD processId, DWORD milliseconds)
{
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    if (!process) return true; // already gone
    bool ended = WaitForSingleObject(process, milliseconds) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

TEST(ProcessTree, StopEndsTheChildAndEverythingItStarted)
{
    MessageWindow window;
    RecordingRunner runner;
    runner.SetNotify(&window, kEnded);
    ASSERT_EQ(1, runner.Run("spawn:sleep:60000 sleep:60000"));
    ASSERT_TRUE(WaitUntil([&] { return runner.Grandchild() != 0; }, 10000));
    DWORD grandchild = runner.Grandchild();
    EXPECT_FALSE(Ends(grandchild, 200));
    runner.Stop();
    ASSERT_TRUE(window.WaitFor(kEnded, 1, 15000));
    EXPECT_TRUE(Ends(grandchild, 10000));
}

TEST(ProcessTree, AChildThatEndsLeavingAHolderOfItsOutputIsReportedAndTheHolderEnds)
{
    MessageWindow window;
    RecordingRunner runner;
    runner.SetNotify(&window, kEnded);
    // The grandchild inherits the output pipe and would keep it open for a minute.
    ASSERT_EQ(1, runner.Run("spawn:sleep:60000 out:parent-done"));
    ASSERT_TRUE(window.WaitFor(kEnded, 1, 15000));
    EXPECT_NE(std::string::npos, runner.Output().find("parent-done"));
    DWORD grandchild = runner.Grandchild();
    ASSERT_NE(0u, grandchild);
    EXPECT_TRUE(Ends(grandchild, 10000));
    EXPECT_TRUE(WaitUntil([&] { return runner.IsIdle(); }, 10000));
}

TEST(ProcessTree, AChildThatClosesItsOutputEarlyIsStillWatchedUntilItEnds)
{
    MessageWindow window;
    RecordingRunner runner;
    runner.SetNotify(&window, kEnded);
    ChildGate gate;
    ASSERT_EQ(1, runner.Run("out:before closeout " + gate.Step()));
    ASSERT_TRUE(WaitUntil([&] { return runner.Output() == "before"; }, 15000));
    PumpFor(500);
    EXPECT_EQ(0, window.Count(kEnded)); // its output has ended, the child has not
    EXPECT_FALSE(runner.IsIdle());
    gate.Open();
    ASSERT_TRUE(window.WaitFor(kEnded, 1, 15000));
    EXPECT_EQ("before", runner.Output());
}

int exits = 0;
void RecordExit(int) { ++exits; }

// The console with test_child (or another program) as the server's java.exe.
class ServerFaultTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        exits = 0;
        sharedHomeDir[0] = '\0';
        ASSERT_TRUE(dialog.Create(IDD_CONSOLE, nullptr));
        dialog.TrayBusy();
        home = TempDir("fault");
        CreateDirectoryA((home + "\\config").c_str(), nullptr);
        CopyText(dialog.homeDir, home.c_str());
        CopyText(dialog.markerPath, (home + "\\config\\vty3.2.sav").c_str());
        CopyText(dialog.javaExePath, TestChildPath().c_str());
        // These tests hold what a server's end does by itself; the restart that follows a crash
        // has a test of its own.
        SetRestartOnFailure("false");
    }
    static void SetRestartOnFailure(const char* text)
    {
        ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_CURRENT_USER, "SOFTWARE\\Vantry\\Vantrybench", "RestartOnFailure",
                                                 REG_SZ, text, static_cast<DWORD>(std::strlen(text) + 1)));
    }
    void TearDown() override
    {
        SetEnvironmentVariableA("VANTRY_TEST_STEPS", nullptr);
        EndConsole(dialog, 15000);
    }
    void StartServer(const char* steps)
    {
        SetEnvironmentVariableA("VANTRY_TEST_STEPS", steps);
        dialog.OnStartServer();
    }
    std::string Text() { return dialog.console.GetWindowText(); }
    HICON BigIcon() { return reinterpret_cast<HICON>(dialog.SendMessage(WM_GETICON, ICON_BIG, 0)); }
    int Count(const std::string& what)
    {
        std::string text = Text();
        int n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    }
    bool Ended(DWORD ms = 20000)
    {
        return WaitUntil([&] { return Count("\r\nVantry has been terminated.\r\n") > 0; }, ms);
    }
    void ExpectEndedOnce()
    {
        ASSERT_TRUE(Ended()) << Text();
        // A second end would be told by the time the runner is idle and its drain time has passed.
        WaitUntil([&] { return dialog.serverRunner.IsIdle(); }, 15000);
        PumpFor(kRunnerDrainMilliseconds + 200);
        EXPECT_EQ(1, Count("Vantry has been terminated."));
        EXPECT_EQ(dialog.tray.BigIcon(IDI_STOPPED), BigIcon());
        EXPECT_EQ(0, dialog.serverReady);
        EXPECT_FALSE(dialog.gotoButton.IsWindowEnabled());
        EXPECT_TRUE(dialog.serverRunner.IsIdle());
    }

    ScopedOverride<decltype(exitPlatform.endProcess)> ending{ exitPlatform.endProcess, &RecordExit };
    RegistrySandbox registry;
    TrayRecorder shell;
    ConsoleDialog dialog;
    std::string home;
};

TEST_F(ServerFaultTest, AServerThatFailsAfterReadinessIsEndedOnce)
{
    StartServer("out:Vantry\\sis\\sinitialized sleep:500 exit:3");
    ExpectEndedOnce();
}

// The initialiser's outcome is not looked at: however it ends, the server starts after it.
// While the console is hidden a balloon tells what the user cannot see: readiness with the address
// to open, and an end nobody asked for with its cause when it is known. None while the console is
// shown, none for an end the launcher asked for, none once Exit has begun.
TEST_F(ServerFaultTest, AHiddenConsoleTellsReadinessAndEveryUnaskedEndInABalloon)
{
    struct Case {
        const char* steps;
        const char* how; // "hidden", "shown", "stopped" (by the launcher) or "exit"
        std::vector<std::string> balloons;
    };
    const std::string stopped = "Vantry|Vantry has stopped.";
    const Case cases[] = {
        { "out:Vantry\\surl:\\shttp://127.0.0.1:4321/Vantry\\r\\n out:Vantry\\sis\\sinitialized exit:3",
          "hidden",
          { "Vantry|Vantry is ready.\nhttp://127.0.0.1:4321/Vantry",
            stopped + "\nThe server ended with exit code 3." } },
        { "crash", "hidden", { stopped + "\nThe server ended with exit code 0xC0000005." } },
        { "exit:0", "hidden", { stopped } },
        { "out:Vantry\\sis\\sinitialized exit:3", "shown", {} },
        { "sleep:60000", "stopped", {} },
        { "exit:3", "exit", {} },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.how) + " " + c.steps);
        dialog.ShowWindow(std::string(c.how) == "shown" ? SW_SHOWNA : SW_HIDE);
        shell.calls.clear();
        SetWindowTextA(dialog.console.m_hWnd, "");
        StartServer(c.steps);
        if (std::string(c.how) == "stopped") {
            ASSERT_TRUE(WaitUntil([&] { return dialog.serverRunner.ProcessId() != static_cast<DWORD>(-1); }, 5000));
            dialog.serverRunner.Stop();
        } else if (std::string(c.how) == "exit") {
            // The server ends by itself while the launcher's Exit waits: its end arrives after Exit.
            ASSERT_TRUE(PollUntil([&] { return dialog.serverRunner.IsIdle(); }, 15000));
            dialog.SendMessage(WM_COMMAND, ID_TRAY_EXIT, 0);
            EXPECT_EQ(1, exits);
        }
        if (std::string(c.how) != "exit") {
            ASSERT_TRUE(Ended()) << Text(); // after Exit the console shows nothing more
        }
        WaitUntil([&] { return dialog.serverRunner.IsIdle(); }, 15000);
        PumpFor(200);
        EXPECT_EQ(c.balloons, shell.Balloons());
    }
}

// A crash is followed by the server alone, started again after 2 s: the console and, while it is
// hidden, a balloon say so, and readiness is told again. Not while the session may be ending.
TEST_F(ServerFaultTest, ACrashedServerIsStartedAgainAfterTwoSecondsAndSaysSo)
{
    SetRestartOnFailure("true");
    dialog.ShowWindow(SW_HIDE);
    dialog.SendMessage(WM_QUERYENDSESSION, 0, 0);
    StartServer("exit:3");
    ASSERT_TRUE(Ended()) << Text();
    dialog.SendMessage(WM_ENDSESSION, FALSE, 0); // cancelled: crashes count again
    EXPECT_EQ(std::string::npos, Text().find("Restarting")) << Text();

    SetWindowTextA(dialog.console.m_hWnd, "");
    shell.calls.clear();
    StartServer("exit:3");
    const char said[] =
        "Vantry has been terminated.\r\nThe server ended with exit code 3. Restarting in 2 s (1 of 3)...\r\n";
    ASSERT_TRUE(WaitUntil([&] { return Count(said) == 1; }, 20000)) << Text();
    const DWORD ended = GetTickCount();
    SetEnvironmentVariableA("VANTRY_TEST_STEPS", "out:Vantry\\sis\\sinitialized sleep:60000");
    ASSERT_TRUE(WaitUntil([&] { return dialog.serverReady == 1; }, 20000)) << Text();
    EXPECT_GE(GetTickCount() - ended, 1900u);
    EXPECT_EQ(sharedHomeDir, home);
    EXPECT_EQ((std::vector<std::string>{ "Vantry|Vantry has stopped.\nRestarting in 2 s.",
                                         "Vantry|Vantry is ready.\nhttp://localhost/Vantry" }),
              shell.Balloons());
}

TEST_F(ServerFaultTest, AnInitialiserThatFailsOrCrashesIsStillFollowedByTheServer)
{
    for (const char* steps : { "out:init-run\r\n exit:3", "out:init-run\r\n crash" }) {
        SCOPED_TRACE(steps);
        SetEnvironmentVariableA("VANTRY_TEST_STEPS", steps); // the server, also test_child, does the same
        dialog.initRunner.SetNotify(&dialog, WM_START_SERVER);
        ASSERT_EQ(1, dialog.initRunner.Launch(&dialog, dialog.javaExePath, dialog.homeDir));
        ASSERT_TRUE(Ended()) << Text();
        EXPECT_EQ(home, std::string(sharedHomeDir));
        EXPECT_EQ(2, Count("init-run")) << Text(); // once from the initialiser, once from the server
        WaitUntil([&] { return dialog.initRunner.IsIdle() && dialog.serverRunner.IsIdle(); }, 15000);
        SetWindowTextA(dialog.console.m_hWnd, "");
        sharedHomeDir[0] = '\0';
    }
}

// A disabled button cannot keep the focus: when the server ends, the keyboard must still reach the
// console, and Esc must still end the launcher.
TEST_F(ServerFaultTest, WhenTheServerEndsTheFocusLeavesGoToAndEscStillEndsTheLauncher)
{
    dialog.ShowWindow(SW_SHOW);
    SetForegroundWindow(dialog.m_hWnd);
    // Under Wine the window becomes active when the X server says so, later on a busy machine.
    ASSERT_TRUE(WaitUntil([&] { return GetActiveWindow() == dialog.m_hWnd; }, 15000));
    ChildGate gate;
    std::string steps = "out:Vantry\\sis\\sinitialized " + gate.Step();
    StartServer(steps.c_str());
    ASSERT_TRUE(WaitUntil([&] { return dialog.serverReady == 1; }, 15000)) << Text();
    ASSERT_TRUE(WaitUntil([&] { return GetFocus() == dialog.gotoButton.m_hWnd; }, 15000)) << GetFocus();
    gate.Open();
    ExpectEndedOnce();
    HWND focus = GetFocus();
    EXPECT_NE(dialog.gotoButton.m_hWnd, focus);
    ASSERT_TRUE(focus && IsChild(dialog.m_hWnd, focus));
    EXPECT_TRUE(IsWindowEnabled(focus));

    // Esc as the message loop gets it: to the focused control, through the dialog's keyboard handling.
    MSG key = { focus, WM_KEYDOWN, VK_ESCAPE, 0x00010001, GetTickCount(), {} };
    EXPECT_TRUE(dialog.PreTranslateMessage(&key));
    EXPECT_EQ(1, exits);
}

TEST_F(ServerFaultTest, AServerThatCrashesIsEndedOnce)
{
    StartServer("out:starting\\r\\n sleep:200 crash");
    ExpectEndedOnce();
}

TEST_F(ServerFaultTest, AServerEndedFromOutsideIsEndedOnce)
{
    StartServer("out:serving sleep:60000");
    ASSERT_TRUE(WaitUntil([&] { return Text().find("serving") != std::string::npos; }, 10000));
    HANDLE server = OpenProcess(PROCESS_TERMINATE, FALSE, dialog.serverRunner.ProcessId());
    ASSERT_NE(nullptr, server);
    TerminateProcess(server, 9);
    CloseHandle(server);
    ExpectEndedOnce();
}

TEST_F(ServerFaultTest, AServerWhoseChildKeepsItsOutputOpenIsEndedOnceWithoutHanging)
{
    StartServer("spawn:sleep:60000 out:main-ends");
    ExpectEndedOnce();
}

TEST_F(ServerFaultTest, AJavaThatIsAWindowedProgramRunsUnseenAndItsEndIsReported)
{
    CopyText(dialog.javaExePath, TestWindowPath().c_str());
    dialog.OnStartServer();
    HWND shown = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (shown = FindWindowA("VantryTestWindow", nullptr)) != nullptr; }, 15000));
    EXPECT_FALSE(IsWindowVisible(shown)); // started hidden
    PostMessageA(shown, WM_CLOSE, 0, 0);
    ExpectEndedOnce();
}

TEST_F(ServerFaultTest, AJavaThatIsABatchFileEndsOrFailsButNeverLeavesTheTrayBusy)
{
    std::string batch = home + "\\java.bat";
    std::ofstream(batch) << "@echo off\r\nexit /b 0\r\n";
    CopyText(dialog.javaExePath, batch.c_str());
    dialog.OnStartServer();
    ASSERT_TRUE(WaitUntil([&] { return BigIcon() == dialog.tray.BigIcon(IDI_STOPPED); }, 20000)) << Text();
    EXPECT_TRUE(Text().find("Could not start the server") != std::string::npos ||
                Text().find("Vantry has been terminated.") != std::string::npos)
        << Text();
}

TEST_F(ServerFaultTest, AJavaThatVanishedBeforeTheLaunchIsReported)
{
    std::string java = home + "\\gone.exe";
    CopyFileA(TestChildPath().c_str(), java.c_str(), FALSE);
    CopyText(dialog.javaExePath, java.c_str());
    ASSERT_TRUE(FileExists(dialog.javaExePath));
    DeleteFileA(java.c_str());
    dialog.OnStartServer();
    EXPECT_NE(std::string::npos, Text().find("Could not start the server with " + java));
    EXPECT_EQ(dialog.tray.BigIcon(IDI_STOPPED), BigIcon());

    dialog.initRunner.SetNotify(&dialog, WM_START_SERVER);
    EXPECT_EQ(0, dialog.initRunner.Launch(&dialog, dialog.javaExePath, dialog.homeDir));
}

TEST_F(ServerFaultTest, AMarkerFileThatCannotBeWrittenIsNoObstacle)
{
    std::string marker = home + "\\config\\vty3.2.sav";
    std::ofstream(marker) << "old";
    SetFileAttributesA(marker.c_str(), FILE_ATTRIBUTE_READONLY);
    StartServer("out:Vantry\\sis\\sinitialized sleep:60000");
    ASSERT_TRUE(WaitUntil([&] { return dialog.serverReady == 1; }, 15000)) << Text();
    EXPECT_EQ(dialog.tray.BigIcon(IDI_READY), BigIcon());
    SetFileAttributesA(marker.c_str(), FILE_ATTRIBUTE_NORMAL);

    // A folder in the marker file's place.
    DeleteFileA(marker.c_str());
    CreateDirectoryA(marker.c_str(), nullptr);
    dialog.PostMessage(WM_SERVER_READY);
    PumpFor(200);
    EXPECT_EQ(1, dialog.serverReady);
}

// Exit in each state of the server: the children go during the wait, the status is 0.
TEST_F(ServerFaultTest, ExitEndsEveryChildInEveryStateOfTheServer)
{
    const char* const states[] = { "initialising", "server starting", "ready", "ended" };
    for (const char* state : states) {
        SCOPED_TRACE(state);
        exits = 0;
        ConsoleDialog console;
        ASSERT_TRUE(console.Create(IDD_CONSOLE, nullptr));
        console.TrayBusy();
        CopyText(console.homeDir, home.c_str());
        CopyText(console.markerPath, (home + "\\config\\vty3.2.sav").c_str());
        CopyText(console.javaExePath, TestChildPath().c_str());
        std::string name = state;
        if (name == "initialising") {
            SetEnvironmentVariableA("VANTRY_TEST_STEPS", "sleep:60000");
            console.initRunner.SetNotify(&console, WM_START_SERVER);
            ASSERT_EQ(1, console.initRunner.Launch(&console, console.javaExePath, console.homeDir));
        } else {
            SetEnvironmentVariableA("VANTRY_TEST_STEPS", name == "ready"   ? "out:Vantry\\sis\\sinitialized sleep:60000"
                                                         : name == "ended" ? "exit:0"
                                                                           : "sleep:60000");
            console.OnStartServer();
            if (name == "ready") {
                EXPECT_TRUE(WaitUntil([&] { return console.serverReady == 1; }, 15000));
            } else if (name == "ended") {
                EXPECT_TRUE(WaitUntil([&] { return console.serverRunner.IsIdle(); }, 15000));
            }
        }
        DWORD init = console.initRunner.ProcessId(), server = console.serverRunner.ProcessId();
        console.SendMessage(WM_COMMAND, ID_TRAY_EXIT, 0);
        EXPECT_EQ(1, exits);
        EXPECT_FALSE(console.IsWindowVisible());
        if (init != static_cast<DWORD>(-1)) {
            EXPECT_TRUE(Ends(init, 0));
        }
        if (server != static_cast<DWORD>(-1)) {
            EXPECT_TRUE(Ends(server, 0));
        }
        WaitUntil([&] { return console.initRunner.IsIdle() && console.serverRunner.IsIdle(); }, 15000);
        console.TrayRemove();
    }
}

// The start-up's own windows: the launcher can be ended while the message box or the Java path
// dialog waits for an answer.
std::string launcherPath;
DWORD WINAPI FakeModuleFileName(HMODULE, LPSTR path, DWORD size)
{
    CopyText(path, size, launcherPath.c_str());
    return static_cast<DWORD>(launcherPath.size());
}

HWND consoleWindow = nullptr;
std::vector<HWND> exitedOver; // the windows over which Exit was chosen
BOOL CALLBACK EndWhileOpen(HWND window, LPARAM)
{
    char title[64] = "";
    GetWindowTextA(window, title, sizeof title);
    std::string t = title;
    if (!IsWindowVisible(window) || (t != "JDK not found." && t != "Vantry: Java not found")) return TRUE;
    if (std::find(exitedOver.begin(), exitedOver.end(), window) == exitedOver.end()) {
        exitedOver.push_back(window);
        SendMessageA(consoleWindow, WM_COMMAND, ID_TRAY_EXIT, 0); // the tray menu's Exit
    } else {
        // In the real program the process has ended by now; here the start-up goes on.
        PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    }
    return FALSE;
}
void CALLBACK ExitWhileOpen(HWND, UINT, UINT_PTR, DWORD) { EnumThreadWindows(GetCurrentThreadId(), &EndWhileOpen, 0); }

TEST(ExitDuringStartUp, TheTrayMenusExitWorksWhileTheMessageBoxAndTheDialogWait)
{
    RegistrySandbox sandbox;
    std::string home = TempDir("exit-startup");
    std::string jre = TempDir("exit-startup-jre"); // outside the home, where it would be bundled
    MakeJava(jre);
    HKEY key;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft\\Java Runtime Environment\\1.3.1", 0, nullptr, 0,
                    KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegSetValueExA(key, "JavaHome", 0, REG_SZ, reinterpret_cast<const BYTE*>(jre.c_str()),
                   static_cast<DWORD>(jre.size() + 1));
    RegCloseKey(key);
    launcherPath = home + "\\Vantry.exe";
    ScopedOverride module(settingsPlatform.moduleFileName, &FakeModuleFileName);
    ScopedOverride ending(exitPlatform.endProcess, &RecordExit);
    // With a JRE the message box comes first, without one the dialog; in each, Exit is chosen from the
    // tray menu. An Exit once made is not made again over the next window.
    for (bool jre : { true, false }) {
        if (!jre) RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE"); // the JRE, and the java.exe kept from it
        exits = 0;
        exitedOver.clear();
        ConsoleDialog dialog;
        UINT_PTR timer = SetTimer(nullptr, 0, 50, &ExitWhileOpen);
        dialog.Create(IDD_CONSOLE, nullptr);
        consoleWindow = dialog.m_hWnd;
        dialog.TrayBusy();
        dialog.RunStartupSequence();
        KillTimer(nullptr, timer);
        EXPECT_EQ(1, exits);
        EXPECT_EQ(jre ? 2u : 1u, exitedOver.size());
        dialog.initRunner.Stop();
        WaitUntil([&] { return dialog.initRunner.IsIdle(); }, 10000);
        dialog.TrayRemove();
    }
}

} // namespace
