// The Java programs' command lines and what the launcher reads in the server's output.
#include "app/ConsoleDialog.h"
#include "app/Messages.h"
#include "app/Shell.h"
#include "framework/Text.h"
#include "process/JavaCommandLine.h"
#include "res/resource.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Replace(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

const char kInitTemplate[] =
    " -classpath \"H\\tomcat\\lib\\jaxp.Jar;H\\tomcat\\lib\\xmlParserAPIs.Jar;H\\tomcat\\lib\\ant.Jar;"
    "H\\tomcat\\lib\\jasper.Jar;H\\tomcat\\lib\\parser.Jar;H\\tomcat\\lib\\servlet.Jar;"
    "H\\tomcat\\lib\\webserver.Jar;H\\tomcat\\webapps\\Vantry\\WEB-INF\\classes\" vty.vantry.InitVantry";
const char kServerTemplate[] =
    " -Dtomcat.home=\"H\\tomcat\" -classpath \"H\\tomcat\\lib\\jaxp.Jar;H\\tomcat\\lib\\xmlParserAPIs.Jar;"
    "H\\tomcat\\lib\\ant.Jar;H\\tomcat\\lib\\jasper.Jar;H\\tomcat\\lib\\parser.Jar;H\\tomcat\\lib\\servlet.Jar;"
    "H\\tomcat\\lib\\webserver.jar\" org.apache.tomcat.startup.Tomcat";

TEST(JavaCommandLines, AreExactForAHomeWithSpacesAndHoldTheHomeEightTimes)
{
    const std::string home = "C:\\My Apps\\Vantry";
    char line[kCommandLineSize];
    ASSERT_EQ(1, BuildInitCommandLine(line, sizeof line, home.c_str()));
    EXPECT_EQ(Replace(kInitTemplate, "H", home), line);
    ASSERT_EQ(1, BuildServerCommandLine(line, sizeof line, home.c_str()));
    EXPECT_EQ(Replace(kServerTemplate, "H\\", home + "\\"), line);

    for (auto build : { &BuildInitCommandLine, &BuildServerCommandLine }) {
        build(line, sizeof line, "#");
        EXPECT_EQ(8, std::count(line, line + std::strlen(line), '#'));
    }
    // The server's line is 237 characters besides its eight copies of the home directory.
    BuildServerCommandLine(line, sizeof line, "");
    EXPECT_EQ(237u, std::strlen(line));
}

TEST(JavaCommandLines, ALineThatWouldNotFitIsRefusedWholeNeverCut)
{
    char line[kCommandLineSize];
    // 237 + 8 * 595 = 4997 characters fit the 5000-byte buffer with its terminator; 596 does not.
    EXPECT_EQ(1, BuildServerCommandLine(line, sizeof line, std::string(595, 'h').c_str()));
    EXPECT_EQ(4997u, std::strlen(line));
    EXPECT_EQ(0, BuildServerCommandLine(line, sizeof line, std::string(596, 'h').c_str()));
    EXPECT_EQ('\0', line[0]);

    BuildInitCommandLine(line, sizeof line, "");
    size_t fixed = std::strlen(line);
    size_t longest = (kCommandLineSize - 1 - fixed) / 8;
    EXPECT_EQ(1, BuildInitCommandLine(line, sizeof line, std::string(longest, 'h').c_str()));
    EXPECT_EQ(0, BuildInitCommandLine(line, sizeof line, std::string(longest + 1, 'h').c_str()));
    EXPECT_EQ('\0', line[0]);
}

TEST(ApplicationAddress, IsTheLineAfterTheMarkerWhenItIsASafeWebAddress)
{
    char url[ServerRunner::kUrlSize] = "previous";
    EXPECT_EQ(1, FindApplicationUrl("Vantry url: http://localhost:8080/Vantry\r\n", url, sizeof url));
    EXPECT_STREQ("http://localhost:8080/Vantry", url);
    EXPECT_EQ(1, FindApplicationUrl("started\r\nVantry url:   https://host/app  \r\nnext line\r\n", url, sizeof url));
    EXPECT_STREQ("https://host/app", url);
    EXPECT_EQ(1, FindApplicationUrl("Vantry url: http://a/1\nVantry url: C:\\x.exe\nVantry url: http://b/2\n", url,
                                    sizeof url));
    EXPECT_STREQ("http://b/2", url); // the last acceptable one

    CopyText(url, "kept");
    for (const char* unsafe :
         { "Vantry url: C:\\Windows\\system32\\calc.exe\r\n", "Vantry url: file:///C:/x.exe\r\n",
           "Vantry url: javascript:alert(1)\r\n", "Vantry url: \r\n", "Vantry url: http://a b/\r\n",
           "vantry url: http://lower/case\r\n", "Vantry url:http://no-blank/\r\n" }) {
        EXPECT_EQ(0, FindApplicationUrl(unsafe, url, sizeof url)) << unsafe;
        EXPECT_STREQ("kept", url);
    }
    std::string longest = "Vantry url: http://" + std::string(999 - 7, 'x');
    EXPECT_EQ(1, FindApplicationUrl(longest.c_str(), url, sizeof url));
    EXPECT_EQ(999u, std::strlen(url));
    EXPECT_EQ(0, FindApplicationUrl((longest + "y").c_str(), url, sizeof url));
}

std::vector<std::string> opened;
void RecordOpen(const char* target) { opened.push_back(target); }

class ServerOutputTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dialog.Create(IDD_CONSOLE, nullptr));
        // A launch makes the console the runners' owner; the child here ignores the Java options and ends.
        CopyText(sharedHomeDir, TestBinDir().c_str());
        ASSERT_EQ(1, dialog.serverRunner.Launch(&dialog, TestChildPath().c_str()));
        ASSERT_EQ(1, dialog.initRunner.Launch(&dialog, TestChildPath().c_str(), TestBinDir().c_str()));
        ASSERT_TRUE(WaitUntil([&] { return dialog.serverRunner.IsIdle() && dialog.initRunner.IsIdle(); }, 10000));
        sharedHomeDir[0] = '\0';
        dialog.serverRunner.SetNotify(&dialog, WM_SERVER_ENDED);
        opened.clear();
        ShellOpen = &RecordOpen;
    }
    void TearDown() override { ShellOpen = &ShellOpenDefault; }

    // Gives the chunk to the server's output handling as its reader would.
    void Chunk(std::string text)
    {
        std::vector<char> buffer(text.begin(), text.end());
        buffer.push_back('\0');
        dialog.serverRunner.OnOutput(buffer.data(), static_cast<int>(text.size()));
    }
    int ReadinessPosted()
    {
        int count = 0;
        MSG msg;
        while (PeekMessageA(&msg, dialog.m_hWnd, WM_SERVER_READY, WM_SERVER_READY, PM_REMOVE)) ++count;
        return count;
    }
    std::string Text() { return dialog.console.GetWindowText(); }
    // A child standing in for the server, so that a stop request can be seen.
    void RunServer()
    {
        line = "test_child.exe sleep:60000";
        ASSERT_EQ(1, dialog.serverRunner.Start(TestChildPath().c_str(), &line[0], TestBinDir().c_str(), SW_HIDE, 0));
    }
    bool Stopped(DWORD ms) { return WaitUntil([&] { return dialog.serverRunner.IsIdle(); }, ms); }

    ConsoleDialog dialog;
    std::string line;
};

TEST_F(ServerOutputTest, DefaultAddressIsOpenedBeforeAnyMarker)
{
    dialog.serverRunner.OpenApplicationUrl();
    ASSERT_EQ(1u, opened.size());
    EXPECT_EQ("http://localhost/Vantry", opened[0]);
}

TEST_F(ServerOutputTest, EveryChunkReachesTheConsoleUpToItsFirstNul)
{
    Chunk("Starting tomcat\r\n");
    Chunk(std::string("shown\0Vantry is initialized hidden", 35));
    EXPECT_EQ("Starting tomcat\r\nshown", Text());
    EXPECT_EQ(0, ReadinessPosted());
}

TEST_F(ServerOutputTest, AddressAndReadinessInOneChunkTakeTheAddressOnly)
{
    Chunk("Vantry url: http://localhost:9/Vantry\r\nVantry is initialized\r\n");
    EXPECT_EQ("http://localhost:9/Vantry", dialog.serverRunner.ApplicationUrl());
    EXPECT_EQ(0, ReadinessPosted());
    Chunk("Vantry is initialized\r\n");
    EXPECT_EQ(1, ReadinessPosted());
    dialog.serverRunner.OpenApplicationUrl();
    ASSERT_EQ(1u, opened.size());
    EXPECT_EQ("http://localhost:9/Vantry", opened[0]);
}

TEST_F(ServerOutputTest, UnsafeAddressKeepsThePreviousOneAndStillShowsInTheConsole)
{
    Chunk("Vantry url: http://localhost:9/Vantry\r\n");
    Chunk("echo: Vantry url: C:\\Windows\\system32\\calc.exe\r\n");
    EXPECT_EQ("http://localhost:9/Vantry", dialog.serverRunner.ApplicationUrl());
    EXPECT_NE(std::string::npos, Text().find("calc.exe"));
}

TEST_F(ServerOutputTest, ReadinessAndPortTakenInOneChunkReportReadinessAndKeepTheServer)
{
    RunServer();
    Chunk("Vantry is initialized\r\njava.net.BindException: Address already in use\r\n");
    EXPECT_EQ(1, ReadinessPosted());
    EXPECT_FALSE(Stopped(500));
    dialog.serverRunner.Stop();
    EXPECT_TRUE(Stopped(10000));
}

TEST_F(ServerOutputTest, PortTakenStopsTheServer)
{
    RunServer();
    Chunk("java.net.BindException: Address already in use: JVM_Bind\r\n\tat java.net.PlainSocketImpl.bind\r\n");
    EXPECT_TRUE(Stopped(10000));
}

TEST_F(ServerOutputTest, MarkersSplitBetweenChunksOrInOtherLetterCaseAreNotSeen)
{
    RunServer();
    Chunk("Vantry is ini");
    Chunk("tialized\r\n");
    Chunk("VANTRY IS INITIALIZED\r\njava.net.bindexception\r\n");
    Chunk("java.net.Bind");
    Chunk("Exception\r\n");
    Chunk("Vantry ur");
    Chunk("l: http://split/\r\n");
    EXPECT_EQ(0, ReadinessPosted());
    EXPECT_FALSE(Stopped(300));
    EXPECT_EQ("http://localhost/Vantry", dialog.serverRunner.ApplicationUrl());
    dialog.serverRunner.Stop();
    EXPECT_TRUE(Stopped(10000));
}

TEST_F(ServerOutputTest, InitialisersOutputIsNeverSearched)
{
    std::string text = "Vantry url: http://init/\r\nVantry is initialized\r\njava.net.BindException\r\n";
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    dialog.initRunner.OnOutput(buffer.data(), static_cast<int>(text.size()));
    EXPECT_EQ(text, Text());
    EXPECT_EQ(0, ReadinessPosted());
    EXPECT_EQ("http://localhost/Vantry", dialog.serverRunner.ApplicationUrl());
}

} // namespace
