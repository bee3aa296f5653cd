// The server's life in the console: started, ready, ended, with the stand-in Java runtime.
#include "app/ConsoleDialog.h"
#include "ui/Messages.h"
#include "framework/Text.h"
#include "res/resource.h"
#include "support/TestSupport.h"
#include "support/WholeConsole.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

class ServerLifeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sharedHomeDir[0] = '\0';
        ASSERT_TRUE(dialog.Create(IDD_CONSOLE, nullptr));
        dialog.ShowWindow(SW_SHOW);
        dialog.TrayBusy();
        CopyText(dialog.javaExePath, StandinJavaPath().c_str());
    }
    void TearDown() override { EndConsole(dialog); }
    void UseHome(const std::string& home)
    {
        CopyText(dialog.homeDir, home.c_str());
        CopyText(dialog.markerPath, (home + "\\config\\vty3.2.sav").c_str());
    }
    std::string Text() { return dialog.console.GetWindowText(); }
    HICON BigIcon() { return reinterpret_cast<HICON>(dialog.SendMessage(WM_GETICON, ICON_BIG, 0)); }
    bool Ready(DWORD ms = 30000)
    {
        return WaitUntil([&] { return dialog.serverReady == 1; }, ms);
    }
    bool Ended(DWORD ms = 30000)
    {
        return WaitUntil([&] { return Text().find("\r\nVantry has been terminated.\r\n") != std::string::npos; }, ms);
    }

    TrayRecorder shell;
    ConsoleDialog dialog;
};

TEST_F(ServerLifeTest, ServerStartsBecomesReadyServesItsPageAndEndsWithTheTerminatedLine)
{
    int port = FreeLoopbackPort();
    std::string home = MakeServerHome("life", port);
    UseHome(home);
    EXPECT_EQ("", std::string(sharedHomeDir));
    EXPECT_FALSE(dialog.javadocButton.IsWindowEnabled());

    dialog.PostMessage(WM_START_SERVER);
    ASSERT_TRUE(WaitUntil([&] { return sharedHomeDir[0] != '\0'; }, 5000));
    EXPECT_EQ(home, std::string(sharedHomeDir));
    EXPECT_TRUE(dialog.javadocButton.IsWindowEnabled());
    EXPECT_FALSE(dialog.gotoButton.IsWindowEnabled());

    ASSERT_TRUE(Ready()) << Text();
    EXPECT_TRUE(dialog.gotoButton.IsWindowEnabled());
    EXPECT_EQ(dialog.gotoButton.m_hWnd, GetFocus());
    EXPECT_EQ(dialog.tray.BigIcon(IDI_READY), BigIcon());
    EXPECT_EQ(-1, dialog.tray.animFrame);
    EXPECT_TRUE(PathExists(home + "\\config\\vty3.2.sav"));
    EXPECT_EQ("http://localhost:" + std::to_string(port) + "/Vantry", dialog.serverRunner.ApplicationUrl());
    // The server runs in the home directory (the stand-in leaves its working directory there).
    EXPECT_EQ(home, ReadWholeFile(home + "\\tomcat\\working-directory.txt"));
    EXPECT_NE(std::string::npos, HttpGet(port, "/Vantry").find("<title>Vantry</title>"));

    // Readiness again: the marker file is made empty anew.
    std::ofstream(home + "\\config\\vty3.2.sav") << "not empty";
    dialog.PostMessage(WM_SERVER_READY);
    PumpFor(200);
    EXPECT_EQ("", ReadWholeFile(home + "\\config\\vty3.2.sav"));
    EXPECT_EQ(1, dialog.serverReady);

    dialog.serverRunner.Stop();
    ASSERT_TRUE(Ended());
    EXPECT_EQ(0, dialog.serverReady);
    EXPECT_FALSE(dialog.gotoButton.IsWindowEnabled());
    EXPECT_TRUE(dialog.javadocButton.IsWindowEnabled());
    EXPECT_EQ(dialog.tray.BigIcon(IDI_STOPPED), BigIcon());
    EXPECT_EQ(home, std::string(sharedHomeDir));
    EXPECT_EQ("", HttpGet(port, "/Vantry")); // the port is free again

    // A readiness that arrives after the end changes nothing.
    dialog.PostMessage(WM_SERVER_READY);
    PumpFor(200);
    EXPECT_EQ(0, dialog.serverReady);
    EXPECT_EQ(dialog.tray.BigIcon(IDI_STOPPED), BigIcon());
    EXPECT_FALSE(dialog.gotoButton.IsWindowEnabled());
}

TEST_F(ServerLifeTest, TakenPortStopsTheServerWithoutReadinessOrMarkerFile)
{
    int port = FreeLoopbackPort();
    std::string home = MakeServerHome("taken", port);
    UseHome(home);
    // The first server holds the port.
    ServingConsole first;
    ASSERT_TRUE(first.Serve(home));

    dialog.ShowWindow(SW_HIDE);
    shell.calls.clear(); // the first console, hidden too, told its readiness
    dialog.OnStartServer();
    ASSERT_TRUE(Ended());
    EXPECT_NE(std::string::npos, Text().find("java.net.BindException"));
    // The hidden console's user is told why, with the port the server's own words name.
    PumpFor(200);
    std::vector<std::string> told = { "Vantry|Vantry has stopped.\nPort " + std::to_string(port) + " is in use." };
    EXPECT_EQ(told, shell.Balloons());
    EXPECT_EQ(0, dialog.serverReady);
    EXPECT_EQ(dialog.tray.BigIcon(IDI_STOPPED), BigIcon());
    EXPECT_FALSE(dialog.gotoButton.IsWindowEnabled());
    EXPECT_TRUE(dialog.javadocButton.IsWindowEnabled());
    EXPECT_FALSE(PathExists(home + "\\config\\vty3.2.sav"));
    // The first server goes on undisturbed.
    EXPECT_EQ(1, first.dialog.serverReady);
    EXPECT_NE(std::string::npos, HttpGet(port, "/Vantry").find("<title>Vantry</title>"));
}

TEST_F(ServerLifeTest, WithoutAConfigFolderNoMarkerFileIsMadeAndNothingBreaks)
{
    int port = FreeLoopbackPort();
    std::string home = MakeServerHome("noconfig", port, false);
    UseHome(home);
    dialog.OnStartServer();
    ASSERT_TRUE(Ready()) << Text();
    EXPECT_FALSE(PathExists(home + "\\config\\vty3.2.sav"));
}

TEST_F(ServerLifeTest, InitialiserRunsFirstAndItsEndStartsTheServer)
{
    int port = FreeLoopbackPort();
    std::string home = MakeServerHome("init", port, false);
    UseHome(home);
    dialog.initRunner.SetNotify(&dialog, WM_START_SERVER);
    ASSERT_EQ(1, dialog.initRunner.Launch(&dialog, dialog.javaExePath, dialog.homeDir));
    ASSERT_TRUE(Ready()) << Text();
    std::string text = Text();
    // The initialiser's output, then the server's.
    size_t init = text.find("Vantry initialisation finished"), server = text.find("Starting tomcat");
    ASSERT_NE(std::string::npos, init);
    ASSERT_NE(std::string::npos, server);
    EXPECT_LT(init, server);
    EXPECT_TRUE(PathExists(home + "\\config\\vty3.2.sav")); // the initialiser made config
}

TEST_F(ServerLifeTest, JavaThatCannotBeStartedIsReportedAndShowsStopped)
{
    std::string home = MakeServerHome("nojava", FreeLoopbackPort());
    UseHome(home);
    CopyText(dialog.javaExePath, home.c_str()); // a directory is no program
    dialog.OnStartServer();
    EXPECT_NE(std::string::npos, Text().find("Could not start the server with " + home));
    EXPECT_EQ(dialog.tray.BigIcon(IDI_STOPPED), BigIcon());
    EXPECT_EQ(-1, dialog.tray.animFrame);
    EXPECT_EQ(home, std::string(sharedHomeDir));
}

TEST_F(ServerLifeTest, HomeTooLongForTheCommandLineIsReportedNotCut)
{
    std::string home = "C:\\" + std::string(600, 'h');
    UseHome(home);
    dialog.OnStartServer();
    EXPECT_NE(std::string::npos, Text().find("Could not start the server"));
    EXPECT_EQ(dialog.tray.BigIcon(IDI_STOPPED), BigIcon());
    EXPECT_TRUE(dialog.serverRunner.IsIdle());
}

} // namespace
