// Recovery after a crash, the command line's switches and "Start with Windows": the rules in-process.
#include "app/CommandLine.h"
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
    const DWORD t0 = 0xFFFFF000u, minute = 60 * 1000; // the tick count wraps during the run
    const struct {
        const char* what;
        CrashRecovery::End end; // enabled, byItself, exitCode, portTaken, exiting, sessionEnding
        DWORD now, delay;
        bool gaveUp = false, resetFirst = false;
    } steps[] = {
        { "switched off", { false, true, 3 }, t0, 0 },
        { "stopped by the launcher", { true, false, 3 }, t0, 0 },
        { "exit code 0", { true, true, 0 }, t0, 0 },
        { "taken port", { true, true, 3, true }, t0, 0 },
        { "Exit has begun", { true, true, 3, false, true }, t0, 0 },
        { "session ending", { true, true, 3, false, false, true }, t0, 0 },
        { "first crash", { true, true, 3 }, t0, 2000 },
        { "a crash's code", { true, true, 0xC0000005 }, t0 + minute, 4000 },
        { "third", { true, true, 3 }, t0 + 2 * minute, 8000 },
        { "fourth within ten minutes", { true, true, 3 }, t0 + 9 * minute, 0, true },
        { "still within", { true, true, 3 }, t0 + 10 * minute - 1, 0, true },
        { "the first has left", { true, true, 3 }, t0 + 10 * minute, 8000 },
        { "the user's restart", { true, true, 3 }, t0 + 10 * minute + 1, 2000, false, true },
    };
    CrashRecovery recovery;
    for (const auto& s : steps) {
        SCOPED_TRACE(s.what);
        if (s.resetFirst) recovery.Reset();
        EXPECT_EQ(s.delay, recovery.OnServerEnd(s.end, s.now));
        EXPECT_EQ(s.gaveUp, recovery.GaveUp());
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
    const char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run", kName[] = "Vantry.0123456789abcdef";
    const std::string exe = "C:\\Program Files\\Vantry\\Vantry.exe";
    EXPECT_FALSE(StartsWithWindows(kName, exe.c_str())); // no Run key at all
    const struct {
        std::string value;
        DWORD type;
        bool checked;
    } cases[] = { { '"' + exe + '"', REG_SZ, true },
                  { "C:\\PROGRAM FILES\\VANTRY\\VANTRY.EXE", REG_SZ, true },
                  { "\"C:\\Other\\Vantry.exe\"", REG_SZ, false },
                  { '"' + exe + "\" /show", REG_SZ, false },
                  { '"' + exe, REG_SZ, false },
                  { '"' + exe + '"', REG_BINARY, false } };
    for (const auto& c : cases) {
        RegSetKeyValueA(HKEY_CURRENT_USER, kRun, kName, c.type, c.value.c_str(),
                        static_cast<DWORD>(c.value.size() + 1));
        EXPECT_EQ(c.checked, StartsWithWindows(kName, exe.c_str())) << c.value;
    }
    // On where another program was named: ours, quoted; off removes only ours, and twice is no error.
    RegSetKeyValueA(HKEY_CURRENT_USER, kRun, "Vantry.other", REG_SZ, "x", 2);
    EXPECT_TRUE(SetStartWithWindows(kName, exe.c_str(), true));
    char stored[MAX_PATH] = "";
    DWORD size = sizeof stored;
    EXPECT_EQ(ERROR_SUCCESS, RegGetValueA(HKEY_CURRENT_USER, kRun, kName, RRF_RT_REG_SZ, nullptr, stored, &size));
    EXPECT_EQ('"' + exe + '"', stored);
    EXPECT_TRUE(SetStartWithWindows(kName, exe.c_str(), false));
    EXPECT_TRUE(SetStartWithWindows(kName, exe.c_str(), false));
    EXPECT_FALSE(StartsWithWindows(kName, exe.c_str()));
    size = sizeof stored;
    EXPECT_EQ(ERROR_SUCCESS,
              RegGetValueA(HKEY_CURRENT_USER, kRun, "Vantry.other", RRF_RT_REG_SZ, nullptr, stored, &size));
}

} // namespace
