// The settings key: what LoadSettings takes from it, what the two writers store, and the home paths.
#include "app/ConsoleDialog.h"
#include "framework/Text.h"
#include "java/RegistryKey.h"
#include "java/Settings.h"
#include "res/resource.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <winternl.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

const char kSettingsKey[] = "SOFTWARE\\Vantry\\Vantrybench";

// What the launcher hands to RegSetValueExA. The system adds a NUL that a REG_SZ was written without,
// so the stored value cannot show whether the NUL was counted; the call's own length can.

struct SetValueCall {
    std::string name;
    DWORD type;
    std::string data; // exactly the length given
};

class SetValueRecorder {
public:
    SetValueRecorder() { calls.clear(); }

    static std::vector<SetValueCall> calls;

private:
    // Recorded, then written as the launcher would have written it.
    static LSTATUS WINAPI Record(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size)
    {
        calls.push_back({ name ? name : "", type, std::string(reinterpret_cast<const char*>(data), size) });
        return SystemSettingsPlatform().setValue(key, name, reserved, type, data, size);
    }
    ScopedOverride<decltype(settingsPlatform.setValue)> record_{ settingsPlatform.setValue, &Record };
};
std::vector<SetValueCall> SetValueRecorder::calls;

struct StoredValue {
    bool present = false;
    DWORD type = REG_NONE;
    std::string bytes;
};

// A console window with the placeholders the start-up sequence puts in, on a private HKEY_LOCAL_MACHINE.
class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dialog.Create(IDD_CONSOLE, nullptr));
        ASSERT_TRUE(dialog.hideOnStartup.GetSafeHwnd());
        CopyText(dialog.javaExePath, "Bad path: java.exe");
        CopyText(dialog.homeDir, "Bad path: Vty Home");
    }

    // Under HKEY_LOCAL_MACHINE unless told otherwise; HKEY_CURRENT_USER holds the user's own settings.
    void Store(const char* name, DWORD type, const void* data, size_t size, HKEY root = HKEY_LOCAL_MACHINE)
    {
        RegistryKey key;
        ASSERT_TRUE(key.Create(root, kSettingsKey, KEY_ALL_ACCESS));
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetValueExA(key.Get(), name, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size)));
    }
    // A text with its NUL, as the launcher stores it.
    void StoreText(const char* name, const std::string& text, DWORD type = REG_SZ, HKEY root = HKEY_LOCAL_MACHINE)
    {
        Store(name, type, text.c_str(), text.size() + 1, root);
    }

    // Both registry calls add a NUL that a text was written without; a writer going to the kernel does not.
    void StoreWithoutNul(const char* name, const std::string& text)
    {
        using SetValueKey = LONG(NTAPI*)(HANDLE, UNICODE_STRING*, ULONG, ULONG, void*, ULONG);
        auto setValueKey = reinterpret_cast<SetValueKey>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtSetValueKey")));
        ASSERT_NE(nullptr, setValueKey);
        RegistryKey key;
        ASSERT_TRUE(key.Create(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_ALL_ACCESS));
        std::wstring wideName(name, name + std::strlen(name)), wideText(text.begin(), text.end());
        UNICODE_STRING valueName;
        valueName.Buffer = &wideName[0];
        valueName.Length = static_cast<USHORT>(wideName.size() * sizeof(wchar_t));
        valueName.MaximumLength = valueName.Length;
        ASSERT_EQ(0, setValueKey(key.Get(), &valueName, 0, REG_SZ, &wideText[0],
                                 static_cast<ULONG>(wideText.size() * sizeof(wchar_t))));
        DWORD size = 0;
        ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key.Get(), wideName.c_str(), nullptr, nullptr, nullptr, &size));
        ASSERT_EQ(wideText.size() * sizeof(wchar_t), size) << "stored with a NUL after all";
    }

    static StoredValue Read(const char* name, HKEY root = HKEY_LOCAL_MACHINE)
    {
        StoredValue value;
        RegistryKey key;
        if (!key.Open(root, kSettingsKey, KEY_READ)) return value;
        char data[4096];
        DWORD size = sizeof data;
        if (RegQueryValueExA(key.Get(), name, nullptr, &value.type, reinterpret_cast<BYTE*>(data), &size) !=
            ERROR_SUCCESS)
            return value;
        value.present = true;
        value.bytes.assign(data, size);
        return value;
    }
    static bool SettingsKeyExists(HKEY root = HKEY_LOCAL_MACHINE)
    {
        RegistryKey key;
        return key.Open(root, kSettingsKey, KEY_READ);
    }
    // The start-up's placeholders again, as the next start begins.
    void NextStart()
    {
        dialog.hideOnStartup.SetCheck(0);
        CopyText(dialog.javaExePath, "Bad path: java.exe");
        dialog.LoadSettings();
    }

    static std::string HomeOfTest() { return TestBinDir(); }
    static std::string MarkerOfTest() { return TestBinDir() + "\\config\\vty3.2.sav"; }

    RegistrySandbox sandbox;
    ConsoleDialog dialog;
};

// --- Reading -----------------------------------------------------------------------------------------

TEST_F(SettingsTest, FirstStartCreatesTheKeyEmptyAndStillFindsTheHomeDirectory)
{
    ASSERT_FALSE(SettingsKeyExists());
    dialog.LoadSettings();

    RegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_READ));
    DWORD subkeys = 99, values = 99;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                                              nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(0u, subkeys);
    EXPECT_EQ(0u, values);
    EXPECT_FALSE(SettingsKeyExists(HKEY_CURRENT_USER)); // made only when a user has to keep a choice there
    EXPECT_EQ(0, dialog.hideOnStartup.GetCheck());
    EXPECT_STREQ("Bad path: java.exe", dialog.javaExePath);
    EXPECT_EQ(HomeOfTest(), dialog.homeDir);
    EXPECT_EQ(MarkerOfTest(), dialog.markerPath);
}

TEST_F(SettingsTest, HideOnStartupChecksTheBoxOnlyForARegSzContainingLowercaseTrue)
{
    DWORD trueAsNumber;
    std::memcpy(&trueAsNumber, "true", 4); // a number whose bytes spell the word
    struct Case {
        const char* what;
        DWORD type;
        std::string data; // stored as given
        int before, after;
    };
    const Case cases[] = {
        { "true", REG_SZ, std::string("true", 5), 0, 1 },
        { "false unchecks a checked box", REG_SZ, std::string("false", 6), 1, 0 },
        { "true inside other text", REG_SZ, std::string("xtruex", 7), 0, 1 },
        { "capitals", REG_SZ, std::string("TRUE", 5), 1, 0 },
        { "empty text", REG_SZ, std::string("", 1), 1, 0 },
        { "REG_DWORD leaves an unchecked box", REG_DWORD, std::string(reinterpret_cast<char*>(&trueAsNumber), 4), 0,
          0 },
        { "REG_DWORD leaves a checked box", REG_DWORD, std::string(reinterpret_cast<char*>(&trueAsNumber), 4), 1, 1 },
        { "REG_EXPAND_SZ", REG_EXPAND_SZ, std::string("true", 5), 0, 0 },
        { "over 261 bytes", REG_SZ, std::string(300, 'x').replace(0, 4, "true"), 0, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Store("HideOnStartup", c.type, c.data.data(), c.data.size());
        dialog.hideOnStartup.SetCheck(c.before);
        dialog.LoadSettings();
        EXPECT_EQ(c.after, dialog.hideOnStartup.GetCheck());
    }
}

TEST_F(SettingsTest, JavaExeIsTakenUpTo260CharactersAndOnlyAsRegSz)
{
    std::string longest = "C:\\" + std::string(253, 'j') + ".exe"; // 260 characters
    ASSERT_EQ(260u, longest.size());
    StoreText("JavaExe", longest);
    dialog.LoadSettings();
    EXPECT_EQ(longest, dialog.javaExePath);

    struct Case {
        const char* what;
        std::string text;
        DWORD type;
    };
    const Case ignored[] = {
        { "261 characters", longest + "x", REG_SZ },
        { "REG_EXPAND_SZ", "C:\\jdk\\bin\\java.exe", REG_EXPAND_SZ },
        { "REG_MULTI_SZ", std::string("C:\\jdk\\bin\\java.exe") + '\0', REG_MULTI_SZ },
    };
    for (const Case& c : ignored) {
        SCOPED_TRACE(c.what);
        CopyText(dialog.javaExePath, "Bad path: java.exe");
        StoreText("JavaExe", c.text, c.type);
        dialog.LoadSettings();
        EXPECT_STREQ("Bad path: java.exe", dialog.javaExePath);
    }
}

TEST_F(SettingsTest, EachValueIsReadWhateverTheOthersHold)
{
    std::string longest = "C:\\" + std::string(253, 'j') + ".exe";
    DWORD number = 1;

    {
        SCOPED_TRACE("HideOnStartup a number, VtyHome binary: JavaExe still read, VtyHome still deleted");
        Store("HideOnStartup", REG_DWORD, &number, sizeof number);
        StoreText("JavaExe", longest);
        Store("VtyHome", REG_BINARY, "\x01\x02", 2);
        dialog.LoadSettings();
        EXPECT_EQ(0, dialog.hideOnStartup.GetCheck());
        EXPECT_EQ(longest, dialog.javaExePath);
        EXPECT_FALSE(Read("VtyHome").present);
    }
    {
        SCOPED_TRACE("JavaExe too long: HideOnStartup still read");
        StoreText("HideOnStartup", "true");
        StoreText("JavaExe", longest + "x");
        CopyText(dialog.javaExePath, "Bad path: java.exe");
        dialog.LoadSettings();
        EXPECT_EQ(1, dialog.hideOnStartup.GetCheck());
        EXPECT_STREQ("Bad path: java.exe", dialog.javaExePath);
    }
    {
        SCOPED_TRACE("HideOnStartup too long, no JavaExe: VtyHome still deleted");
        std::string tooLong(300, 'x');
        StoreText("HideOnStartup", tooLong.replace(0, 4, "true"));
        RegistryKey key;
        ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_WRITE));
        RegDeleteValueA(key.Get(), "JavaExe");
        StoreText("VtyHome", "C:\\Old");
        dialog.hideOnStartup.SetCheck(0);
        dialog.LoadSettings();
        EXPECT_EQ(0, dialog.hideOnStartup.GetCheck());
        EXPECT_FALSE(Read("VtyHome").present);
        EXPECT_EQ(HomeOfTest(), dialog.homeDir);
    }
}

TEST_F(SettingsTest, VtyHomeOfAnyTypeIsDeletedAndNeverUsedAsTheHome)
{
    DWORD number = 7;
    std::string full(260, 'h'); // 261 bytes with its NUL: the most a query takes
    struct Case {
        const char* what;
        DWORD type;
        std::string data;
    };
    const Case cases[] = {
        { "REG_SZ", REG_SZ, std::string("C:\\Elsewhere", 13) },
        { "REG_SZ of 261 bytes", REG_SZ, std::string(full.c_str(), 261) },
        { "REG_EXPAND_SZ", REG_EXPAND_SZ, std::string("%TEMP%", 7) },
        { "REG_DWORD", REG_DWORD, std::string(reinterpret_cast<char*>(&number), 4) },
        { "REG_BINARY", REG_BINARY, std::string("\0\1\2", 3) },
        { "empty REG_NONE", REG_NONE, std::string() },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Store("VtyHome", c.type, c.data.data(), c.data.size());
        CopyText(dialog.homeDir, "Bad path: Vty Home");
        dialog.LoadSettings();
        EXPECT_FALSE(Read("VtyHome").present);
        EXPECT_EQ(HomeOfTest(), dialog.homeDir);
    }
}

TEST_F(SettingsTest, VtyHomeTooLongToReadStaysWhereItIs)
{
    StoreText("VtyHome", std::string(300, 'h'));
    dialog.LoadSettings();
    EXPECT_TRUE(Read("VtyHome").present);
    EXPECT_EQ(HomeOfTest(), dialog.homeDir);
}

TEST_F(SettingsTest, TextStoredWithoutItsNulEndsAtItsLengthAndNeverRunsPastTheBuffer)
{
    std::string path = "C:\\jdk1.3.1\\bin\\java.exe";
    StoreWithoutNul("JavaExe", path);
    StoreWithoutNul("HideOnStartup", "true");
    dialog.LoadSettings();
    EXPECT_EQ(path, dialog.javaExePath);
    EXPECT_EQ(1, dialog.hideOnStartup.GetCheck());

    // 261 characters without a NUL fill the read buffer: too long to be a usable path.
    StoreWithoutNul("JavaExe", std::string(261, 'j'));
    CopyText(dialog.javaExePath, "Bad path: java.exe");
    dialog.LoadSettings();
    EXPECT_STREQ("Bad path: java.exe", dialog.javaExePath);
}

// The read buffer's own rule, whatever the system's query does with a missing NUL.
TEST(RegistryText, EndsATextAtItsLengthAndRefusesOneThatFillsTheBuffer)
{
    char data[kRegistryValueSize];
    std::memset(data, 'q', sizeof data);
    std::memcpy(data, "abcde", 5);
    ASSERT_NE(nullptr, RegistryText(data, 5));
    EXPECT_STREQ("abcde", RegistryText(data, 5));

    std::memset(data, 'q', sizeof data);
    data[kRegistryValueSize - 1] = '\0';
    EXPECT_EQ(std::string(260, 'q'), RegistryText(data, kRegistryValueSize));

    std::memset(data, 'q', sizeof data);
    EXPECT_EQ(nullptr, RegistryText(data, kRegistryValueSize));

    std::memset(data, 'q', sizeof data);
    std::memcpy(data, "ab\0cd", 5);
    EXPECT_STREQ("ab", RegistryText(data, 5));
    EXPECT_EQ('q', data[5]); // a text with its NUL is left as it is
}

// HKEY_LOCAL_MACHINE as a user without rights to it sees it: nothing can be opened or created there.
class UnreachableSettingsTest : public SettingsTest {
protected:
    void SetUp() override
    {
        SettingsTest::SetUp();
        std::string path = "Software\\VantryTestGone\\" + std::to_string(GetCurrentProcessId());
        ASSERT_TRUE(gone.Create(HKEY_CURRENT_USER, path.c_str(), KEY_ALL_ACCESS));
        ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str()));
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\VantryTestGone");
        ASSERT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_LOCAL_MACHINE, gone.Get()));
        RegistryKey probe;
        ASSERT_FALSE(probe.Create(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_ALL_ACCESS));
    }
    void TearDown() override { RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr); }

    RegistryKey gone;
};

TEST_F(UnreachableSettingsTest, LoadStillFindsTheHomeDirectoryAndLeavesTheStoredChoicesUnset)
{
    dialog.LoadSettings();
    EXPECT_EQ(0, dialog.hideOnStartup.GetCheck());
    EXPECT_STREQ("Bad path: java.exe", dialog.javaExePath);
    EXPECT_EQ(HomeOfTest(), dialog.homeDir);
    EXPECT_EQ(MarkerOfTest(), dialog.markerPath);
}

TEST_F(UnreachableSettingsTest, BothChoicesAreKeptInTheUsersKeyAndTheNextStartHasThem)
{
    dialog.LoadSettings();
    SendMessageA(dialog.hideOnStartup.GetSafeHwnd(), BM_CLICK, 0, 0);
    std::string java = TestBinDir() + "\\java_tests.exe"; // a file: what the start-up would have settled on
    CopyText(dialog.javaExePath, java.c_str());
    dialog.SaveJavaExe();

    EXPECT_EQ(std::string("true", 5), Read("HideOnStartup", HKEY_CURRENT_USER).bytes);
    EXPECT_EQ(java + '\0', Read("JavaExe", HKEY_CURRENT_USER).bytes);
    NextStart();
    EXPECT_EQ(1, dialog.hideOnStartup.GetCheck());
    EXPECT_EQ(java, dialog.javaExePath);
}

// --- Settings of a user who may read the machine's key but not write it ---------------------------------

TEST_F(SettingsTest, AUsersHideOnStartupAndJavaExeWinOverTheMachines)
{
    const std::string file = TestBinDir() + "\\java_tests.exe", otherFile = TestChildPath();
    const std::string folder = TestBinDir(), nothing = TestBinDir() + "\\no such java.exe";
    struct Case {
        const char* what;
        const char* machineHide; // nullptr: absent
        const char* userHide;
        int check;
        const std::string* machineJava;
        const std::string* userJava;
        std::string javaExePath;
    };
    const Case cases[] = {
        { "user's false over machine's true, user's java over machine's file", "true", "false", 0, &file, &otherFile,
          otherFile },
        { "user's true over machine's false, machine's java a folder", "false", "true", 1, &folder, &otherFile,
          otherFile },
        { "user's true alone, machine's java a path to nothing", nullptr, "true", 1, &nothing, &file, file },
        { "machine's alone, no java anywhere", "true", nullptr, 1, nullptr, nullptr, "Bad path: java.exe" },
        { "no machine java: the user's, though no file either", "false", nullptr, 0, nullptr, &nothing, nothing },
        { "machine's stale java stays without a user's", nullptr, nullptr, 0, &nothing, nullptr, nothing },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (HKEY root : { HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER }) RegDeleteTreeA(root, "SOFTWARE");
        if (c.machineHide) StoreText("HideOnStartup", c.machineHide);
        if (c.userHide) StoreText("HideOnStartup", c.userHide, REG_SZ, HKEY_CURRENT_USER);
        if (c.machineJava) StoreText("JavaExe", *c.machineJava);
        if (c.userJava) StoreText("JavaExe", *c.userJava, REG_SZ, HKEY_CURRENT_USER);
        NextStart();
        EXPECT_EQ(c.check, dialog.hideOnStartup.GetCheck());
        EXPECT_EQ(c.javaExePath, dialog.javaExePath);
    }

    // A user's value that cannot be used leaves the machine's in force.
    for (HKEY root : { HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER }) RegDeleteTreeA(root, "SOFTWARE");
    StoreText("HideOnStartup", "true");
    DWORD number = 0;
    Store("HideOnStartup", REG_DWORD, &number, sizeof number, HKEY_CURRENT_USER);
    StoreText("JavaExe", std::string(300, 'j'), REG_SZ, HKEY_CURRENT_USER);
    NextStart();
    EXPECT_EQ(1, dialog.hideOnStartup.GetCheck());
    EXPECT_STREQ("Bad path: java.exe", dialog.javaExePath);
}

// StopTimeout: milliseconds, held within 1500..60000; absent or no number: 10000. RestartOnFailure: on
// unless the value says "false" (any case). The user's own, when it is a text, is read after the
// machine's and wins; a REG_DWORD is no text.
TEST_F(SettingsTest, StopTimeoutAndRestartOnFailureAreTheUsersOrTheMachinesTextElseTheirDefaults)
{
    const DWORD number = 5000;
    const char *none = nullptr, *T = "StopTimeout", *R = "RestartOnFailure";
    const struct {
        const char *name, *machine, *user;
        DWORD want; // the timeout, or whether to restart
    } cases[] = {
        { T, none, none, 10000 },     { T, "3000", none, 3000 },    { T, "1499", none, 1500 },
        { T, "-20", none, 1500 },     { T, "60001", none, 60000 },  { T, " 2500 ", none, 2500 },
        { T, "", none, 10000 },       { T, "2s", none, 10000 },     { T, "99999999999999999999", none, 60000 },
        { T, "9", "4000", 4000 },     { T, "2000", "x", 10000 },    { T, "2000", "dword", 2000 },
        { R, none, none, true },      { R, "FALSE", none, false },  { R, "no", none, true },
        { R, "false", "true", true }, { R, "true", "false", false }
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + ": " + (c.machine ? c.machine : "-") + " / " + (c.user ? c.user : "-"));
        for (HKEY root : { HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER }) RegDeleteTreeA(root, "SOFTWARE");
        if (c.machine) StoreText(c.name, c.machine);
        if (c.user && std::string(c.user) == "dword") Store(c.name, REG_DWORD, &number, 4, HKEY_CURRENT_USER);
        else if (c.user) StoreText(c.name, c.user, REG_SZ, HKEY_CURRENT_USER);
        NextStart();
        EXPECT_EQ(c.want, c.name == T ? dialog.stopTimeout : DWORD(ReadRestartOnFailure()));
    }
}

TEST_F(SettingsTest, AMachineKeyThatCannotBeWrittenSendsTheChoicesToTheUsersKeyAndKeepsItsOwnValues)
{
    StoreText("HideOnStartup", "false");
    const std::string stale = TestBinDir() + "\\gone\\java.exe";
    StoreText("JavaExe", stale);
    StoreText("VtyHome", "C:\\Old");
    ASSERT_TRUE(DenyWrites(HKEY_LOCAL_MACHINE, kSettingsKey, kRegistryView));

    dialog.LoadSettings();
    EXPECT_TRUE(Read("VtyHome").present); // it could not be deleted
    EXPECT_EQ(stale, dialog.javaExePath);
    SendMessageA(dialog.hideOnStartup.GetSafeHwnd(), BM_CLICK, 0, 0);
    const std::string java = TestBinDir() + "\\java_tests.exe";
    CopyText(dialog.javaExePath, java.c_str());
    {
        SetValueRecorder recorder;
        dialog.SaveJavaExe();
        ASSERT_EQ(1u, SetValueRecorder::calls.size());
        EXPECT_EQ(java + '\0', SetValueRecorder::calls[0].data);
    }

    EXPECT_EQ(std::string("false", 6), Read("HideOnStartup").bytes);
    EXPECT_EQ(stale + '\0', Read("JavaExe").bytes);
    EXPECT_EQ(std::string("true", 5), Read("HideOnStartup", HKEY_CURRENT_USER).bytes);
    EXPECT_EQ(java + '\0', Read("JavaExe", HKEY_CURRENT_USER).bytes);
    NextStart();
    EXPECT_EQ(1, dialog.hideOnStartup.GetCheck());
    EXPECT_EQ(java, dialog.javaExePath);
}

TEST_F(SettingsTest, WithAWritableMachineKeyTheChoicesGoThereAndAClickRetiresTheUsersOwnChoice)
{
    // Left by a run without rights, then the launcher runs as an administrator.
    StoreText("HideOnStartup", "true", REG_SZ, HKEY_CURRENT_USER);
    const std::string userJava = TestChildPath();
    StoreText("JavaExe", userJava, REG_SZ, HKEY_CURRENT_USER);
    dialog.LoadSettings();
    ASSERT_EQ(1, dialog.hideOnStartup.GetCheck());

    SendMessageA(dialog.hideOnStartup.GetSafeHwnd(), BM_CLICK, 0, 0);
    const std::string java = TestBinDir() + "\\java_tests.exe";
    CopyText(dialog.javaExePath, java.c_str());
    dialog.SaveJavaExe();

    EXPECT_EQ(std::string("false", 6), Read("HideOnStartup").bytes);
    EXPECT_EQ(java + '\0', Read("JavaExe").bytes);
    EXPECT_FALSE(Read("HideOnStartup", HKEY_CURRENT_USER).present);
    EXPECT_FALSE(Read("JavaExe", HKEY_CURRENT_USER).present);
    NextStart();
    EXPECT_EQ(0, dialog.hideOnStartup.GetCheck());
    EXPECT_EQ(java, dialog.javaExePath);
}

// --- Writing -----------------------------------------------------------------------------------------

// The settings window's choices are read where they were stored: in the machine's key when this user
// may write it, which retires the user's own value of the same name; else in the user's, which wins.
TEST_F(SettingsTest, EachChoiceIsStoredWhereTheNextStartReadsItAndRetiresTheUsersOwnWhenTheMachinesIsWritable)
{
    const std::string options(2047, 'o');
    const struct {
        const char* name;
        std::function<void()> store;
        std::function<bool()> readBack; // the stored choice is what the next start has
    } cases[] = {
        { "JavaOptions", [&] { StoreJavaOptions(options); }, [&] { return ReadJavaOptions() == options; } },
        { "RestartOnFailure", [] { StoreRestartOnFailure(false); }, [] { return !ReadRestartOnFailure(); } },
        { "StopTimeout", [] { StoreStopTimeout(2500); }, [] { return ReadStopTimeout() == 2500; } },
    };
    for (bool writable : { true, false }) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (writable ? ", machine's key writable" : ", machine's key read-only"));
            for (HKEY root : { HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER }) RegDeleteTreeA(root, "SOFTWARE");
            StoreText(c.name, "machine's");
            StoreText(c.name, "user's", REG_SZ, HKEY_CURRENT_USER);
            ASSERT_TRUE(writable || DenyWrites(HKEY_LOCAL_MACHINE, kSettingsKey, kRegistryView));
            c.store();
            EXPECT_TRUE(c.readBack());
            EXPECT_EQ(writable, !Read(c.name, HKEY_CURRENT_USER).present);
            EXPECT_EQ(writable, Read(c.name).bytes != std::string("machine's", 10));
        }
    }
}

TEST_F(SettingsTest, ClickingHideOnStartupStoresTrueInFiveBytesAndFalseInSix)
{
    StoreText("HideOnStartup", "unknown");
    HWND box = dialog.hideOnStartup.GetSafeHwnd();
    {
        SetValueRecorder recorder;
        SendMessageA(box, BM_CLICK, 0, 0);
        ASSERT_EQ(1, dialog.hideOnStartup.GetCheck());
        SendMessageA(box, BM_CLICK, 0, 0);
        ASSERT_EQ(0, dialog.hideOnStartup.GetCheck());
        ASSERT_EQ(2u, SetValueRecorder::calls.size());
        EXPECT_EQ("HideOnStartup", SetValueRecorder::calls[0].name);
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), SetValueRecorder::calls[0].type);
        EXPECT_EQ(std::string("true", 5), SetValueRecorder::calls[0].data);
        EXPECT_EQ("HideOnStartup", SetValueRecorder::calls[1].name);
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), SetValueRecorder::calls[1].type);
        EXPECT_EQ(std::string("false", 6), SetValueRecorder::calls[1].data);
    }
    StoredValue off = Read("HideOnStartup");
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), off.type);
    EXPECT_EQ(std::string("false", 6), off.bytes);

    // What was stored is what the next start shows.
    SendMessageA(box, BM_CLICK, 0, 0);
    StoredValue on = Read("HideOnStartup");
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), on.type);
    EXPECT_EQ(std::string("true", 5), on.bytes);
    dialog.hideOnStartup.SetCheck(0);
    dialog.LoadSettings();
    EXPECT_EQ(1, dialog.hideOnStartup.GetCheck());
}

TEST_F(SettingsTest, JavaExeIsStoredAsRegSzWithItsNulAndReadBackUnchanged)
{
    StoreText("JavaExe", "C:\\old\\bin\\java.exe");
    std::string path = "C:\\Program Files\\jdk1.3.1\\bin\\java.exe"; // 38 characters
    path.insert(3, "xy");                                            // 40
    ASSERT_EQ(40u, path.size());
    CopyText(dialog.javaExePath, path.c_str());
    {
        SetValueRecorder recorder;
        dialog.SaveJavaExe();
        ASSERT_EQ(1u, SetValueRecorder::calls.size());
        EXPECT_EQ("JavaExe", SetValueRecorder::calls[0].name);
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), SetValueRecorder::calls[0].type);
        EXPECT_EQ(41u, SetValueRecorder::calls[0].data.size());
        EXPECT_EQ(path + '\0', SetValueRecorder::calls[0].data);
    }
    StoredValue stored = Read("JavaExe");
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), stored.type);
    EXPECT_EQ(path + '\0', stored.bytes);

    CopyText(dialog.javaExePath, "Bad path: java.exe");
    dialog.LoadSettings();
    EXPECT_EQ(path, dialog.javaExePath);
}

// --- The home directory --------------------------------------------------------------------------------

TEST(DeriveHomePaths, CutsTheExecutableAtItsLastBackslashAndPutsTheMarkerUnderIt)
{
    char home[kPathSize] = "untouched";
    char marker[kPathSize] = "untouched";
    ASSERT_EQ(1, DeriveHomePaths("C:\\Apps\\Launcher\\launcher.exe", home, sizeof home, marker, sizeof marker));
    EXPECT_STREQ("C:\\Apps\\Launcher", home);
    EXPECT_STREQ("C:\\Apps\\Launcher\\config\\vty3.2.sav", marker);

    ASSERT_EQ(1, DeriveHomePaths("C:\\launcher.exe", home, sizeof home, marker, sizeof marker));
    EXPECT_STREQ("C:", home);
    EXPECT_STREQ("C:\\config\\vty3.2.sav", marker);
}

TEST(DeriveHomePaths, LeavesBothBuffersAloneWhenAPathHasNoDirectoryOrDoesNotFit)
{
    const char* exe = "C:\\Apps\\Launcher\\launcher.exe";
    const size_t homeLength = std::strlen("C:\\Apps\\Launcher");
    const size_t markerLength = homeLength + std::strlen("\\config\\vty3.2.sav");
    char home[kPathSize] = "untouched";
    char marker[kPathSize] = "untouched";

    EXPECT_EQ(0, DeriveHomePaths("launcher.exe", home, sizeof home, marker, sizeof marker));
    EXPECT_EQ(0, DeriveHomePaths(exe, home, homeLength, marker, sizeof marker));
    EXPECT_EQ(0, DeriveHomePaths(exe, home, sizeof home, marker, markerLength));
    EXPECT_STREQ("untouched", home);
    EXPECT_STREQ("untouched", marker);

    // Exactly large enough.
    char exactHome[32], exactMarker[64];
    ASSERT_LT(markerLength + 1, sizeof exactMarker);
    EXPECT_EQ(1, DeriveHomePaths(exe, exactHome, homeLength + 1, exactMarker, markerLength + 1));
    EXPECT_STREQ("C:\\Apps\\Launcher\\config\\vty3.2.sav", exactMarker);
}

} // namespace
