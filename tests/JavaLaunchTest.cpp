// The Java programs' command lines and what the launcher reads in the server's output.
#include "app/ConsoleDialog.h"
#include "ui/Messages.h"
#include "framework/Shell.h"
#include "framework/Text.h"
#include "process/JavaCommandLine.h"
#include "res/resource.h"
#include "support/TestSupport.h"
#include "support/WholeConsole.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The runner reads its child's output 2048 bytes at a time.
constexpr size_t kReadBytes = 2048;

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
    char line[5000]; // the launcher's command-line buffer, terminator included
    ASSERT_EQ(1, BuildInitCommandLine(line, sizeof line, home.c_str()));
    EXPECT_EQ(Replace(kInitTemplate, "H", home), line);
    ASSERT_EQ(1, BuildServerCommandLine(line, sizeof line, home.c_str()));
    EXPECT_EQ(Replace(kServerTemplate, "H\\", home + "\\"), line);
    // The server's stop command reaches the server of the same tomcat.home and class path.
    ASSERT_EQ(1, BuildServerStopCommandLine(line, sizeof line, home.c_str()));
    EXPECT_EQ(Replace(kServerTemplate, "H\\", home + "\\") + " -stop", line);

    for (auto build : { &BuildInitCommandLine, &BuildServerCommandLine }) {
        build(line, sizeof line, "#", "");
        EXPECT_EQ(8, std::count(line, line + std::strlen(line), '#'));
    }
    // The server's line is 237 characters besides its eight copies of the home directory.
    BuildServerCommandLine(line, sizeof line, "");
    EXPECT_EQ(237u, std::strlen(line));
}

// JavaOptions go right after the program's name in both lines, whole or not at all; none leave the
// lines as they were, and the stop command never has them.
TEST(JavaCommandLines, TheOptionsComeFirstInBothLinesWholeOrTheLineIsRefused)
{
    const std::string home = "C:\\My Apps\\Vantry", longest(2047, 'x');
    const std::string init = Replace(kInitTemplate, "H", home), server = Replace(kServerTemplate, "H\\", home + "\\");
    const struct {
        std::string options, home;
        bool fits;
        std::string prefix; // before each line as it was
    } cases[] = {
        { "-Xmx1g -Dfile.encoding=UTF-8", home, true, " -Xmx1g -Dfile.encoding=UTF-8" },
        { longest, home, true, " " + longest },
        { longest + "x", home, false, "" },
        // 2047 characters of options and a home of 400 need more than the 5000-byte buffer.
        { longest, std::string(400, 'h'), false, "" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options.substr(0, 40) + " / home of " + std::to_string(c.home.size()));
        char line[kCommandLineSize];
        EXPECT_EQ(c.fits, JavaOptionsFit(c.options.c_str(), c.home.c_str()));
        EXPECT_EQ(c.fits ? 1 : 0, BuildInitCommandLine(line, sizeof line, c.home.c_str(), c.options.c_str()));
        EXPECT_EQ(c.fits ? c.prefix + init : "", line);
        EXPECT_EQ(c.fits ? 1 : 0, BuildServerCommandLine(line, sizeof line, c.home.c_str(), c.options.c_str()));
        EXPECT_EQ(c.fits ? c.prefix + server : "", line);
    }
}

TEST(JavaCommandLines, ALineThatWouldNotFitIsRefusedWholeNeverCut)
{
    char line[5000]; // the launcher's command-line buffer, terminator included
    // 237 + 8 * 595 = 4997 characters fit the 5000-byte buffer with its terminator; 596 does not.
    EXPECT_EQ(1, BuildServerCommandLine(line, sizeof line, std::string(595, 'h').c_str()));
    EXPECT_EQ(4997u, std::strlen(line));
    EXPECT_EQ(0, BuildServerCommandLine(line, sizeof line, std::string(596, 'h').c_str()));
    EXPECT_EQ('\0', line[0]);
    // The stop command's line is 6 characters longer: a server of that home runs, its stop command
    // is refused (the server is then ended at the exit's deadline), never run cut.
    EXPECT_EQ(1, BuildServerStopCommandLine(line, sizeof line, std::string(594, 'h').c_str()));
    EXPECT_EQ(4995u, std::strlen(line));
    EXPECT_EQ(0, BuildServerStopCommandLine(line, sizeof line, std::string(595, 'h').c_str()));
    EXPECT_EQ('\0', line[0]);

    BuildInitCommandLine(line, sizeof line, "");
    size_t fixed = std::strlen(line);
    size_t longest = (5000 - 1 - fixed) / 8;
    EXPECT_EQ(1, BuildInitCommandLine(line, sizeof line, std::string(longest, 'h').c_str()));
    EXPECT_EQ(0, BuildInitCommandLine(line, sizeof line, std::string(longest + 1, 'h').c_str()));
    EXPECT_EQ('\0', line[0]);
}

// What a MarkerScanner reports, in order: "url <address>", "ready" or "stop".
struct MarkerRecorder : MarkerScanner::Listener {
    std::vector<std::string> seen;
    void OnAddress(const char* url) override { seen.push_back(std::string("url ") + url); }
    void OnReady() override { seen.push_back("ready"); }
    void OnPortTaken() override { seen.push_back("stop"); }
};

std::vector<std::string> Markers(const std::vector<std::string>& reads)
{
    MarkerScanner scanner;
    MarkerRecorder recorder;
    for (const std::string& read : reads) scanner.Scan(read.c_str(), recorder);
    return recorder.seen;
}

using Seen = std::vector<std::string>;

TEST(ServerMarkers, AnAddressIsTheTextAfterTheMarkerToItsLineEndWhenItIsASafeWebAddress)
{
    EXPECT_EQ(Seen({ "url http://localhost:8080/Vantry" }),
              Markers({ "Vantry url: http://localhost:8080/Vantry\r\n" }));
    EXPECT_EQ(Seen({ "url https://host/app" }),
              Markers({ "started\r\nVantry url: \t https://host/app  \r\nnext\r\n" }));
    // Taken once its line has ended; a lone CR ends it as well.
    EXPECT_EQ(Seen(), Markers({ "Vantry url: http://a/1" }));
    EXPECT_EQ(Seen({ "url http://a/1" }), Markers({ "Vantry url: http://a/1", "\rmore" }));
    EXPECT_EQ(Seen({ "url http://a/1", "url http://b/2" }),
              Markers({ "Vantry url: http://a/1\nVantry url: C:\\x.exe\nVantry url: http://b/2\n" }));
    for (const char* unsafe :
         { "Vantry url: C:\\Windows\\system32\\calc.exe\r\n", "Vantry url: file:///C:/x.exe\r\n",
           "Vantry url: javascript:alert(1)\r\n", "Vantry url: \r\n", "Vantry url: http://a b/\r\n",
           "Vantry url: http://a\x01/\r\n", "vantry url: http://lower/case\r\n", "Vantry url:http://no-blank/\r\n" })
        EXPECT_EQ(Seen(), Markers({ unsafe })) << unsafe;
    std::string longest = "http://" + std::string(999 - 7, 'x');
    EXPECT_EQ(Seen({ "url " + longest }), Markers({ "Vantry url: " + longest + "\n" }));
    EXPECT_EQ(Seen(), Markers({ "Vantry url: " + longest + "y\n" }));
    // Blanks around it cost nothing however many there are.
    std::string blanks(1 << 20, ' ');
    EXPECT_EQ(Seen({ "url http://c/" }), Markers({ "Vantry url: " + blanks, "http://c/" + blanks, blanks + "\r\n" }));
}

TEST(ServerMarkers, EveryMarkerActsOnceInTheOrderOfTheOutputWhereverTheReadsCutIt)
{
    const std::string stream = "Vantry url: http://a/\r\nVantry is initialized\r\njava.net.BindException: in use\r\n"
                               "Vantry url: http://b/\nVantry is initialized";
    const Seen expected = { "url http://a/", "ready", "stop", "url http://b/", "ready" };
    EXPECT_EQ(expected, Markers({ stream }));
    for (size_t cut = 1; cut < stream.size(); ++cut)
        EXPECT_EQ(expected, Markers({ stream.substr(0, cut), stream.substr(cut) })) << "cut after " << cut;
    std::vector<std::string> bytes;
    for (char c : stream) bytes.push_back(std::string(1, c));
    EXPECT_EQ(expected, Markers(bytes));
    // Readiness and a taken port act as soon as their marker is whole, before the line ends.
    EXPECT_EQ(Seen({ "ready" }), Markers({ "xVantry is initialized" }));
    EXPECT_EQ(Seen({ "stop" }), Markers({ "java.net.Bind", "Exception" }));
    // A megabyte line holds a marker in its middle.
    std::string half(1 << 19, '-');
    std::vector<std::string> reads;
    std::string line = half + "Vantry is initialized" + half;
    for (size_t at = 0; at < line.size(); at += kReadBytes) reads.push_back(line.substr(at, kReadBytes));
    EXPECT_EQ(Seen({ "ready" }), Markers(reads));
}

std::vector<std::string> opened;
void RecordOpen(const char* target) { opened.push_back(target); }

class ServerOutputTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dialog.Create(IDD_CONSOLE, nullptr));
        ASSERT_TRUE(AdoptRunners(dialog));
        dialog.serverRunner.SetNotify(&dialog, WM_SERVER_ENDED);
        opened.clear();
    }
    void TearDown() override { sharedHomeDir[0] = '\0'; }

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
    bool Stopped(DWORD ms)
    {
        return WaitUntil([&] { return dialog.serverRunner.IsIdle(); }, ms);
    }

    // The test child as the server, as the launcher starts it, writing what steps say.
    void StartServer(const std::string& steps)
    {
        home = TempDir("markers");
        CopyText(dialog.homeDir, home.c_str());
        CopyText(dialog.markerPath, (home + "\\ready.sav").c_str());
        CopyText(dialog.javaExePath, TestChildPath().c_str());
        SetEnvironmentVariableA("VANTRY_TEST_STEPS", steps.c_str());
        dialog.OnStartServer();
        SetEnvironmentVariableA("VANTRY_TEST_STEPS", nullptr);
    }
    // "Go to Vantry" is enabled only while the server is ready; the marker file stays.
    bool BecameReady() { return PathExists(home + "\\ready.sav"); }
    bool Ready(DWORD ms)
    {
        return WaitUntil([&] { return dialog.gotoButton.IsWindowEnabled() != FALSE; }, ms);
    }
    bool Ended(DWORD ms)
    {
        return WaitUntil([&] { return Text().find("Vantry has been terminated.") != std::string::npos; }, ms);
    }

    ScopedOverride<decltype(shellPlatform.open)> open{ shellPlatform.open, &RecordOpen };
    ConsoleDialog dialog;
    std::string line;
    std::string home;
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

TEST_F(ServerOutputTest, AnAddressAndReadinessInOneWriteGiveBoth)
{
    StartServer("out:Vantry\\surl:\\shttp://localhost:9/Vantry\\r\\nVantry\\sis\\sinitialized\\r\\n sleep:60000");
    ASSERT_TRUE(Ready(20000)) << Text();
    EXPECT_EQ("http://localhost:9/Vantry", dialog.serverRunner.ApplicationUrl());
    dialog.serverRunner.OpenApplicationUrl();
    ASSERT_EQ(1u, opened.size());
    EXPECT_EQ("http://localhost:9/Vantry", opened[0]);
}

TEST_F(ServerOutputTest, ReadinessAfterALineThatFillsTheReadIsSeenWhereverTheReadsCutIt)
{
    // 2030 bytes and a line end: the marker begins 16 bytes before the end of a 2048-byte read.
    StartServer("out:" + std::string(2030, '-') + "\\r\\nVantry\\sis\\sinitialized\\r\\n sleep:60000");
    EXPECT_TRUE(Ready(20000)) << Text().size() << " bytes shown";
}

TEST_F(ServerOutputTest, AMarkerInTheMiddleOfAMegabyteLineIsSeen)
{
    StartServer("line:1048576:Vantry\\sis\\sinitialized sleep:60000");
    EXPECT_TRUE(Ready(60000)) << Text().size() << " bytes shown";
}

TEST_F(ServerOutputTest, APortTakenAfterReadinessStopsTheServerAlsoWhereTheReadsCutIt)
{
    // Readiness, then a taken port that begins 10 bytes before the end of the first 2048-byte read.
    StartServer("out:Vantry\\sis\\sinitialized\\r\\n" + std::string(2013, '-') +
                "\\r\\njava.net.BindException:\\sAddress\\salready\\sin\\suse\\r\\n sleep:60000");
    EXPECT_TRUE(Ended(20000)) << "the server was not stopped";
    EXPECT_TRUE(BecameReady());
    EXPECT_TRUE(dialog.serverRunner.IsIdle());
}

TEST_F(ServerOutputTest, UnsafeAddressKeepsThePreviousOneAndStillShowsInTheConsole)
{
    Chunk("Vantry url: http://localhost:9/Vantry\r\n");
    Chunk("echo: Vantry url: C:\\Windows\\system32\\calc.exe\r\n");
    EXPECT_EQ("http://localhost:9/Vantry", dialog.serverRunner.ApplicationUrl());
    EXPECT_NE(std::string::npos, Text().find("calc.exe"));
}

TEST_F(ServerOutputTest, PortTakenStopsTheServer)
{
    RunServer();
    Chunk("java.net.BindException: Address already in use: JVM_Bind\r\n\tat java.net.PlainSocketImpl.bind\r\n");
    EXPECT_TRUE(Stopped(10000));
}

TEST_F(ServerOutputTest, MarkersSplitBetweenReadsAreSeenButNotInOtherLetterCase)
{
    RunServer();
    Chunk("Vantry is ini");
    Chunk("tialized");
    EXPECT_EQ(1, ReadinessPosted());
    Chunk("\r\nVANTRY IS INITIALIZED\r\njava.net.bindexception\r\n");
    EXPECT_EQ(0, ReadinessPosted());
    EXPECT_FALSE(Stopped(300));
    Chunk("Vantry ur");
    Chunk("l: http://split/");
    EXPECT_EQ("http://localhost/Vantry", dialog.serverRunner.ApplicationUrl());
    Chunk("\r\n");
    EXPECT_EQ("http://split/", dialog.serverRunner.ApplicationUrl());
    Chunk("java.net.Bind");
    Chunk("Exception\r\n");
    EXPECT_TRUE(Stopped(10000));
    const std::string shown = "Vantry is initialized\r\nVANTRY IS INITIALIZED\r\njava.net.bindexception\r\n"
                              "Vantry url: http://split/\r\njava.net.BindException\r\n";
    EXPECT_EQ(shown, Text().substr(0, shown.size()));
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
