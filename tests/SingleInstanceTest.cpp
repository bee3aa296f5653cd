// One launcher per installation, with the real program on installations of the test's own: a second
// start hands over to the running launcher, other installations run beside it, and a start while the
// previous launcher ends waits for that end and then starts normally.
#include "app/SingleInstance.h"
#include "res/resource.h"
#include "support/Installation.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

const char kSettingsKey[] = "SOFTWARE\\Vantry\\Vantrybench";
const char kTerminated[] = "Vantry has been terminated.";
constexpr DWORD kStartTimeout = 60000;
constexpr DWORD kActionTimeout = 20000;

class OneLauncherPerInstallation : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearSettings();
        WriteMachineText(kSettingsKey, "JavaExe", StandinJavaPath(), kLauncherView);
    }
    void TearDown() override
    {
        first.Kill();
        second.Kill();
        ClearSettings();
    }
    static void ClearSettings()
    {
        for (REGSAM view : { kLauncherView, REGSAM(0) }) DeleteMachineKey(kSettingsKey, view);
        DeleteUserKey(kSettingsKey);
    }
    // An installation that has run before: marker present, Java remembered.
    static std::unique_ptr<Installation> Install(const char* name)
    {
        std::unique_ptr<Installation> install(new Installation(name));
        install->CreateMarker();
        return install;
    }
    static bool Serves(const Installation& install)
    {
        return HttpGet(install.Port(), "/Vantry").find("<title>Vantry</title>") != std::string::npos;
    }
    static void StartReady(RunningLauncher& launcher, const Installation& install)
    {
        ASSERT_TRUE(launcher.Start(install.Exe(), TestBinDir()));
        ASSERT_NE(nullptr, launcher.Console(kStartTimeout));
        ASSERT_TRUE(launcher.WaitUntilReady(kStartTimeout)) << launcher.ConsoleText();
    }

    RunningLauncher first;
    RunningLauncher second;
};

TEST_F(OneLauncherPerInstallation, ASecondStartBringsTheHiddenConsoleToTheFrontStartsNothingAndEnds)
{
    WriteMachineText(kSettingsKey, "HideOnStartup", "true", kLauncherView);
    auto install = Install("instance-two");
    ASSERT_NO_FATAL_FAILURE(StartReady(first, *install));
    HWND console = first.Console();
    ASSERT_FALSE(IsWindowVisible(console));
    ASSERT_EQ(1u, first.JavaChildren().size());

    DWORD started = GetTickCount();
    ASSERT_TRUE(second.Start(install->Exe(), TestBinDir()));
    // A console of its own, and so a tray icon of its own, would be a window of its process.
    bool secondHadWindow = false;
    ASSERT_TRUE(WaitUntil(
        [&] {
            secondHadWindow = secondHadWindow || FindWindowOf(second.ProcessId(), "Vantry") != nullptr;
            return !second.Running();
        },
        kActionTimeout));
    DWORD ended = GetTickCount() - started;
    EXPECT_EQ(0u, second.WaitForExit(0));
    EXPECT_FALSE(secondHadWindow);
    ASSERT_TRUE(
        WaitUntil([&] { return IsWindowVisible(console) && GetForegroundWindow() == console; }, kActionTimeout));
    DWORD inFront = GetTickCount() - started;
    std::printf("second start: ended after %lu ms, first console in front after %lu ms\n",
                static_cast<unsigned long>(ended), static_cast<unsigned long>(inFront));

    // The first launcher goes on as before, with its one server.
    EXPECT_EQ(1u, first.JavaChildren().size());
    EXPECT_TRUE(Serves(*install));
    EXPECT_TRUE(first.ControlEnabled(IDC_GOTO));
    EXPECT_EQ(std::string::npos, first.ConsoleText().find(kTerminated)) << first.ConsoleText();

    // Started at once, whichever claims first serves; the other hands over to it, window or not yet.
    first.Kill();
    second.Kill();
    ASSERT_TRUE(first.Start(install->Exe(), TestBinDir()));
    ASSERT_TRUE(second.Start(install->Exe(), TestBinDir()));
    ASSERT_TRUE(WaitUntil([&] { return !first.Running() || !second.Running(); }, kStartTimeout));
    RunningLauncher& gone = first.Running() ? second : first;
    RunningLauncher& serving = first.Running() ? first : second;
    EXPECT_EQ(0u, gone.WaitForExit(0));
    ASSERT_TRUE(serving.WaitUntilReady(kStartTimeout)) << serving.ConsoleText();
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(serving.Console()) != FALSE; }, kActionTimeout));
    EXPECT_EQ(1u, serving.JavaChildren().size());
    EXPECT_TRUE(Serves(*install));
}

TEST_F(OneLauncherPerInstallation, TwoInstallationsRunSideBySide)
{
    auto one = Install("instance-one");
    auto other = Install("instance-other");
    ASSERT_TRUE(first.Start(one->Exe(), TestBinDir()));
    ASSERT_TRUE(second.Start(other->Exe(), TestBinDir()));
    EXPECT_TRUE(first.WaitUntilReady(kStartTimeout)) << first.ConsoleText();
    EXPECT_TRUE(second.WaitUntilReady(kStartTimeout)) << second.ConsoleText();
    EXPECT_TRUE(Serves(*one));
    EXPECT_TRUE(Serves(*other));
}

// The first launcher's server takes 9 s to stop: a later start that waited less would start its own
// server on the port the first one still holds.
TEST_F(OneLauncherPerInstallation, AStartDuringThePreviousLaunchersExitWaitsForItAndStartsNormally)
{
    auto install = Install("instance-exit");
    WriteWholeFile(install->Home() + "\\tomcat\\conf\\vantry-stop-delay.txt", "9000");
    ASSERT_NO_FATAL_FAILURE(StartReady(first, *install));
    HWND console = first.Console();
    PostMessageA(console, WM_COMMAND, IDCANCEL, 0);
    // Hidden: the exit has begun, and its wait for the server's end is still to come.
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(console); }, kActionTimeout));
    ASSERT_TRUE(second.Start(install->Exe(), TestBinDir()));

    EXPECT_EQ(0u, first.WaitForExit(kActionTimeout));
    ASSERT_TRUE(second.WaitUntilReady(kStartTimeout)) << second.ConsoleText();
    EXPECT_EQ(std::string::npos, second.ConsoleText().find(kTerminated)) << second.ConsoleText();
    EXPECT_TRUE(IsWindowVisible(second.Console()));
    EXPECT_TRUE(Serves(*install));
}

// /exit ends the running launcher as Exit does and ends with 0 when it has; with none running, at
// once with 0. A start by the home's path in capitals is the same installation: one server.
TEST_F(OneLauncherPerInstallation, SlashExitEndsTheRunningLauncherAndACapitalsStartIsTheSameInstallation)
{
    auto install = Install("instance-switch");
    ASSERT_NO_FATAL_FAILURE(StartReady(first, *install));
    std::string capitals = install->Exe();
    CharUpperBuffA(&capitals[0], static_cast<DWORD>(capitals.size()));
    ASSERT_TRUE(second.Start(capitals, TestBinDir()));
    ASSERT_EQ(0u, second.WaitForExit(kActionTimeout));
    EXPECT_EQ(1u, first.JavaChildren().size());

    DWORD started = GetTickCount();
    ASSERT_TRUE(second.Start(install->Exe(), TestBinDir(), 0, "-EXIT"));
    EXPECT_EQ(0u, second.WaitForExit(kActionTimeout));
    DWORD ended = GetTickCount() - started;
    EXPECT_EQ(0u, first.WaitForExit(2000)); // it had ended when /exit did (the process object may lag a moment)
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((install->Home() + "\\tomcat\\clean-stop.txt").c_str()))
        << "stopped as Exit does";
    std::printf("/exit: ended %lu ms after it was started, the launcher with it\n", static_cast<unsigned long>(ended));

    ASSERT_TRUE(second.Start(install->Exe(), TestBinDir(), 0, "/exit"));
    EXPECT_EQ(0u, second.WaitForExit(kActionTimeout));
    EXPECT_FALSE(Serves(*install));
}

// A server that crashes comes back by itself, the console says so, and it serves again.
TEST_F(OneLauncherPerInstallation, ACrashedServerIsStartedAgainAndServes)
{
    auto install = Install("instance-crash");
    ASSERT_NO_FATAL_FAILURE(StartReady(first, *install));
    std::vector<DWORD> servers = first.JavaChildren();
    ASSERT_EQ(1u, servers.size());
    HANDLE server = OpenProcess(PROCESS_TERMINATE, FALSE, servers[0]);
    ASSERT_NE(nullptr, server);
    TerminateProcess(server, 3);
    CloseHandle(server);
    ASSERT_TRUE(first.WaitForText("The server ended with exit code 3. Restarting in 2 s (1 of 3)...", kActionTimeout))
        << first.ConsoleText();
    ASSERT_TRUE(WaitUntil([&] { return first.JavaChildren().size() == 1 && first.JavaChildren()[0] != servers[0]; },
                          kStartTimeout));
    ASSERT_TRUE(first.WaitUntilReady(kStartTimeout)) << first.ConsoleText();
    EXPECT_TRUE(Serves(*install));
}

// The holder's side of the hand-over, in this process: a request shows the console (or, for /exit
// and /restart, posts the menu's command to it) and is answered, until the launcher begins to end;
// then the console stays hidden and the answer tells the later start to wait for the end instead
// (else a start during an exit would end, and nothing would run).
TEST(InstanceRequest, AHolderShowsItsConsoleUntilItBeginsToEndThenLeavesItHiddenAndSaysSo)
{
    ASSERT_EQ(1, ClaimInstallation());
    HWND console = CreateWindowExA(0, "STATIC", "console", WS_OVERLAPPEDWINDOW, 10, 10, 200, 100, nullptr, nullptr,
                                   GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, console) << GetLastError();
    PublishConsole(console);
    const UINT request = RegisterWindowMessageA("VantryShowConsole");
    EXPECT_EQ(0, OnInstanceMessage(console, WM_USER + 77, 0));
    for (auto [kind, command] : { std::make_pair(LaunchRequest::Exit, ID_TRAY_EXIT),
                                  std::make_pair(LaunchRequest::Restart, ID_TRAY_RESTART) }) {
        EXPECT_NE(0, OnInstanceMessage(console, request, static_cast<WPARAM>(kind)));
        MSG posted = {};
        EXPECT_TRUE(PeekMessageA(&posted, console, WM_COMMAND, WM_COMMAND, PM_REMOVE));
        EXPECT_EQ(static_cast<WPARAM>(command), posted.wParam);
        EXPECT_FALSE(IsWindowVisible(console));
    }
    EXPECT_NE(0, OnInstanceMessage(console, request, static_cast<WPARAM>(LaunchRequest::Show)));
    EXPECT_TRUE(IsWindowVisible(console));

    ShowWindow(console, SW_HIDE);
    InstallationEnding();
    for (LaunchRequest kind : { LaunchRequest::Start, LaunchRequest::Exit, LaunchRequest::Restart })
        EXPECT_EQ(0, OnInstanceMessage(console, request, static_cast<WPARAM>(kind)));
    MSG posted = {};
    EXPECT_FALSE(PeekMessageA(&posted, console, WM_COMMAND, WM_COMMAND, PM_REMOVE));
    EXPECT_FALSE(IsWindowVisible(console));
    DestroyWindow(console);
}

} // namespace
