// Paths at and over the launcher's limits: command lines that would not fit, a path typed far beyond
// what the launcher holds, and ANSI letters in the home directory and the Java installation.
#include "app/ConsoleDialog.h"
#include "ui/Messages.h"
#include "framework/Text.h"
#include "java/JavaSearch.h"
#include "java/RegistryKey.h"
#include "java/Settings.h"
#include "process/JavaCommandLine.h"
#include "res/resource.h"
#include "support/Models.h"
#include "support/TestSupport.h"
#include "support/WholeConsole.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

const char kJdkKey[] = "SOFTWARE\\JavaSoft\\Java Development Kit";
const char kSettingsKey[] = "SOFTWARE\\Vantry\\Vantrybench";
const char kNotFound[] =
    " file not found.\r\nYou need first to install Java 1.2 or 1.3 then launch Vantry.exe program\r\n";
const char kGuard = '\x5A';

// --- Command lines ---------------------------------------------------------------------------------------

TEST(PathLimits, CommandLinesAreWholeOrRefusedNeverCutForAnyHomeAndBufferSize)
{
    const unsigned seed = TestSeed(2202);
    SCOPED_TRACE("seed " + std::to_string(seed));
    Dice dice(seed);
    const size_t guard = 32;
    const int iterations = 5000;
    int refused = 0;
    for (int i = 0; i < iterations && !::testing::Test::HasFailure(); ++i) {
        std::string home;
        switch (dice.Between(0, 3)) {
        case 0: home = std::string(dice.Between(590, 600), 'h'); break; // around the most a 5000-byte line holds
        case 1: home = dice.Bytes(dice.Between(0, 800), 1, 255); break;
        default: home = "C:\\" + dice.Bytes(dice.Between(0, 300), 0x20, 0xFF); break;
        }
        const bool server = dice.Chance(0.5);
        const std::string expected = server ? ExpectedServerCommandLine(home) : ExpectedInitCommandLine(home);
        size_t size;
        switch (dice.Between(0, 3)) {
        case 0: size = 5000; break; // the launcher's own command-line buffer
        case 1: size = expected.size() + 1 - std::min<size_t>(expected.size(), dice.Between(0, 2)); break;
        default: size = dice.Between(1, 6000); break;
        }
        size = std::max<size_t>(size, 1);

        std::vector<char> memory(guard + size + guard, kGuard);
        char* line = memory.data() + guard;
        int built =
            server ? BuildServerCommandLine(line, size, home.c_str()) : BuildInitCommandLine(line, size, home.c_str());
        std::string where = std::string(server ? "server" : "initialiser") + " line, home of " +
                            std::to_string(home.size()) + " characters, buffer of " + std::to_string(size) + " bytes";
        if (expected.size() < size) {
            ASSERT_EQ(1, built) << where;
            ASSERT_EQ(expected, std::string(line)) << where;
        } else {
            ++refused;
            ASSERT_EQ(0, built) << where;
            ASSERT_EQ('\0', line[0]) << "a refused line must be empty, not the start of a command; " << where;
        }
        for (size_t b = 0; b < guard; ++b) {
            ASSERT_EQ(kGuard, memory[b]) << "written before the buffer; " << where;
            ASSERT_EQ(kGuard, memory[guard + size + b]) << "written after the buffer; " << where;
        }
    }
    std::printf("[   INFO   ] %d lines, %d refused\n", iterations, refused);
    EXPECT_GT(refused, iterations / 10);
    // The server's line is 237 characters besides its eight copies of the home directory.
    EXPECT_EQ(237u + 8 * 595, ExpectedServerCommandLine(std::string(595, 'h')).size());
}

// --- A console window on a private registry, with the launcher placed in a home of the test's own ---------

std::string launcherPath;
DWORD WINAPI FakeModuleFileName(HMODULE, LPSTR path, DWORD size)
{
    CopyText(path, size, launcherPath.c_str());
    return static_cast<DWORD>(launcherPath.size() < size ? launcherPath.size() : size);
}

// What the test does with the Java path dialog when the start-up sequence opens it.
struct DialogAnswer {
    bool seen = false;
    std::string typed;    // typed into the edit, a key at a time and then pasted
    std::string setText;  // put into the edit as a whole by another program, when not empty
    std::string edit;     // what the edit held when OK was pressed
    bool refused = false; // OK was refused (no such file): the dialog is then cancelled
};
DialogAnswer answer;

BOOL CALLBACK AnswerWindow(HWND window, LPARAM)
{
    char title[128] = "";
    GetWindowTextA(window, title, sizeof title);
    if (!IsWindowVisible(window)) return TRUE;
    if (std::string(title) == "Vantry" && !GetDlgItem(window, IDC_CONSOLE) && !answer.refused) {
        answer.refused = true;
        PostMessageA(window, WM_COMMAND, IDOK, 0);
        return TRUE;
    }
    if (std::string(title) != "Vantry: Java not found") return TRUE;
    if (answer.seen) {
        if (answer.refused && IsWindowEnabled(window)) PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
        return TRUE;
    }
    answer.seen = true;
    HWND edit = FindWindowExA(GetDlgItem(window, IDC_JAVA_PATH), nullptr, "Edit", nullptr);
    if (!answer.setText.empty()) SetWindowTextA(edit, answer.setText.c_str());
    size_t keys = std::min<size_t>(answer.typed.size(), 100);
    for (size_t i = 0; i < keys; ++i) SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(answer.typed[i]), 1);
    if (keys < answer.typed.size())
        SendMessageA(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(answer.typed.c_str() + keys));
    std::vector<char> text(static_cast<size_t>(GetWindowTextLengthA(edit)) + 1);
    GetWindowTextA(edit, text.data(), static_cast<int>(text.size()));
    answer.edit = text.data();
    PostMessageA(window, WM_COMMAND, IDOK, 0);
    return TRUE;
}

void CALLBACK Answer(HWND, UINT, UINT_PTR, DWORD) { EnumThreadWindows(GetCurrentThreadId(), &AnswerWindow, 0); }

// Makes each folder of path in turn.
void MakeFolders(const std::string& path)
{
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
        CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    CreateDirectoryA(path.c_str(), nullptr);
}

class PathLimitsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        answer = DialogAnswer();
        sharedHomeDir[0] = '\0';
        timer = SetTimer(nullptr, 0, 50, &Answer);
    }
    void TearDown() override
    {
        KillTimer(nullptr, timer);
        EndConsole(dialog);
    }
    std::string Text() { return dialog.console.GetWindowText(); }
    HICON BigIcon() { return reinterpret_cast<HICON>(dialog.SendMessage(WM_GETICON, ICON_BIG, 0)); }
    static std::string Stored(const char* name)
    {
        RegistryKey key;
        if (!key.Open(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_READ)) return "<no key>";
        char value[1024] = "";
        DWORD size = sizeof value;
        if (RegQueryValueExA(key.Get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS)
            return "<none>";
        return value;
    }

    RegistrySandbox sandbox;
    ScopedOverride<decltype(settingsPlatform.moduleFileName)> module{ settingsPlatform.moduleFileName,
                                                                      &FakeModuleFileName };
    ConsoleDialog dialog;
    UINT_PTR timer = 0;
};

TEST_F(PathLimitsTest, AHomeTooLongForTheServersCommandLineIsRefusedWholeAndTheConsoleSaysSo)
{
    const unsigned seed = TestSeed(2203);
    SCOPED_TRACE("seed " + std::to_string(seed));
    Dice dice(seed);
    for (int i = 0; i < 6 && !HasFailure(); ++i) {
        ConsoleDialog console;
        ASSERT_TRUE(console.Create(IDD_CONSOLE, nullptr));
        // 596 characters are the shortest that do not fit; 779 the most a path buffer holds.
        size_t length = i == 0 ? 596 : i == 1 ? 779 : dice.Between(597, 778);
        std::string home = "C:\\" + dice.Bytes(length - 3, 0x20, 0xFF);
        SCOPED_TRACE("home of " + std::to_string(home.size()) + " characters");
        CopyText(console.homeDir, home.c_str());
        CopyText(console.javaExePath, TestChildPath().c_str());
        console.SendMessage(WM_START_SERVER);

        EXPECT_EQ(home, std::string(sharedHomeDir)); // taken whole
        EXPECT_TRUE(console.serverRunner.IsIdle()) << "a server was started";
        EXPECT_NE(std::string::npos, console.console.GetWindowText().find("\r\nCould not start the server with " +
                                                                          TestChildPath() + "\r\n"));
        EXPECT_EQ(console.tray.BigIcon(IDI_STOPPED),
                  reinterpret_cast<HICON>(console.SendMessage(WM_GETICON, ICON_BIG, 0)));
        EXPECT_EQ(0, console.initRunner.Launch(&console, TestChildPath().c_str(), home.c_str()));
        EXPECT_TRUE(console.initRunner.IsIdle()) << "an initialiser was started";
        sharedHomeDir[0] = '\0';
    }
}

// JavaOptions too long: the console says so and no server starts, neither without them nor with them cut.
TEST_F(PathLimitsTest, JavaOptionsTooLongForTheCommandLineAreReportedAndNoServerStarts)
{
    RegistryKey key;
    ASSERT_TRUE(key.Create(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_ALL_ACCESS));
    const std::string options(2048, 'o');
    RegSetValueExA(key.Get(), "JavaOptions", 0, REG_SZ, reinterpret_cast<const BYTE*>(options.c_str()), 2049);
    ASSERT_TRUE(dialog.Create(IDD_CONSOLE, nullptr));
    CopyText(dialog.homeDir, TempDir("options").c_str()); // a home from which the server would start
    CopyText(dialog.javaExePath, TestChildPath().c_str());
    dialog.SendMessage(WM_START_SERVER);
    EXPECT_TRUE(dialog.serverRunner.IsIdle()) << "a server was started";
    EXPECT_NE(std::string::npos, Text().find("\r\nThe Java options (JavaOptions) are too long for the command line: "
                                             "the server is not started.\r\n"));
}

TEST_F(PathLimitsTest, APathOf10000CharactersTypedIntoTheJavaDialogIsHeldAt779AndNothingElseIsOverwritten)
{
    std::string home = TempDir("typedpath");
    launcherPath = home + "\\Vantry.exe";
    answer.typed = "C:\\" + std::string(10000 - 12, 't') + "\\java.exe";
    dialog.CreateConsole();

    ASSERT_TRUE(answer.seen);
    EXPECT_EQ(answer.typed.substr(0, 779), answer.edit);
    EXPECT_TRUE(answer.refused); // no such file
    EXPECT_EQ("Bad path: java.exe", std::string(dialog.javaExePath));
    EXPECT_EQ(home, std::string(dialog.homeDir));
    EXPECT_EQ(home + "\\config\\vty3.2.sav", std::string(dialog.markerPath));
    EXPECT_EQ(0, dialog.serverReady);
    EXPECT_NE(std::string::npos, Text().find(std::string("Bad path: java.exe") + kNotFound));
    EXPECT_EQ("<none>", Stored("JavaExe"));
    EXPECT_EQ(dialog.tray.BigIcon(IDI_STOPPED), BigIcon());
}

TEST_F(PathLimitsTest, APathOf10000CharactersPutIntoTheJavaDialogByAnotherProgramNeverOverrunsTheLauncher)
{
    std::string home = TempDir("setpath");
    launcherPath = home + "\\Vantry.exe";
    answer.setText = "C:\\" + std::string(10000 - 12, 's') + "\\java.exe";
    dialog.CreateConsole();

    ASSERT_TRUE(answer.seen);
    EXPECT_TRUE(answer.refused);
    std::string java = dialog.javaExePath;
    EXPECT_LE(java.size(), 779u);
    // Refused whole: cut, it would name another file. The buffers behind it are intact.
    EXPECT_EQ("Bad path: java.exe", java) << java.substr(0, 40);
    EXPECT_EQ(home, std::string(dialog.homeDir));
    EXPECT_EQ(home + "\\config\\vty3.2.sav", std::string(dialog.markerPath));
    EXPECT_EQ(0, dialog.serverReady);
    EXPECT_NE(std::string::npos, Text().find(java + kNotFound));
    EXPECT_EQ("<none>", Stored("JavaExe"));
}

// A home directory of exactly `length` characters under folder, with ANSI letters and blanks in it.
std::string LongAnsiHome(const std::string& folder, size_t length)
{
    std::string home = folder;
    const std::string part = "\\\xE9t\xE9 M\xFCller \xC5ngstr\xF6m";
    while (home.size() + part.size() + 2 <= length) home += part;
    home += "\\" + std::string(length - home.size() - 1, '\xE9');
    return home;
}

TEST_F(PathLimitsTest, AHomeOf200CharactersAndAJavaHomeWithAnsiLettersWorkFromStartToReadiness)
{
    std::string home = LongAnsiHome(TempDir("ansihome"), 200);
    ASSERT_EQ(200u, home.size());
    MakeFolders(home);
    ASSERT_TRUE(PathExists(home)) << "the file system takes no such folder";
    MakeFolders(home + "\\tomcat\\conf");
    int port = FreeLoopbackPort();
    std::ofstream(home + "\\tomcat\\conf\\vantry-port.txt") << port << "\r\n";
    launcherPath = home + "\\Vantry.exe";

    std::string javaHome = TempDir("ansijava") + "\\J\xE9r\xF4me M\xFCller\\jdk1.3.1";
    std::string java = MakeJava(javaHome);
    ASSERT_TRUE(PathExists(java));
    {
        RegistryKey key;
        ASSERT_TRUE(key.Create(HKEY_LOCAL_MACHINE, (std::string(kJdkKey) + "\\1.3.1").c_str(), KEY_ALL_ACCESS));
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetValueExA(key.Get(), "JavaHome", 0, REG_SZ, reinterpret_cast<const BYTE*>(javaHome.c_str()),
                                 static_cast<DWORD>(javaHome.size() + 1)));
    }

    // No marker file yet: the initialiser runs first, and its end starts the server.
    dialog.CreateConsole();
    EXPECT_FALSE(answer.seen);
    EXPECT_EQ(java, std::string(dialog.javaExePath));
    EXPECT_EQ(java, Stored("JavaExe"));
    EXPECT_EQ(home, std::string(dialog.homeDir));
    ASSERT_TRUE(WaitUntil([&] { return dialog.serverReady == 1; }, 60000)) << Text();
    EXPECT_EQ(home, std::string(sharedHomeDir));
    EXPECT_NE(std::string::npos, Text().find("Vantry initialisation finished"));
    EXPECT_TRUE(PathExists(home + "\\config\\vty3.2.sav"));
    EXPECT_EQ("http://localhost:" + std::to_string(port) + "/Vantry", dialog.serverRunner.ApplicationUrl());
    EXPECT_NE(std::string::npos, HttpGet(port, "/Vantry").find("<title>Vantry</title>"));
}

} // namespace
