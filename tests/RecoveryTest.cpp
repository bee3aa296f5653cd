// Recovery after a crash, the command line's switches and "Start with Windows": the rules in-process.
#include "app/CommandLine.h"
#include "java/Settings.h"
#include "java/StartWithWindows.h"
#include "process/CrashRecovery.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Every reason not to restart, the growing delays, the cap within a sliding ten minutes and the
// user's restart, on a clock the test sets (no test waits 14 s).
TEST(CrashRecovery, ACrashedServerComesBackAfter2Then4Then8SecondsAtMostThreeTimesInAnyTenMinutes)
{
    const DWORD minute = 60 * 1000;
    CrashRecovery::End crash;
    crash.byItself = true;
    crash.exitCode = 3;
    auto with = [&](void (*change)(CrashRecovery::End&)) {
        CrashRecovery::End end = crash;
        change(end);
        return end;
    };
    struct Step {
        const char* what;
        CrashRecovery::End end;
        DWORD now;
        DWORD delay;
        bool gaveUp;
        bool resetFirst;
    };
    const DWORD t0 = 0xFFFFF000u; // the tick count wraps during the run
    const Step steps[] = {
        { "switched off", with([](CrashRecovery::End& e) { e.enabled = false; }), t0, 0, false, false },
        { "stopped by the launcher", with([](CrashRecovery::End& e) { e.byItself = false; }), t0, 0, false, false },
        { "exit code 0", with([](CrashRecovery::End& e) { e.exitCode = 0; }), t0, 0, false, false },
        { "taken port", with([](CrashRecovery::End& e) { e.portTaken = true; }), t0, 0, false, false },
        { "Exit has begun", with([](CrashRecovery::End& e) { e.exiting = true; }), t0, 0, false, false },
        { "session ending", with([](CrashRecovery::End& e) { e.sessionEnding = true; }), t0, 0, false, false },
        { "first crash", crash, t0, 2000, false, false },
        { "crash code", with([](CrashRecovery::End& e) { e.exitCode = 0xC0000005; }), t0 + minute, 4000, false, false },
        { "third", crash, t0 + 2 * minute, 8000, false, false },
        { "fourth within ten minutes", crash, t0 + 9 * minute, 0, true, false },
        { "still within", crash, t0 + 10 * minute - 1, 0, true, false },
        { "the first has left the window", crash, t0 + 10 * minute, 8000, false, false },
        { "the user's restart resets", crash, t0 + 10 * minute + 1, 2000, false, true },
    };
    CrashRecovery recovery;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        if (step.resetFirst) recovery.Reset();
        EXPECT_EQ(step.delay, recovery.OnServerEnd(step.end, step.now));
        EXPECT_EQ(step.gaveUp, recovery.GaveUp());
    }
    EXPECT_EQ(1, recovery.RestartNumber());
}

TEST(CommandLine, TheFirstSwitchTheLauncherKnowsDecidesWithSlashOrDashInAnyCase)
{
    const struct {
        const char* arguments;
        LaunchRequest request;
    } cases[] = {
        { nullptr, LaunchRequest::Start },
        { "", LaunchRequest::Start },
        { "/exit", LaunchRequest::Exit },
        { "-EXIT", LaunchRequest::Exit },
        { "  \t/Restart  ", LaunchRequest::Restart },
        { "/show", LaunchRequest::Show },
        { "\"/exit\"", LaunchRequest::Exit },
        { "/other -x /restart /exit", LaunchRequest::Restart },
        { "exit", LaunchRequest::Start },
        { "/exits", LaunchRequest::Start },
        { "/ex", LaunchRequest::Start },
        { "\"C:\\a b\\file.txt\" /show", LaunchRequest::Show },
        { "/exit-with-a-very-long-tail-that-fills-the-word", LaunchRequest::Start },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments ? c.arguments : "(null)");
        EXPECT_EQ(c.request, ParseCommandLine(c.arguments));
    }
}

// The user's Run key, in a private registry: checked only when the value names this program.
TEST(StartWithWindows, CheckedOnlyWhenTheInstallationsValueNamesThisProgramAndAClickTurnsItOverQuoted)
{
    RegistrySandbox sandbox;
    const char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    const char kName[] = "Vantry.0123456789abcdef";
    const std::string exe = "C:\\Program Files\\Vantry\\Vantry.exe";
    auto store = [&](const char* name, const std::string& value, DWORD type) {
        HKEY run;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExA(HKEY_CURRENT_USER, kRun, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &run, nullptr));
        RegSetValueExA(run, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
        RegCloseKey(run);
    };
    auto stored = [&]() {
        char data[1024] = "";
        DWORD size = sizeof data;
        return RegGetValueA(HKEY_CURRENT_USER, kRun, kName, RRF_RT_REG_SZ, nullptr, data, &size) == ERROR_SUCCESS
                   ? std::string(data)
                   : std::string("(none)");
    };
    EXPECT_FALSE(StartsWithWindows(kName, exe.c_str())); // no Run key at all

    const struct {
        const char* value;
        DWORD type;
        bool checked;
    } cases[] = {
        { "\"C:\\Program Files\\Vantry\\Vantry.exe\"", REG_SZ, true },
        { "C:\\PROGRAM FILES\\VANTRY\\VANTRY.EXE", REG_SZ, true },
        { "\"C:\\Program Files\\Other\\Vantry.exe\"", REG_SZ, false },
        { "\"C:\\Program Files\\Vantry\\Vantry.exe\" /show", REG_SZ, false },
        { "\"C:\\Program Files\\Vantry\\Vantry.exe", REG_SZ, false },
        { "\"C:\\Program Files\\Vantry\\Vantry.exe\"", REG_BINARY, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        store(kName, c.value, c.type);
        EXPECT_EQ(c.checked, StartsWithWindows(kName, exe.c_str()));
    }
    store("Vantry.fedcba9876543210", "\"" + exe + "\"", REG_SZ); // another installation's value
    // On where another program was named: ours, quoted; off removes only ours.
    store(kName, "\"C:\\Other\\Vantry.exe\"", REG_SZ);
    EXPECT_TRUE(SetStartWithWindows(kName, exe.c_str(), true));
    EXPECT_EQ("\"" + exe + "\"", stored());
    EXPECT_TRUE(StartsWithWindows(kName, exe.c_str()));
    EXPECT_TRUE(SetStartWithWindows(kName, exe.c_str(), false));
    EXPECT_EQ("(none)", stored());
    EXPECT_TRUE(SetStartWithWindows(kName, exe.c_str(), false)); // already off
    EXPECT_TRUE(StartsWithWindows("Vantry.fedcba9876543210", exe.c_str()));
}

TEST(RestartOnFailure, OnUnlessTheUsersOrTheMachinesValueSaysFalseAndTheUsersWins)
{
    const char kKey[] = "SOFTWARE\\Vantry\\Vantrybench";
    const struct {
        const char* machine; // nullptr: no value
        const char* user;
        bool on;
    } cases[] = {
        { nullptr, nullptr, true },  { "false", nullptr, false }, { "FALSE", nullptr, false },
        { "true", nullptr, true },   { "no", nullptr, true },     { nullptr, "false", false },
        { "false", "true", true },   { "true", "false", false },  { "", nullptr, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.machine ? c.machine : "-") + "/" + (c.user ? c.user : "-"));
        RegistrySandbox sandbox;
        for (auto [root, text] : { std::make_pair(HKEY_LOCAL_MACHINE, c.machine), std::make_pair(HKEY_CURRENT_USER, c.user) }) {
            if (!text) continue;
            HKEY key;
            ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, kKey, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                                                     nullptr, &key, nullptr));
            RegSetValueExA(key, "RestartOnFailure", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                           static_cast<DWORD>(strlen(text) + 1));
            RegCloseKey(key);
        }
        EXPECT_EQ(c.on, ReadRestartOnFailure());
    }
}

} // namespace
