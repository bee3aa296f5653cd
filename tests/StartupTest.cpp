// The start-up sequence on a private HKEY_LOCAL_MACHINE, with the launcher placed in a home of the
// test's own and the message box and the Java path dialog answered by the test.
#include "app/ConsoleDialog.h"
#include "app/ExitPlatform.h"
#include "ui/Messages.h"
#include "framework/Text.h"
#include "java/Settings.h"
#include "res/resource.h"
#include "support/TestSupport.h"
#include "support/WholeConsole.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

const char kSettingsKey[] = "SOFTWARE\\Vantry\\Vantrybench";
const char kJdkKey[] = "SOFTWARE\\JavaSoft\\Java Development Kit";
const char kJreKey[] = "SOFTWARE\\JavaSoft\\Java Runtime Environment";

std::string launcherPath;
DWORD WINAPI FakeModuleFileName(HMODULE, LPSTR path, DWORD size)
{
    CopyText(path, size, launcherPath.c_str());
    return static_cast<DWORD>(launcherPath.size());
}

void RecordExit(int) {}

// What the user answers, and what the test saw of the windows.
struct Answers {
    bool messageBoxSeen = false;
    std::string messageBoxText;
    bool dialogSeen = false;
    std::string dialogPath; // the edit's text as the dialog opened
    std::string typed;      // replaces the edit's text before the answer
    bool typeSomething = false;
    int dialogAnswer = IDCANCEL;
    std::string refusal; // the text of the dialog's message when it refused the answer; it is then cancelled
    bool cancelled = false;
};
Answers answers;

BOOL CALLBACK CollectText(HWND child, LPARAM text)
{
    char buffer[1024] = "";
    GetWindowTextA(child, buffer, sizeof buffer);
    *reinterpret_cast<std::string*>(text) += buffer;
    return TRUE;
}

BOOL CALLBACK AnswerWindow(HWND window, LPARAM)
{
    if (!IsWindowVisible(window)) return TRUE;
    char title[128] = "";
    GetWindowTextA(window, title, sizeof title);
    const std::string t = title;
    if (t == "JDK not found." && !answers.messageBoxSeen) {
        answers.messageBoxSeen = true;
        EnumChildWindows(window, &CollectText, reinterpret_cast<LPARAM>(&answers.messageBoxText));
        PostMessageA(window, WM_COMMAND, IDOK, 0);
    } else if (t == "Vantry" && !GetDlgItem(window, IDC_CONSOLE) && answers.refusal.empty()) {
        EnumChildWindows(window, &CollectText, reinterpret_cast<LPARAM>(&answers.refusal));
        PostMessageA(window, WM_COMMAND, IDOK, 0);
    } else if (t == "Vantry: Java not found" && !answers.dialogSeen) {
        answers.dialogSeen = true;
        char path[1024] = "";
        GetDlgItemTextA(window, IDC_JAVA_PATH, path, sizeof path);
        answers.dialogPath = path;
        if (answers.typeSomething) SetDlgItemTextA(window, IDC_JAVA_PATH, answers.typed.c_str());
        PostMessageA(window, WM_COMMAND, static_cast<WPARAM>(answers.dialogAnswer), 0);
    } else if (t == "Vantry: Java not found" && !answers.refusal.empty() && IsWindowEnabled(window) &&
               !answers.cancelled) {
        answers.cancelled = true;
        PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    }
    return TRUE;
}

void CALLBACK Answer(HWND, UINT, UINT_PTR, DWORD) { EnumThreadWindows(GetCurrentThreadId(), &AnswerWindow, 0); }

void SetString(HKEY root, const std::string& key, const char* name, const std::string& value, DWORD type = REG_SZ)
{
    HKEY k;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr));
    RegSetValueExA(k, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(k);
}

std::string GetString(const char* name, HKEY root = HKEY_LOCAL_MACHINE)
{
    char value[1024] = "";
    DWORD size = sizeof value, type = 0;
    HKEY k;
    if (RegOpenKeyExA(root, kSettingsKey, 0, KEY_READ, &k) != ERROR_SUCCESS) return "<no key>";
    LSTATUS status = RegQueryValueExA(k, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(k);
    return status == ERROR_SUCCESS ? value : "<none>";
}

int settingWrites = 0;
LSTATUS WINAPI CountSettingWrite(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size)
{
    ++settingWrites;
    return RegSetValueExA(key, name, reserved, type, data, size);
}

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        answers = Answers();
        sharedHomeDir[0] = '\0';
        home = MakeServerHome("startup", FreeLoopbackPort());
        launcherPath = home + "\\Vantry.exe";
        // Outside the home: a jdk or jre folder in it is a runtime bundled with the installation.
        javas = TempDir("startup-javas");
        timer = SetTimer(nullptr, 0, 50, &Answer);
    }
    void TearDown() override
    {
        KillTimer(nullptr, timer);
        EndConsole(dialog);
    }
    std::string Text() { return dialog.console.GetWindowText(); }
    HICON BigIcon() { return reinterpret_cast<HICON>(dialog.SendMessage(WM_GETICON, ICON_BIG, 0)); }
    // Takes the WM_START_SERVER that the sequence posted, so the test decides what follows.
    bool StartServerPosted()
    {
        MSG msg;
        return PeekMessageA(&msg, dialog.m_hWnd, WM_START_SERVER, WM_START_SERVER, PM_REMOVE) != 0;
    }
    bool InitialiserRan()
    {
        return WaitUntil(
            [&] {
                return dialog.initRunner.IsIdle() && Text().find("Vantry initialisation finished") != std::string::npos;
            },
            20000);
    }
    void Marker() { std::ofstream(home + "\\config\\vty3.2.sav"); }

    RegistrySandbox sandbox;
    std::string home, javas;
    ScopedOverride<decltype(settingsPlatform.moduleFileName)> module{ settingsPlatform.moduleFileName,
                                                                      &FakeModuleFileName };
    ScopedOverride<decltype(exitPlatform.endProcess)> ending{ exitPlatform.endProcess, &RecordExit };
    ConsoleDialog dialog;
    UINT_PTR timer = 0;
};

const char kNotFound[] =
    " file not found.\r\nYou need first to install Java 1.2 or 1.3 then launch Vantry.exe program\r\n";

TEST_F(StartupTest, FirstStartWithAJdk13FindsItWithoutAskingStoresItAndRunsTheInitialiser)
{
    std::string java = MakeJava(javas + "\\jdk");
    SetString(HKEY_LOCAL_MACHINE, std::string(kJdkKey) + "\\1.3.1", "JavaHome", javas + "\\jdk");
    // A JRE of the same version is passed over for the JDK.
    MakeJava(javas + "\\jre");
    SetString(HKEY_LOCAL_MACHINE, std::string(kJreKey) + "\\1.3.1", "JavaHome", javas + "\\jre");
    dialog.CreateConsole();

    EXPECT_EQ(0u, Text().find("Vantry is starting...\r\nPlease wait...\r\n"));
    EXPECT_TRUE(dialog.IsWindowVisible());
    EXPECT_FALSE(answers.dialogSeen);
    EXPECT_FALSE(answers.messageBoxSeen);
    EXPECT_EQ(java, GetString("JavaExe"));
    EXPECT_EQ(home, std::string(dialog.homeDir));
    ASSERT_TRUE(InitialiserRan()) << Text();
    // The initialiser's end starts the server.
    EXPECT_TRUE(WaitUntil([&] { return std::string(sharedHomeDir) == home; }, 10000));
}

TEST_F(StartupTest, ABundledRuntimeIsTakenBeforeAnythingElseWithoutAskingAndNeverRemembered)
{
    // What would otherwise be used: a remembered java.exe and a registered JDK 1.3.
    SetString(HKEY_LOCAL_MACHINE, kSettingsKey, "JavaExe", MakeJava(javas + "\\remembered"));
    SetString(HKEY_LOCAL_MACHINE, std::string(kJdkKey) + "\\1.3.1", "JavaHome", javas + "\\jdk");
    MakeJava(javas + "\\jdk");
    Marker();
    for (const char* bundled : { "jre", "jdk" }) { // a jre alone; then a jdk beside it, which goes first
        std::string java = MakeJava(home + "\\" + bundled);
        settingWrites = 0;
        ConsoleDialog start;
        ScopedOverride count(settingsPlatform.setValue, &CountSettingWrite);
        start.CreateConsole();
        EXPECT_EQ(java, std::string(start.javaExePath));
        EXPECT_FALSE(answers.dialogSeen);
        EXPECT_EQ(0, settingWrites);
        start.TrayRemove();
    }
}

TEST_F(StartupTest, LaterStartWithTheRememberedJavaAndTheMarkerStartsTheServerWithoutSearching)
{
    std::string java = MakeJava(home + "\\java");
    SetString(HKEY_LOCAL_MACHINE, kSettingsKey, "JavaExe", java);
    // A search would find this JDK and store it.
    MakeJava(javas + "\\jdk");
    SetString(HKEY_LOCAL_MACHINE, std::string(kJdkKey) + "\\1.3.1", "JavaHome", javas + "\\jdk");
    Marker();
    settingWrites = 0;
    {
        ScopedOverride count(settingsPlatform.setValue, &CountSettingWrite);
        dialog.CreateConsole();
    }
    EXPECT_EQ(0, settingWrites);
    EXPECT_EQ(java, std::string(dialog.javaExePath));
    EXPECT_TRUE(StartServerPosted());
    EXPECT_FALSE(answers.dialogSeen);
    EXPECT_EQ(java, GetString("JavaExe"));
    EXPECT_EQ("Vantry is starting...\r\nPlease wait...\r\n", Text()); // no initialiser
    EXPECT_TRUE(dialog.initRunner.IsIdle());
}

TEST_F(StartupTest, RememberedJavaGoneOrAFolderAndAJdk12RegisteredIsFoundAndStoredAnew)
{
    std::string folder = home + "\\folder\\bin\\java.exe";
    SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr);
    for (std::string remembered : { home + "\\gone\\bin\\java.exe", folder }) {
        SCOPED_TRACE(remembered);
        SetString(HKEY_LOCAL_MACHINE, kSettingsKey, "JavaExe", remembered);
        std::string java = MakeJava(home + "\\jdk12");
        SetString(HKEY_LOCAL_MACHINE, std::string(kJdkKey) + "\\1.2.2", "JavaHome", home + "\\jdk12");
        Marker();
        ConsoleDialog start;
        start.CreateConsole();
        EXPECT_FALSE(answers.dialogSeen);
        EXPECT_EQ(java, GetString("JavaExe"));
        MSG msg;
        EXPECT_TRUE(PeekMessageA(&msg, start.m_hWnd, WM_START_SERVER, WM_START_SERVER, PM_REMOVE));
        start.TrayRemove();
    }
}

TEST_F(StartupTest, AJreOnlyIsAnnouncedOfferedInTheDialogAndKeptWhenTheUserCancels)
{
    std::string jre = MakeJava(javas + "\\jre");
    SetString(HKEY_LOCAL_MACHINE, std::string(kJreKey) + "\\1.3.1", "JavaHome", javas + "\\jre");
    Marker();
    dialog.CreateConsole();
    ASSERT_TRUE(answers.messageBoxSeen);
    EXPECT_NE(std::string::npos, answers.messageBoxText.find("A JRE has been found but not a JDK."));
    ASSERT_TRUE(answers.dialogSeen);
    EXPECT_EQ(jre, answers.dialogPath);
    EXPECT_EQ(jre, std::string(dialog.javaExePath));
    EXPECT_EQ(jre, GetString("JavaExe"));
    EXPECT_TRUE(StartServerPosted());
}

TEST_F(StartupTest, NoJavaAndTheDialogCancelledReportsThePlaceholderAndShowsStopped)
{
    dialog.CreateConsole();
    ASSERT_TRUE(answers.dialogSeen);
    EXPECT_FALSE(answers.messageBoxSeen);
    EXPECT_EQ("", answers.dialogPath);
    EXPECT_EQ(std::string("Vantry is starting...\r\nPlease wait...\r\nBad path: java.exe") + kNotFound, Text());
    EXPECT_EQ(dialog.tray.BigIcon(IDI_STOPPED), BigIcon());
    EXPECT_EQ(-1, dialog.tray.animFrame);
    EXPECT_EQ("<none>", GetString("JavaExe"));
    EXPECT_FALSE(StartServerPosted());
}

TEST_F(StartupTest, AStaleRememberedPathIsWhatTheMissingJavaMessageNames)
{
    std::string folder = home + "\\folder\\bin\\java.exe";
    SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr);
    for (std::string stale : { home + "\\old\\bin\\java.exe", folder }) {
        SCOPED_TRACE(stale);
        answers = Answers();
        SetString(HKEY_LOCAL_MACHINE, kSettingsKey, "JavaExe", stale);
        ConsoleDialog start;
        start.CreateConsole();
        EXPECT_TRUE(answers.dialogSeen);
        EXPECT_NE(std::string::npos, start.console.GetWindowText().find(stale + kNotFound));
        EXPECT_EQ(start.tray.BigIcon(IDI_STOPPED), reinterpret_cast<HICON>(start.SendMessage(WM_GETICON, ICON_BIG, 0)));
        EXPECT_EQ(stale, GetString("JavaExe")); // nothing usable was found, so nothing is written
        start.TrayRemove();
    }
}

TEST_F(StartupTest, AFolderTypedIntoTheDialogIsRefusedAndCancellingThenReportsJavaMissing)
{
    std::string folder = home + "\\jdk\\bin\\java.exe";
    SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr);
    answers.typeSomething = true;
    answers.typed = folder;
    answers.dialogAnswer = IDOK;
    dialog.CreateConsole();
    EXPECT_NE(std::string::npos, answers.refusal.find("is not a file.")) << answers.refusal;
    EXPECT_TRUE(answers.cancelled);
    EXPECT_EQ(std::string("Vantry is starting...\r\nPlease wait...\r\nBad path: java.exe") + kNotFound, Text());
    EXPECT_EQ("<none>", GetString("JavaExe"));
    EXPECT_EQ(dialog.tray.BigIcon(IDI_STOPPED), BigIcon());
}

TEST_F(StartupTest, AnInitialiserThatCannotBeStartedIsReportedAndShowsStopped)
{
    // A file, so it is taken as java.exe; but no program.
    std::string java = home + "\\java.exe";
    std::ofstream(java) << "not a program";
    SetString(HKEY_LOCAL_MACHINE, kSettingsKey, "JavaExe", java);
    dialog.CreateConsole();
    EXPECT_EQ(std::string("Vantry is starting...\r\nPlease wait...\r\n\r\nCould not start the initialiser with ") +
                  java + "\r\n",
              Text());
    EXPECT_EQ(dialog.tray.BigIcon(IDI_STOPPED), BigIcon());
    EXPECT_EQ(-1, dialog.tray.animFrame);
    EXPECT_TRUE(dialog.initRunner.IsIdle());
    EXPECT_FALSE(StartServerPosted());
}

TEST_F(StartupTest, APathTypedIntoTheDialogIsUsedAndRemembered)
{
    std::string java = MakeJava(home + "\\typed");
    answers.typeSomething = true;
    answers.typed = java;
    answers.dialogAnswer = IDOK;
    dialog.CreateConsole();
    EXPECT_EQ(java, GetString("JavaExe"));
    ASSERT_TRUE(InitialiserRan()) << Text();
}

TEST_F(StartupTest, HideOnStartupKeepsTheConsoleHiddenEvenWhenJavaIsMissing)
{
    SetString(HKEY_LOCAL_MACHINE, kSettingsKey, "HideOnStartup", "true");
    dialog.CreateConsole();
    EXPECT_TRUE(answers.dialogSeen);
    EXPECT_FALSE(dialog.IsWindowVisible());
    EXPECT_EQ(1, dialog.hideOnStartup.GetCheck());
    EXPECT_NE(std::string::npos, Text().find(kNotFound));
    EXPECT_EQ(dialog.tray.BigIcon(IDI_STOPPED), BigIcon());
}

TEST_F(StartupTest, AHomeDirectoryThatIsGoneIsReportedAndTheTrayKeepsAnimating)
{
    launcherPath = home + "\\no such folder\\Vantry.exe";
    dialog.CreateConsole();
    EXPECT_EQ("Vantry is starting...\r\nPlease wait...\r\n"
              "Bad path in HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantry\\Vantrybench\\VtyHome\r\nExit.\r\n",
              Text());
    EXPECT_FALSE(answers.dialogSeen);
    EXPECT_GE(dialog.tray.animFrame, 0);
    EXPECT_EQ(dialog.tray.BigIcon(IDI_BUSY1), BigIcon());
    EXPECT_TRUE(dialog.IsWindowVisible());
}

TEST_F(StartupTest, WithoutRightsToTheSettingsKeyTheLauncherStillKnowsItsHome)
{
    // HKEY_LOCAL_MACHINE now names a key that is gone: nothing can be opened or created below it.
    HKEY gone;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\VantryTestGone", 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &gone, nullptr));
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\VantryTestGone");
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, gone);
    std::string java = MakeJava(home + "\\typed");
    answers.typeSomething = true;
    answers.typed = java;
    answers.dialogAnswer = IDOK;
    dialog.CreateConsole();
    EXPECT_EQ(std::string::npos, Text().find("Bad path in"));
    EXPECT_EQ(home, std::string(dialog.homeDir));
    EXPECT_TRUE(dialog.IsWindowVisible());
    ASSERT_TRUE(InitialiserRan()) << Text();
    // Kept for this user, and used by the next start without asking.
    EXPECT_EQ(java, GetString("JavaExe", HKEY_CURRENT_USER));
    answers = Answers();
    Marker();
    ConsoleDialog next;
    next.CreateConsole();
    RegCloseKey(gone);
    EXPECT_FALSE(answers.dialogSeen);
    EXPECT_EQ(java, std::string(next.javaExePath));
    MSG msg;
    EXPECT_TRUE(PeekMessageA(&msg, next.m_hWnd, WM_START_SERVER, WM_START_SERVER, PM_REMOVE));
    next.TrayRemove();
}

} // namespace
