// The real program, started as its own process on an installation of the test's own and worked from
// outside as a user would: its console's text and buttons, its keys, its tray notifications, its
// message box and Java path dialog, the registry it keeps, the files it opens and the server it runs.
#include <winsock2.h> // before windows.h, which the headers bring

#include "children/Numbered.h"
#include "framework/Handle.h"
#include "framework/Paths.h"
#include "res/resource.h"
#include "support/Installation.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

const char kSettingsKey[] = "SOFTWARE\\Vantry\\Vantrybench";
const char kJdkKey[] = "SOFTWARE\\JavaSoft\\Java Development Kit";
const char kJreKey[] = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
const char kNewJdkKey[] = "SOFTWARE\\JavaSoft\\JDK";

const char kStarting[] = "Vantry is starting...\r\nPlease wait...\r\n";
const char kJavaMissing[] =
    " file not found.\r\nYou need first to install Java 1.2 or 1.3 then launch Vantry.exe program\r\n";
const char kTerminated[] = "\r\nVantry has been terminated.\r\n";
const char kPathDialog[] = "Vantry: Java not found";
const char kJdkMissingBox[] = "JDK not found.";

constexpr UINT kTrayNotify = WM_APP + 100;
constexpr WPARAM kTrayIconId = 1;

// Generous: a start runs several Wine processes, and the machine may be slow and shared.
constexpr DWORD kStartTimeout = 60000;
constexpr DWORD kActionTimeout = 20000;
// How long a launcher that should stay is watched; it would have ended within its 1500 ms exit wait.
constexpr DWORD kStaysFor = 3000;

// Handles on the launcher's Java children, to see that they end with it.
class ChildWatch {
public:
    explicit ChildWatch(const std::vector<DWORD>& ids)
    {
        for (DWORD id : ids)
            if (HANDLE child = OpenProcess(SYNCHRONIZE, FALSE, id)) handles_.push_back(child);
    }
    ~ChildWatch()
    {
        for (HANDLE child : handles_) CloseHandle(child);
    }
    ChildWatch(const ChildWatch&) = delete;
    ChildWatch& operator=(const ChildWatch&) = delete;
    size_t Count() const { return handles_.size(); }
    bool AllEnded(DWORD milliseconds) const
    {
        for (HANDLE child : handles_)
            if (WaitForSingleObject(child, milliseconds) != WAIT_OBJECT_0) return false;
        return true;
    }

private:
    std::vector<HANDLE> handles_;
};

BOOL CALLBACK AddChildText(HWND child, LPARAM texts)
{
    try {
        *reinterpret_cast<std::string*>(texts) += WindowText(child) + "\n";
        return TRUE;
    } catch (...) {
        return FALSE; // nothing may unwind through the enumeration
    }
}

// The texts of a window's children, one line each (a message box's text is a child's).
std::string ChildTexts(HWND window)
{
    std::string texts;
    EnumChildWindows(window, &AddChildText, reinterpret_cast<LPARAM>(&texts));
    return texts;
}

// --- Screenshots, taken with ImageMagick on the X screen Wine draws on --------------------------------

std::string UnixPath(const std::string& windowsPath)
{
    using Convert = char*(CDECL*)(const WCHAR*);
    FARPROC found = GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
    if (found) {
        auto convert = reinterpret_cast<Convert>(reinterpret_cast<void (*)()>(found));
        std::wstring wide(windowsPath.size() + 1, L'\0');
        int n = MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, &wide[0], static_cast<int>(wide.size()));
        if (n > 0) {
            if (char* converted = convert(wide.c_str())) {
                std::string path = converted;
                HeapFree(GetProcessHeap(), 0, converted);
                return path;
            }
        }
    }
    // Wine's Z: drive is the Unix root.
    std::string path = windowsPath.size() > 2 && windowsPath[1] == ':' ? windowsPath.substr(2) : windowsPath;
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

// Saves what the screen shows of window as <build>\screenshots\<name>.png; true when the file is there.
// With also, what the screen shows of both (a drop-down's open list reaches past its window).
bool SaveScreenshot(HWND window, const std::string& name, HWND also = nullptr)
{
    std::string folder = BuildDir() + "\\screenshots";
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string file = folder + "\\" + name + ".png";
    DeleteFileA(file.c_str());
    RECT r, other;
    if (!GetWindowRect(window, &r)) return false;
    if (also && GetWindowRect(also, &other)) UnionRect(&r, &r, &other);
    std::string unixFolder = UnixPath(folder);
    std::string partial = "'" + unixFolder + "/" + name + ".partial.png'";
    std::string geometry = std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top) + "+" +
                           std::to_string(r.left) + "+" + std::to_string(r.top);
    // Written aside and renamed, so that a file that exists is a whole one.
    std::string line = "/bin/sh -c \"import -window root -crop " + geometry + " +repage " + partial + " && mv " +
                       partial + " '" + unixFolder + "/" + name + ".png'\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION created = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &created))
        return false;
    CloseHandle(created.hThread);
    CloseHandle(created.hProcess);
    // A Unix process's handle cannot be waited on: its result is the file.
    return WaitUntil([&] { return PathExists(file); }, kActionTimeout) &&
           ReadWholeFile(file).compare(0, 4, "\x89PNG") == 0;
}

// --- The fixture --------------------------------------------------------------------------------------

class LauncherEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearMachineState();
        opener.reset(new OpenerAssociations(Scratch("e2e-opened") + "\\opened.txt"));
    }

    void TearDown() override
    {
        launcher.Kill();
        // Whatever happened, no server of this test may keep its port.
        if (install) {
            EXPECT_TRUE(PortFree()) << "a server outlived the launcher";
        }
        install.reset();
        opener.reset();
        ClearMachineState();
        for (const std::string& folder : scratch) RemoveTree(folder);
    }

    // A fresh folder, removed after the test.
    std::string Scratch(const char* name)
    {
        scratch.push_back(TempDir(name));
        return scratch.back();
    }

    // In both views: keys in the 64-bit one must not help the launcher either.
    static void ClearMachineState()
    {
        for (REGSAM view : { kLauncherView, REGSAM(0) }) {
            DeleteMachineKey(kSettingsKey, view);
            DeleteMachineKey(kJdkKey, view);
            DeleteMachineKey(kJreKey, view);
            DeleteMachineKey(kNewJdkKey, view);
        }
        DeleteUserKey(kSettingsKey);
    }

    const Installation& Install(const char* name)
    {
        install.reset(new Installation(name));
        return *install;
    }
    // Where Java's installers and the launcher's settings are: the 32-bit view, only.
    static void RegisterJdk()
    {
        WriteMachineText(std::string(kJdkKey) + "\\1.3.1", "JavaHome", StandinJdkHome(), kLauncherView);
    }
    static void RememberJava(const std::string& javaExe)
    {
        WriteMachineText(kSettingsKey, "JavaExe", javaExe, kLauncherView);
    }
    // In the registry's 64-bit view, where a 64-bit Java registers and the JDK 1.3 search never looks.
    std::string RegisterJava(const std::string& key, const char* implementor)
    {
        std::string home = Scratch("e2e-java");
        CreateDirectoryA((home + "\\bin").c_str(), nullptr);
        EXPECT_TRUE(CopyFileA(StandinJavaPath().c_str(), (home + "\\bin\\java.exe").c_str(), FALSE));
        std::ofstream(home + "\\release") << "IMPLEMENTOR=\"" << implementor << "\"\n";
        WriteMachineText(key, "JavaHome", home, KEY_WOW64_64KEY);
        return home + "\\bin\\java.exe";
    }
    static MachineValue Setting(const char* name) { return ReadMachineValue(kSettingsKey, name, kLauncherView); }
    static bool KeyIn64BitView(const std::string& key)
    {
        HKEY opened;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &opened) != ERROR_SUCCESS)
            return false;
        RegCloseKey(opened);
        return true;
    }

    // Starts the launcher of the installation; returns once its console exists and shows its first text.
    void Start()
    {
        ASSERT_TRUE(launcher.Start(install->Exe(), TestBinDir()));
        console = launcher.Console(kStartTimeout);
        ASSERT_NE(nullptr, console) << "no console window";
        ASSERT_TRUE(launcher.WaitForText(kStarting, kStartTimeout)) << launcher.ConsoleText();
    }

    // An installation that has run before: Java remembered, marker present; started and ready.
    void StartReadyLaterRun(const char* name)
    {
        Install(name).CreateMarker();
        RememberJava(StandinJavaPath());
        ASSERT_NO_FATAL_FAILURE(Start());
        ASSERT_TRUE(launcher.WaitUntilReady(kStartTimeout)) << launcher.ConsoleText();
    }

    bool PortFree() const
    {
        return WaitUntil([&] { return HttpGet(install->Port(), "/Vantry").empty(); }, 15000);
    }
    bool PageServed() const
    {
        return HttpGet(install->Port(), "/Vantry").find("<title>Vantry</title>") != std::string::npos;
    }
    bool Visible() const { return IsWindowVisible(console) != FALSE; }
    bool WaitVisible(bool visible) const
    {
        return WaitUntil([&] { return Visible() == visible; }, kActionTimeout);
    }
    void Post(UINT message, WPARAM wParam, LPARAM lParam) const { PostMessageA(console, message, wParam, lParam); }
    void PostKey(int controlId, WPARAM key, LPARAM scanCode) const
    {
        PostMessageA(GetDlgItem(console, controlId), WM_KEYDOWN, key, (scanCode << 16) | 1);
    }

    // The exit the test started: the process ends with status 0 and takes its Java children along.
    void ExpectCleanExit(const ChildWatch& children)
    {
        EXPECT_EQ(0u, launcher.WaitForExit(kActionTimeout));
        EXPECT_TRUE(children.AllEnded(15000)) << "a Java child outlived the launcher";
        EXPECT_TRUE(PortFree());
    }

    std::vector<std::string> scratch;
    std::unique_ptr<OpenerAssociations> opener;
    std::unique_ptr<Installation> install;
    RunningLauncher launcher;
    HWND console = nullptr;
};

// --- Start-up -----------------------------------------------------------------------------------------

TEST_F(LauncherEndToEnd, FirstRunFindsTheJdkInitialisesStartsTheServerAndGoToOpensTheApplication)
{
    const Installation& home = Install("e2e-first");
    RegisterJdk();
    ASSERT_FALSE(KeyIn64BitView(kJdkKey)) << "the JDK is to be registered in the 32-bit view only";
    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_TRUE(WaitVisible(true));

    ASSERT_TRUE(launcher.WaitUntilReady(kStartTimeout)) << launcher.ConsoleText();
    EXPECT_EQ(nullptr, FindWindowOf(launcher.ProcessId(), kPathDialog));
    EXPECT_EQ(nullptr, FindWindowOf(launcher.ProcessId(), kJdkMissingBox));
    EXPECT_TRUE(launcher.ControlEnabled(IDC_JAVADOC));

    // The start lines, then the initialiser's output, then the server's.
    std::string text = launcher.ConsoleText();
    EXPECT_EQ(0u, text.find(kStarting)) << text;
    size_t initStarted = text.find("Vantry initialisation started");
    size_t initFinished = text.find("Vantry initialisation finished");
    size_t serverStarted = text.find("Starting tomcat");
    size_t url = text.find("Vantry url: " + home.Url());
    size_t initialized = text.find("Vantry is initialized");
    ASSERT_NE(std::string::npos, initStarted) << text;
    ASSERT_NE(std::string::npos, initialized) << text;
    EXPECT_LT(initStarted, initFinished) << text;
    EXPECT_LT(initFinished, serverStarted) << text;
    EXPECT_LT(serverStarted, url) << text;
    EXPECT_LT(url, initialized) << text;

    // Remembered for later runs: the marker and the JDK's java.exe.
    EXPECT_TRUE(WaitUntil([&] { return PathExists(home.Marker()); }, kActionTimeout));
    MachineValue javaExe = Setting("JavaExe");
    EXPECT_TRUE(javaExe.present);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), javaExe.type);
    EXPECT_EQ(StandinJavaPath(), javaExe.text);
    EXPECT_EQ(StandinJavaPath().size() + 1, javaExe.size);
    EXPECT_FALSE(KeyIn64BitView(kSettingsKey)) << "the settings belong in the 32-bit view";
    EXPECT_FALSE(ReadUserValue(kSettingsKey, "JavaExe").present);
    EXPECT_TRUE(PageServed());

    // "Go to Vantry" puts the console away and opens the application.
    RunningLauncher::Click(console, IDC_GOTO);
    EXPECT_TRUE(WaitVisible(false));
    EXPECT_TRUE(opener->WaitForOpened(home.Url(), kActionTimeout)) << opener->Opened();
    EXPECT_TRUE(launcher.Running());
}

// Started as a desktop starts it, with no console to hand down: a console window shown for a Java
// program would let the user end the server by closing it.
TEST_F(LauncherEndToEnd, TheJavaProgramsOfADesktopStartGetNoConsoleWindowAndTheirOutputIsShown)
{
    Install("e2e-no-window");
    RegisterJdk();
    ASSERT_TRUE(launcher.Start(install->Exe(), TestBinDir(), DETACHED_PROCESS));
    ASSERT_NE(nullptr, console = launcher.Console(kStartTimeout));
    ASSERT_TRUE(launcher.WaitUntilReady(kStartTimeout)) << launcher.ConsoleText();
    const std::string text = launcher.ConsoleText(), none = "\r\nConsole window: none\r\n";
    EXPECT_NE(std::string::npos, text.find("Vantry initialisation started" + none)) << text;
    EXPECT_NE(std::string::npos, text.find("error messages" + none)) << text;
}

TEST_F(LauncherEndToEnd, LaterRunUsesTheRememberedJavaWithoutSearchingAndSkipsTheInitialiser)
{
    // No JavaSoft key at all: a search would find nothing and ask the user.
    ASSERT_NO_FATAL_FAILURE(StartReadyLaterRun("e2e-later"));
    EXPECT_EQ(nullptr, FindWindowOf(launcher.ProcessId(), kPathDialog));

    std::string text = launcher.ConsoleText();
    EXPECT_EQ(0u, text.find(kStarting)) << text;
    EXPECT_EQ(std::string::npos, text.find("Vantry initialisation started")) << text;
    EXPECT_NE(std::string::npos, text.find("Vantry is initialized")) << text;
    EXPECT_TRUE(PageServed());

    MachineValue javaExe = Setting("JavaExe");
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), javaExe.type);
    EXPECT_EQ(StandinJavaPath(), javaExe.text);
    EXPECT_FALSE(KeyIn64BitView(kSettingsKey)); // remembered in the 32-bit view only, and used from there
}

TEST_F(LauncherEndToEnd, AUserWhoCannotWriteTheMachinesKeyKeepsJavaAndHideOnStartupForTheNextStart)
{
    Install("e2e-user");
    RegisterJdk();
    ASSERT_TRUE(DenyWrites(HKEY_LOCAL_MACHINE, kSettingsKey, kLauncherView));
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(launcher.WaitUntilReady(kStartTimeout)) << launcher.ConsoleText();
    EXPECT_EQ(nullptr, FindWindowOf(launcher.ProcessId(), kPathDialog));
    RunningLauncher::Click(console, IDC_HIDE_ON_STARTUP);
    EXPECT_FALSE(Setting("JavaExe").present);
    EXPECT_FALSE(Setting("HideOnStartup").present);
    EXPECT_EQ(StandinJavaPath(), ReadUserValue(kSettingsKey, "JavaExe").text);
    EXPECT_EQ("true", ReadUserValue(kSettingsKey, "HideOnStartup").text);
    RunningLauncher::Click(console, IDCANCEL);
    ASSERT_EQ(0u, launcher.WaitForExit(kActionTimeout));
    launcher.Kill(); // lets go of the ended process
    ASSERT_TRUE(PortFree());

    // Java is no longer registered: what this user kept is all the next start has.
    DeleteMachineKey(kJdkKey, kLauncherView);
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(launcher.WaitUntilReady(kStartTimeout)) << launcher.ConsoleText();
    EXPECT_FALSE(Visible());
    EXPECT_EQ(nullptr, FindWindowOf(launcher.ProcessId(), kPathDialog));
    EXPECT_EQ(std::string::npos, launcher.ConsoleText().find("Vantry initialisation started")); // marker of the first
}

TEST_F(LauncherEndToEnd, TakenPortStopsTheServerWithoutMarkerAndTheLauncherWaitsForExit)
{
    const Installation& home = Install("e2e-taken");
    RegisterJdk();
    // Someone else listens on the installation's port.
    SOCKET other = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(home.Port()));
    ASSERT_EQ(0, bind(other, reinterpret_cast<sockaddr*>(&address), sizeof address));
    ASSERT_EQ(0, listen(other, 1));
    struct Closer {
        SOCKET s;
        ~Closer() { closesocket(s); }
    } closer{ other };

    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(launcher.WaitForText(kTerminated, kStartTimeout)) << launcher.ConsoleText();
    std::string text = launcher.ConsoleText();
    size_t bindException = text.find("java.net.BindException");
    ASSERT_NE(std::string::npos, bindException) << text;
    EXPECT_LT(bindException, text.find(kTerminated)) << text;
    EXPECT_EQ(std::string::npos, text.find("Vantry is initialized")) << text;
    // The port, from the exception's text (no address was announced), on a line of its own just
    // before the end; with its holder, this test, where the system can tell (Wine 8 cannot).
    const std::string named = "\r\nPort " + std::to_string(home.Port()) + " is in use by another program";
    size_t portLine = text.find(named);
    ASSERT_NE(std::string::npos, portLine) << text;
    EXPECT_LT(bindException, portLine) << text;
    std::string holder = text.substr(portLine + named.size(), text.find(kTerminated) - portLine - named.size());
    EXPECT_TRUE(holder == "." || holder == " (e2e_tests.exe, process " + std::to_string(GetCurrentProcessId()) + ").")
        << text;

    EXPECT_FALSE(PathExists(home.Marker()));
    EXPECT_FALSE(launcher.ControlEnabled(IDC_GOTO));
    EXPECT_TRUE(launcher.ControlEnabled(IDC_JAVADOC));
    EXPECT_TRUE(launcher.JavaChildren().empty()) << "the server was not stopped";

    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), launcher.WaitForExit(kStaysFor));
    RunningLauncher::Click(console, IDCANCEL);
    EXPECT_EQ(0u, launcher.WaitForExit(kActionTimeout));
}

// A port bound without a listener, as in a range the system reserved (Hyper-V, WSL, Docker). Windows
// looks beside the program first for a DLL that is no known DLL (Wine too, told to prefer a native
// one): the planted one must load neither at the start nor when the port's holder is looked up.
TEST_F(LauncherEndToEnd, AReservedPortIsSaidToBeSoAndADllPlantedBesideTheProgramIsNeverLoaded)
{
    const Installation& home = Install("e2e-planted");
    RegisterJdk();
    ASSERT_TRUE(
        CopyFileA((TestBinDir() + "\\planted\\iphlpapi.dll").c_str(), (home.Home() + "\\iphlpapi.dll").c_str(), FALSE));
    // WINEDLLOVERRIDES=iphlpapi=n,b for this program alone: the variable does not reach Wine's children.
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\Vantry.exe\\DllOverrides",
                                             "iphlpapi", REG_SZ, "native,builtin", 15));
    SOCKET bound = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = { AF_INET, htons(static_cast<u_short>(home.Port())), { { { 127, 0, 0, 1 } } }, {} };
    EXPECT_EQ(0, bind(bound, reinterpret_cast<sockaddr*>(&address), sizeof address));

    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_TRUE(launcher.WaitForText(
        "\r\nPort " + std::to_string(home.Port()) + " is in use or reserved." + kTerminated, kStartTimeout))
        << launcher.ConsoleText();
    closesocket(bound);
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\Vantry.exe");
    EXPECT_FALSE(PathExists(home.Home() + "\\loaded.txt"));
}

// The file is written by a thread of its own while the console shows the same output: all of a
// server's 3 MiB is there, after its start line and before its end line.
TEST_F(LauncherEndToEnd, EverythingTheServerPrintsIsKeptInTheInstallationsLogFile)
{
    Install("e2e-log-flood").CreateMarker();
    std::string java = Scratch("e2e-log-java") + "\\java.exe";
    ASSERT_TRUE(CopyFileA(TestChildPath().c_str(), java.c_str(), FALSE));
    RememberJava(java);
    char appData[MAX_PATH], longHome[kPathSize], key[17];
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData)));
    LongHome(install->Home().c_str(), longHome, sizeof longHome);
    HomeKey(install->Home().c_str(), key, sizeof key);
    const std::string folder =
        std::string(appData) + "\\Vantry\\logs\\" + (std::strrchr(longHome, '\\') + 1) + "." + key;
    RemoveTree(folder);

    SetEnvironmentVariableA("VANTRY_TEST_STEPS", "big:3145728 exit:7");
    ASSERT_NO_FATAL_FAILURE(Start());
    SetEnvironmentVariableA("VANTRY_TEST_STEPS", nullptr);
    ASSERT_TRUE(launcher.WaitForText("Vantry has been terminated.", kStartTimeout)) << launcher.ConsoleText();
    std::string kept, ended = "] Ended with exit code 7\r\n";
    EXPECT_TRUE(
        WaitUntil([&] { return (kept = ReadWholeFile(folder + "\\console.log")).find(ended) != std::string::npos; },
                  kActionTimeout))
        << kept.size() << " bytes in " << folder;
    const size_t started = kept.find("] Started \"" + java + "\" "), output = kept.find(NumberedText(3145728));
    EXPECT_TRUE(started < output && output < kept.find(ended)) << started << ", " << output << "\n"
                                                               << kept.substr(0, 300);
    RemoveTree(folder);
}

TEST_F(LauncherEndToEnd, ARememberedJavaThatHasGoneIsReplacedByTheRegisteredJdkWithoutAsking)
{
    const Installation& home = Install("e2e-gone");
    home.CreateMarker();
    RememberJava(home.Home() + "\\jdk-removed\\bin\\java.exe");
    RegisterJdk();
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(launcher.WaitUntilReady(kStartTimeout)) << launcher.ConsoleText();
    EXPECT_EQ(nullptr, FindWindowOf(launcher.ProcessId(), kPathDialog));
    EXPECT_EQ(StandinJavaPath(), Setting("JavaExe").text);
}

// --- Finding Java -------------------------------------------------------------------------------------

TEST_F(LauncherEndToEnd, WithoutJavaTheCancelledDialogReportsItStoresNothingAndTheLauncherWaitsForExit)
{
    Install("e2e-nojava");
    ASSERT_NO_FATAL_FAILURE(Start());
    HWND dialog = launcher.WaitForWindow(kPathDialog, kStartTimeout);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ("", WindowText(GetDlgItem(dialog, IDC_JAVA_PATH)));
    EXPECT_EQ(nullptr, FindWindowOf(launcher.ProcessId(), kJdkMissingBox));

    RunningLauncher::Click(dialog, IDCANCEL);
    ASSERT_TRUE(launcher.WaitForText(kJavaMissing, kActionTimeout)) << launcher.ConsoleText();
    EXPECT_EQ(std::string(kStarting) + "Bad path: java.exe" + kJavaMissing, launcher.ConsoleText());
    EXPECT_TRUE(WaitUntil([&] { return !FindWindowOf(launcher.ProcessId(), kPathDialog); }, kActionTimeout));
    EXPECT_TRUE(Visible());

    EXPECT_FALSE(Setting("JavaExe").present);
    EXPECT_FALSE(launcher.ControlEnabled(IDC_GOTO));
    EXPECT_FALSE(launcher.ControlEnabled(IDC_JAVADOC));
    EXPECT_TRUE(launcher.JavaChildren().empty());

    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), launcher.WaitForExit(kStaysFor));
    RunningLauncher::Click(console, IDCANCEL);
    EXPECT_EQ(0u, launcher.WaitForExit(kActionTimeout));
}

TEST_F(LauncherEndToEnd, AJava17RegisteredUnderTheNewJavaSoftKeyIsOfferedInTheDialog)
{
    std::string java = RegisterJava(std::string(kNewJdkKey) + "\\17", "Oracle Corporation");
    Install("e2e-java17");
    ASSERT_NO_FATAL_FAILURE(Start());
    HWND box = GetDlgItem(launcher.WaitForWindow(kPathDialog, kStartTimeout), IDC_JAVA_PATH);
    ASSERT_NE(nullptr, box);
    ASSERT_EQ(1, SendMessageA(box, CB_GETCOUNT, 0, 0));
    // Wine passes no line's text to another process; its length tells the line apart.
    EXPECT_EQ(("17, Oracle Corporation, 64-bit: " + java).size(), size_t(SendMessageA(box, CB_GETLBTEXTLEN, 0, 0)));
    EXPECT_EQ(java, WindowText(box)); // pre-filled with it
}

TEST_F(LauncherEndToEnd, AJavaPathTypedIntoTheDialogIsStoredAndTheRunGoesOnToReady)
{
    Install("e2e-typed");
    ASSERT_NO_FATAL_FAILURE(Start());
    HWND dialog = launcher.WaitForWindow(kPathDialog, kStartTimeout);
    ASSERT_NE(nullptr, dialog);
    ASSERT_TRUE(RunningLauncher::TypeText(GetDlgItem(dialog, IDC_JAVA_PATH), StandinJavaPath()));
    RunningLauncher::Click(dialog, IDOK);

    ASSERT_TRUE(launcher.WaitUntilReady(kStartTimeout)) << launcher.ConsoleText();
    MachineValue javaExe = Setting("JavaExe");
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), javaExe.type);
    EXPECT_EQ(StandinJavaPath(), javaExe.text);
    EXPECT_NE(std::string::npos, launcher.ConsoleText().find("Vantry initialisation finished"));
    EXPECT_TRUE(PageServed());
}

TEST_F(LauncherEndToEnd, AJreAloneIsAnnouncedOfferedInTheDialogAndUsedWhenTheDialogIsCancelled)
{
    std::string jre = Scratch("e2e-jre");
    CreateDirectoryA((jre + "\\bin").c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(StandinJavaPath().c_str(), (jre + "\\bin\\java.exe").c_str(), FALSE));
    WriteMachineText(std::string(kJreKey) + "\\1.3.1", "JavaHome", jre, kLauncherView);
    Install("e2e-jre-home");
    ASSERT_NO_FATAL_FAILURE(Start());

    // The message box comes first, the dialog only once it has been answered.
    HWND box = launcher.WaitForWindow(kJdkMissingBox, kStartTimeout);
    ASSERT_NE(nullptr, box);
    EXPECT_NE(std::string::npos, ChildTexts(box).find("A JRE has been found but not a JDK.")) << ChildTexts(box);
    EXPECT_EQ(nullptr, FindWindowOf(launcher.ProcessId(), kPathDialog));
    RunningLauncher::Click(box, IDOK);

    HWND dialog = launcher.WaitForWindow(kPathDialog, kActionTimeout);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(jre + "\\bin\\java.exe", WindowText(GetDlgItem(dialog, IDC_JAVA_PATH)));
    RunningLauncher::Click(dialog, IDCANCEL);

    ASSERT_TRUE(launcher.WaitUntilReady(kStartTimeout)) << launcher.ConsoleText();
    EXPECT_EQ(jre + "\\bin\\java.exe", Setting("JavaExe").text);
    EXPECT_NE(std::string::npos, launcher.ConsoleText().find("Vantry initialisation finished"));
    EXPECT_TRUE(PageServed());
}

// --- The console --------------------------------------------------------------------------------------

TEST_F(LauncherEndToEnd, HideOnStartupKeepsTheConsoleInTheTrayUntilClickedAndItsBoxStoresEachClick)
{
    WriteMachineText(kSettingsKey, "HideOnStartup", "true", kLauncherView);
    Install("e2e-hidden").CreateMarker();
    RememberJava(StandinJavaPath());
    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_FALSE(Visible());
    ASSERT_TRUE(launcher.WaitUntilReady(kStartTimeout)) << launcher.ConsoleText();
    EXPECT_FALSE(Visible());
    EXPECT_TRUE(PageServed());

    Post(kTrayNotify, kTrayIconId, WM_LBUTTONDOWN);
    ASSERT_TRUE(WaitVisible(true));

    HWND box = GetDlgItem(console, IDC_HIDE_ON_STARTUP);
    EXPECT_EQ(BST_CHECKED, SendMessageA(box, BM_GETCHECK, 0, 0));
    RunningLauncher::Click(console, IDC_HIDE_ON_STARTUP);
    EXPECT_EQ(BST_UNCHECKED, SendMessageA(box, BM_GETCHECK, 0, 0));
    MachineValue stored = Setting("HideOnStartup");
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), stored.type);
    EXPECT_EQ("false", stored.text);
    EXPECT_EQ(6u, stored.size);

    RunningLauncher::Click(console, IDC_HIDE_ON_STARTUP);
    stored = Setting("HideOnStartup");
    EXPECT_EQ("true", stored.text);
    EXPECT_EQ(5u, stored.size);
}

TEST_F(LauncherEndToEnd, HideOnStartupWithoutJavaStillAsksAndTheReportWaitsInTheHiddenConsole)
{
    WriteMachineText(kSettingsKey, "HideOnStartup", "true", kLauncherView);
    Install("e2e-hidden-nojava");
    ASSERT_NO_FATAL_FAILURE(Start());
    HWND dialog = launcher.WaitForWindow(kPathDialog, kStartTimeout);
    ASSERT_NE(nullptr, dialog);
    EXPECT_FALSE(Visible());
    RunningLauncher::Click(dialog, IDCANCEL);
    ASSERT_TRUE(launcher.WaitForText(kJavaMissing, kActionTimeout)) << launcher.ConsoleText();
    EXPECT_FALSE(Visible());

    Post(kTrayNotify, kTrayIconId, WM_LBUTTONDOWN);
    EXPECT_TRUE(WaitVisible(true));
    EXPECT_TRUE(launcher.Running());
}

// --- Ending the launcher ------------------------------------------------------------------------------

TEST_F(LauncherEndToEnd, ExitButtonEndsTheLauncherWithStatusZeroAndStopsTheServer)
{
    ASSERT_NO_FATAL_FAILURE(StartReadyLaterRun("e2e-exit"));
    ChildWatch children(launcher.JavaChildren());
    ASSERT_EQ(1u, children.Count());
    RunningLauncher::Click(console, IDCANCEL);
    ExpectCleanExit(children);
}

TEST_F(LauncherEndToEnd, EscapeKeyEndsTheLauncherWithStatusZeroAndStopsTheServer)
{
    ASSERT_NO_FATAL_FAILURE(StartReadyLaterRun("e2e-escape"));
    ChildWatch children(launcher.JavaChildren());
    ASSERT_EQ(1u, children.Count());
    // At ready the focus is on "Go to Vantry".
    PostKey(IDC_GOTO, VK_ESCAPE, 0x01);
    ExpectCleanExit(children);
}

TEST_F(LauncherEndToEnd, EscapeInTheConsoleTextEndsTheLauncherToo)
{
    ASSERT_NO_FATAL_FAILURE(StartReadyLaterRun("e2e-escape-text"));
    ChildWatch children(launcher.JavaChildren());
    ASSERT_EQ(1u, children.Count());
    // A multi-line edit takes Esc for itself; the launcher must still end, not hide.
    PostKey(IDC_CONSOLE, VK_ESCAPE, 0x01);
    ExpectCleanExit(children);
}

TEST_F(LauncherEndToEnd, ALauncherEndedFromOutsideTakesItsServerWithIt)
{
    ASSERT_NO_FATAL_FAILURE(StartReadyLaterRun("e2e-killed"));
    ChildWatch children(launcher.JavaChildren());
    ASSERT_EQ(1u, children.Count());
    ASSERT_TRUE(PageServed());
    // As the Task Manager would: the launcher alone, with no chance to stop anything.
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, launcher.ProcessId());
    ASSERT_NE(nullptr, process);
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 10000);
    CloseHandle(process);
    EXPECT_TRUE(children.AllEnded(15000)) << "the server outlived its launcher";
    EXPECT_TRUE(PortFree());
}

// Started as a desktop starts it (no console handed down, so each Java child gets a console of its
// own), in every state the user may exit in: the process ends with status 0, never later than right
// after its stop timeout (1500 ms here), whatever its children and their output are doing, and takes every child
// along, the server's stop command too. A server that ignores its stop command (test_child, whose
// stop command does the same steps and so never ends by itself) has the whole wait to stop; the
// stand-in server stops itself when asked, at once or after 3 s, and the launcher ends as soon as it has.
TEST_F(LauncherEndToEnd, ExitFromADesktopStartEndsTheProcessRightAfterItsWaitInEveryStateOfTheServer)
{
    struct Case {
        const char* name;
        const char* folder;
        bool initialised;  // the marker is there: the server starts at once
        const char* steps; // test_child's as java.exe; null: the stand-in runtime
        const char* shown; // the console shows this once the state is reached; null: wait for readiness
        bool deaf;         // a server that ignores its stop command: ended at the end of the wait
        const char* stopDelay = nullptr;
    };
    const Case cases[] = {
        { "server ready", "e2e-exit-ready", true, "out:Vantry\\sis\\sinitialized sleep:60000", nullptr, true },
        { "initialiser running", "e2e-exit-init", false, "out:initialising sleep:60000", "initialising", false },
        { "server flooding", "e2e-exit-flood", true, "flood", "flood line ", true },
        // The test holds the server's output too, as any program outside the job that got the handle may.
        { "a grandchild and a process outside the job hold the output", "e2e-exit-holder", true,
          "spawn:sleep:60000 handle out:Vantry\\sis\\sinitialized sleep:60000", nullptr, true },
        { "a server that stops itself when asked", "e2e-exit-clean", true, nullptr, nullptr, false },
        { "a server that needs 3 s to stop", "e2e-exit-slow", true, nullptr, nullptr, false, "3000" },
    };
    // test_child as java.exe: the Java command line makes it take its steps from the environment.
    std::string java = Scratch("e2e-exit-java") + "\\java.exe";
    ASSERT_TRUE(CopyFileA(TestChildPath().c_str(), java.c_str(), FALSE));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Install(c.folder);
        if (c.initialised) install->CreateMarker();
        RememberJava(c.steps ? java : StandinJavaPath());
        WriteMachineText(kSettingsKey, "StopTimeout", c.deaf ? "1500" : "10000", kLauncherView);
        if (c.stopDelay) WriteWholeFile(install->Home() + "\\tomcat\\conf\\vantry-stop-delay.txt", c.stopDelay);
        if (c.steps) SetEnvironmentVariableA("VANTRY_TEST_STEPS", c.steps);
        ASSERT_TRUE(launcher.Start(install->Exe(), TestBinDir(), DETACHED_PROCESS));
        SetEnvironmentVariableA("VANTRY_TEST_STEPS", nullptr);
        console = launcher.Console(kStartTimeout);
        ASSERT_NE(nullptr, console);
        if (c.shown) {
            ASSERT_TRUE(launcher.WaitForText(c.shown, kStartTimeout)) << launcher.ConsoleText();
        } else {
            ASSERT_TRUE(launcher.WaitUntilReady(kStartTimeout)) << launcher.ConsoleText();
        }
        std::vector<DWORD> ids = launcher.JavaChildren();
        std::string text = launcher.ConsoleText();
        size_t at = text.find("grandchild ");
        if (at != std::string::npos) ids.push_back(std::strtoul(text.c_str() + at + 11, nullptr, 10));
        ChildWatch children(ids);
        ASSERT_EQ(at != std::string::npos ? 2u : 1u, children.Count());
        Handle holder; // this test's copy of the server's output
        at = text.find("stdout ");
        if (at != std::string::npos) {
            Handle server(OpenProcess(PROCESS_DUP_HANDLE, FALSE, ids.front()));
            auto output = reinterpret_cast<HANDLE>(std::strtoull(text.c_str() + at + 7, nullptr, 10));
            ASSERT_TRUE(server && DuplicateHandle(server.Get(), output, GetCurrentProcess(), holder.Out(), 0, FALSE,
                                                  DUPLICATE_SAME_ACCESS));
        }
        Handle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, launcher.ProcessId()));
        ASSERT_TRUE(process);

        LARGE_INTEGER frequency, posted, ended;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&posted);
        Post(WM_COMMAND, IDCANCEL, 0);
        DWORD waited = WaitForSingleObject(process.Get(), 30000);
        QueryPerformanceCounter(&ended);
        double ms =
            1000.0 * static_cast<double>(ended.QuadPart - posted.QuadPart) / static_cast<double>(frequency.QuadPart);
        DWORD status = STILL_ACTIVE;
        GetExitCodeProcess(process.Get(), &status);
        EXPECT_EQ(WAIT_OBJECT_0, waited);
        EXPECT_EQ(0u, status);
        const double needs = c.deaf ? 1500.0 : c.stopDelay ? std::atof(c.stopDelay) : 0.0;
        EXPECT_GE(ms, needs - 50.0) << "the server was not given its time to stop";
        EXPECT_LT(ms, needs + 2000.0) << "the process outlived its children or its stop timeout";
        std::printf("    %s: ended %.0f ms after Exit\n", c.name, ms);
        EXPECT_TRUE(children.AllEnded(15000)) << "a Java child outlived the launcher";
        EXPECT_TRUE(PollUntil([&] { return LiveChildren(launcher.ProcessId(), "java.exe").empty(); }, 15000))
            << "the server's stop command outlived the launcher";
        const std::string tomcat = install->Home() + "\\tomcat\\";
        if (!c.steps) {
            EXPECT_EQ("stopped cleanly\r\n", ReadWholeFile(tomcat + "clean-stop.txt")) << "the server was ended";
            EXPECT_EQ("stop from " + install->Home() + "\r\n", ReadWholeFile(tomcat + "stop-requests.txt"));
        }
        launcher.Kill();
    }
}

// The end of the Windows session (log off, shut down): Wine's `wineboot --end-session` sends each
// program's top-level windows, hidden ones too, WM_QUERYENDSESSION and then WM_ENDSESSION, and ends
// whatever program is still there after its answers. The launcher stops its server with the server's own command first.
TEST_F(LauncherEndToEnd, TheEndOfTheWindowsSessionStopsTheServerCleanlyAndEndsTheLauncher)
{
    ASSERT_NO_FATAL_FAILURE(StartReadyLaterRun("e2e-session"));
    ChildWatch children(launcher.JavaChildren());
    ASSERT_EQ(1u, children.Count());
    // Where the launcher spends its life: in the tray, its console a hidden top-level window.
    RunningLauncher::Click(console, IDC_HIDE);
    ASSERT_TRUE(WaitVisible(false));
    char system[MAX_PATH];
    ASSERT_NE(0u, GetSystemDirectoryA(system, sizeof system));
    ChildProcess wineboot;
    ASSERT_TRUE(wineboot.Start(std::string(system) + "\\wineboot.exe", "--end-session", TestBinDir()));
    EXPECT_EQ(0u, launcher.WaitForExit(kActionTimeout));
    EXPECT_TRUE(children.AllEnded(15000)) << "the server outlived the session";
    EXPECT_EQ("stopped cleanly\r\n", ReadWholeFile(install->Home() + "\\tomcat\\clean-stop.txt"))
        << "the server was ended, not stopped";
    EXPECT_EQ("stop from " + install->Home() + "\r\n", ReadWholeFile(install->Home() + "\\tomcat\\stop-requests.txt"));
    EXPECT_TRUE(PollUntil([&] { return !wineboot.Running(); }, kActionTimeout));
}

TEST_F(LauncherEndToEnd, TrayMenuGoToLeavesTheConsoleAndTrayMenuExitEndsTheLauncherAndTheServer)
{
    ASSERT_NO_FATAL_FAILURE(StartReadyLaterRun("e2e-traymenu"));
    ASSERT_TRUE(Visible());
    Post(WM_COMMAND, ID_TRAY_GOTO, 0);
    EXPECT_TRUE(opener->WaitForOpened(install->Url(), kActionTimeout)) << opener->Opened();
    EXPECT_TRUE(Visible());

    ChildWatch children(launcher.JavaChildren());
    ASSERT_EQ(1u, children.Count());
    Post(WM_COMMAND, ID_TRAY_EXIT, 0);
    ExpectCleanExit(children);
}

// "Restart server": the server, which needs 3 s to stop, is stopped by its own command while the
// console answers the user (a click through the system's input queue acts before the old server has
// gone), then started again.
TEST_F(LauncherEndToEnd, RestartServerStopsTheServerCleanlyWhileTheConsoleAnswersAndStartsItAgain)
{
    ASSERT_NO_FATAL_FAILURE(StartReadyLaterRun("e2e-restart"));
    const std::string tomcat = install->Home() + "\\tomcat\\";
    WriteWholeFile(tomcat + "conf\\vantry-stop-delay.txt", "3000");
    ChildWatch old(launcher.JavaChildren());
    Post(WM_COMMAND, ID_TRAY_RESTART, 0);
    ASSERT_TRUE(launcher.WaitForText("\r\nRestarting Vantry...\r\n", kActionTimeout)) << launcher.ConsoleText();
    EXPECT_FALSE(launcher.ControlEnabled(IDC_GOTO));
    HWND box = GetDlgItem(console, IDC_HIDE_ON_STARTUP);
    ASSERT_TRUE(ClickMiddle(box));
    ASSERT_TRUE(PollUntil([&] { return SendMessageA(box, BM_GETCHECK, 0, 0) == BST_CHECKED; }, kActionTimeout));
    EXPECT_FALSE(PathExists(tomcat + "clean-stop.txt")) << "the console answered only once the server had gone";
    ASSERT_TRUE(launcher.WaitUntilReady(kStartTimeout)) << launcher.ConsoleText();
    EXPECT_TRUE(old.AllEnded(0) && PageServed());
    EXPECT_EQ("stopped cleanly\r\n", ReadWholeFile(tomcat + "clean-stop.txt")) << "the server was ended";
    EXPECT_EQ(std::string::npos, launcher.ConsoleText().find(kTerminated)) << launcher.ConsoleText();
    ChildWatch now(launcher.JavaChildren());
    Post(WM_COMMAND, ID_TRAY_EXIT, 0);
    ExpectCleanExit(now);
}

TEST_F(LauncherEndToEnd, SettingsWindowStoresJavaOptionsAndRestartsTheServerWithThemWhenAskedTo)
{
    ASSERT_NO_FATAL_FAILURE(StartReadyLaterRun("e2e-settings"));
    Post(WM_COMMAND, ID_TRAY_SETTINGS, 0);
    HWND settings = nullptr;
    ASSERT_TRUE(WaitUntil(
        [&] { return (settings = FindWindowOf(launcher.ProcessId(), "Vantry Settings")) && IsWindowVisible(settings); },
        kActionTimeout));
    const char options[] = "-Xmx64m -Dvantry.chosen=\"in settings\"";
    SendMessageA(GetDlgItem(settings, IDC_JAVA_OPTIONS), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(options));
    PumpFor(1000); // the README's picture: the options drawn
    EXPECT_TRUE(SaveScreenshot(settings, "settings"));
    PostMessageA(settings, WM_COMMAND, IDOK, 0);
    // Its question, owned by it and so above it: found first.
    HWND question = nullptr;
    ASSERT_TRUE(
        WaitUntil([&] { return (question = FindWindowOf(launcher.ProcessId(), "Vantry Settings")) != settings; },
                  kActionTimeout));
    PostMessageA(question, WM_COMMAND, IDYES, 0);
    ASSERT_TRUE(launcher.WaitForText("\r\nRestarting Vantry...\r\n", kActionTimeout)) << launcher.ConsoleText();
    ASSERT_TRUE(launcher.WaitUntilReady(kStartTimeout)) << launcher.ConsoleText();
    EXPECT_EQ(options, Setting("JavaOptions").text);
    EXPECT_EQ(0u, ReadWholeFile(install->Home() + "\\tomcat\\command-line.txt").find(std::string(" ") + options));
}

TEST_F(LauncherEndToEnd, RightClickOnTheTrayIconOpensTheMenuWhoseExitEntryEndsTheLauncherAndTheServer)
{
    ASSERT_NO_FATAL_FAILURE(StartReadyLaterRun("e2e-traykeys"));
    ChildWatch children(launcher.JavaChildren());
    ASSERT_EQ(1u, children.Count());
    Post(kTrayNotify, kTrayIconId, WM_RBUTTONDOWN);
    HWND menu = launcher.WaitForPopupMenu(kActionTimeout);
    ASSERT_NE(nullptr, menu);
    // With nothing selected, Up lands on the last entry: "Exit".
    PostMessageA(menu, WM_KEYDOWN, VK_UP, (0x48 << 16) | 1);
    PostMessageA(menu, WM_KEYDOWN, VK_RETURN, (0x1c << 16) | 1);
    ExpectCleanExit(children);
}

TEST_F(LauncherEndToEnd, ExitWhileTheJavaPathDialogIsOpenEndsTheLauncherWithStatusZero)
{
    Install("e2e-exit-dialog");
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_NE(nullptr, launcher.WaitForWindow(kPathDialog, kStartTimeout));
    // The dialog's own loop hands the console its command.
    Post(WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(0u, launcher.WaitForExit(kActionTimeout));
}

TEST_F(LauncherEndToEnd, CloseBoxAndCloseMessageOnlyHideTheConsoleAndTheServerGoesOn)
{
    ASSERT_NO_FATAL_FAILURE(StartReadyLaterRun("e2e-close"));
    ASSERT_TRUE(Visible());

    Post(WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(WaitVisible(false));
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), launcher.WaitForExit(kStaysFor));
    EXPECT_TRUE(PageServed());

    Post(WM_COMMAND, ID_TRAY_OPEN, 0);
    ASSERT_TRUE(WaitVisible(true));
    Post(WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitVisible(false));
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), launcher.WaitForExit(kStaysFor));
    EXPECT_TRUE(PageServed());
    EXPECT_TRUE(launcher.ControlEnabled(IDC_GOTO));
}

// --- Documentation, log and Javadoc -------------------------------------------------------------------

TEST_F(LauncherEndToEnd, HelpAndViewLogBeforeTheServerStartsOpenTheLaunchersOwnHomeFiles)
{
    const Installation& home = Install("e2e-help-early");
    ASSERT_NO_FATAL_FAILURE(Start());
    HWND dialog = launcher.WaitForWindow(kPathDialog, kStartTimeout);
    ASSERT_NE(nullptr, dialog);
    RunningLauncher::Click(dialog, IDCANCEL);
    ASSERT_TRUE(launcher.WaitForText(kJavaMissing, kActionTimeout)) << launcher.ConsoleText();
    EXPECT_FALSE(launcher.ControlEnabled(IDC_JAVADOC));

    RunningLauncher::Click(console, IDC_HELP_DOC);
    EXPECT_TRUE(opener->WaitForOpened(home.Home() + "\\doc\\index.html", kActionTimeout)) << opener->Opened();
    RunningLauncher::Click(console, IDC_VIEW_LOG);
    EXPECT_TRUE(opener->WaitForOpened(home.Home() + "\\log\\Vantry.log", kActionTimeout)) << opener->Opened();
    PostKey(IDC_HIDE, VK_F1, 0x3b);
    EXPECT_TRUE(opener->WaitForOpened(home.Home() + "\\doc\\index.html", kActionTimeout, 2)) << opener->Opened();
}

TEST_F(LauncherEndToEnd, AtReadyHelpF1ViewLogAndGenerateJavadocWorkOnAHomeWithASpaceInItsPath)
{
    ASSERT_NO_FATAL_FAILURE(StartReadyLaterRun("e2e with space"));
    const Installation& home = *install;
    // A program named like the home's path up to its space: an unquoted batch path would run it instead.
    std::string decoy = home.Home().substr(0, home.Home().find(' ')) + ".exe";
    ASSERT_TRUE(CopyFileA(TestOpenerPath().c_str(), decoy.c_str(), FALSE));
    struct Remover {
        std::string path;
        ~Remover() { DeleteFileA(path.c_str()); }
    } removeDecoy{ decoy };

    RunningLauncher::Click(console, IDC_HELP_DOC);
    EXPECT_TRUE(opener->WaitForOpened(home.Home() + "\\doc\\index.html", kActionTimeout)) << opener->Opened();
    RunningLauncher::Click(console, IDC_VIEW_LOG);
    EXPECT_TRUE(opener->WaitForOpened(home.Home() + "\\log\\Vantry.log", kActionTimeout)) << opener->Opened();
    // F1 wherever the focus is: here in the console text.
    PostKey(IDC_CONSOLE, VK_F1, 0x3b);
    EXPECT_TRUE(opener->WaitForOpened(home.Home() + "\\doc\\index.html", kActionTimeout, 2)) << opener->Opened();

    ASSERT_TRUE(launcher.ControlEnabled(IDC_JAVADOC));
    RunningLauncher::Click(console, IDC_JAVADOC);
    EXPECT_TRUE(WaitUntil([&] { return PathExists(home.Home() + "\\javadoc-done.txt"); }, kActionTimeout))
        << "GenJavadoc.bat did not run";
    EXPECT_EQ(std::string::npos, opener->Opened().find("GenJavadoc.bat")) << opener->Opened();
    EXPECT_TRUE(launcher.Running());
}

// The batch runs in the home, whatever the launcher's own current folder (System32 when Windows
// starts it at log-on), also when the home's path holds what the command shell reads as syntax.
TEST_F(LauncherEndToEnd, GenerateJavadocRunsTheBatchInTheHomeWhateverCharactersItsPathHolds)
{
    ASSERT_NO_FATAL_FAILURE(StartReadyLaterRun("e2e (x86) A&B"));
    const std::string home = install->Home(), folder = home + "\\javadoc-folder.txt";
    ASSERT_TRUE(launcher.ControlEnabled(IDC_JAVADOC));
    RunningLauncher::Click(console, IDC_JAVADOC);
    EXPECT_TRUE(WaitUntil([&] { return ReadWholeFile(folder) == home + "\r\n"; }, kActionTimeout))
        << "GenJavadoc.bat ran in \"" << ReadWholeFile(folder) << "\"";
}

// --- Pictures for people ------------------------------------------------------------------------------

TEST_F(LauncherEndToEnd, ScreenshotsOfTheReadyConsoleAndOfTheJavaPathDialog)
{
    Install("e2e-pictures");
    RegisterJdk();
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(launcher.WaitUntilReady(kStartTimeout)) << launcher.ConsoleText();
    ASSERT_TRUE(Visible());
    PumpFor(1000); // lets the last output and the focus be drawn
    EXPECT_TRUE(SaveScreenshot(console, "console-ready"));
    launcher.Kill();
    ASSERT_TRUE(PortFree());

    ClearMachineState();
    // The dialog with its list of the Javas found open.
    RegisterJava(std::string(kJreKey) + "\\1.8.0_402", "Eclipse Adoptium");
    RegisterJava(std::string(kNewJdkKey) + "\\17.0.10", "Microsoft");
    RegisterJava(std::string(kNewJdkKey) + "\\21.0.2", "Azul Systems, Inc.");
    ASSERT_NO_FATAL_FAILURE(Start());
    HWND dialog = launcher.WaitForWindow(kPathDialog, kStartTimeout);
    ASSERT_NE(nullptr, dialog);
    PostMessageA(GetDlgItem(dialog, IDC_JAVA_PATH), CB_SHOWDROPDOWN, TRUE, 0);
    PumpFor(1000);
    HWND list = FindWindowA("ComboLBox", nullptr);
    EXPECT_TRUE(list && IsWindowVisible(list));
    EXPECT_TRUE(SaveScreenshot(dialog, "java-path-dialog", list));
}

} // namespace
