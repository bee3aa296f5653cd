// The process runner against real child programs.
#include "process/ProcessRunner.h"
#include "support/RecordingRunner.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr UINT kEnded = WM_APP + 50;

// A handle to watch the child from outside the runner.
HANDLE OpenChild(const ProcessRunner& runner)
{
    return OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, runner.ProcessId());
}

DWORD ExitCodeOf(HANDLE process)
{
    WaitForSingleObject(process, 10000);
    DWORD code = 12345;
    GetExitCodeProcess(process, &code);
    return code;
}

class ProcessRunnerTest : public ::testing::Test {
protected:
    void SetUp() override { runner.SetNotify(&window, kEnded); }
    bool Ended(int count = 1, DWORD ms = 15000) { return window.WaitFor(kEnded, count, ms); }
    // The end notifications once the runner is idle and a late duplicate has had time to come.
    int EndsWhenQuiet()
    {
        WaitUntil([&] { return runner.IsIdle(); }, 15000);
        PumpFor(kRunnerDrainMilliseconds + 200);
        return window.Count(kEnded);
    }

    MessageWindow window;
    RecordingRunner runner;
};

TEST_F(ProcessRunnerTest, ChildEndingByItselfIsReportedOnceAfterAllItsOutput)
{
    ASSERT_EQ(1, runner.Run("out:first\\n sleep:100 out:last-line-before-exit exit:3"));
    EXPECT_FALSE(runner.IsIdle());
    ASSERT_TRUE(Ended());
    // Everything the child wrote arrived before its end was reported.
    EXPECT_EQ("first\nlast-line-before-exit", runner.Output());
    EXPECT_TRUE(WaitUntil([&] { return runner.IsIdle(); }, 5000));
    EXPECT_EQ(static_cast<DWORD>(-1), runner.ProcessId());
    EXPECT_EQ(1, EndsWhenQuiet());
}

TEST_F(ProcessRunnerTest, StartWhileBusyIsRefusedAndTheRunningChildGoesOn)
{
    ASSERT_EQ(1, runner.Run("out:running sleep:20000"));
    DWORD first = runner.ProcessId();
    HANDLE child = OpenChild(runner);
    ASSERT_NE(nullptr, child);
    EXPECT_EQ(0, runner.Run("out:second"));
    EXPECT_EQ(first, runner.ProcessId());
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(child, 300));
    runner.Stop();
    ASSERT_TRUE(Ended());
    CloseHandle(child);
    EXPECT_EQ(std::string::npos, runner.Output().find("second"));
}

TEST_F(ProcessRunnerTest, StopEndsTheChildWithCodeZeroOnceAndTheRunnerCanStartAgain)
{
    EXPECT_EQ(0, runner.Stop()); // idle: nothing to stop, and nothing remembered
    ASSERT_EQ(1, runner.Run("sleep:30000 exit:9"));
    HANDLE child = OpenChild(runner);
    ASSERT_NE(nullptr, child);
    EXPECT_NE(0, runner.Stop());
    ASSERT_TRUE(Ended());
    EXPECT_EQ(0u, ExitCodeOf(child));
    CloseHandle(child);
    EXPECT_TRUE(WaitUntil([&] { return runner.IsIdle(); }, 5000));
    EXPECT_EQ(1, EndsWhenQuiet());

    ASSERT_EQ(1, runner.Run("out:again exit:0"));
    ASSERT_TRUE(Ended(2));
    EXPECT_EQ("again", runner.Output());
}

TEST_F(ProcessRunnerTest, WithoutSetNotifyTheEndIsHandledAndNobodyIsTold)
{
    RecordingRunner quiet;
    ASSERT_EQ(1, quiet.Run("out:alone"));
    EXPECT_TRUE(WaitUntil([&] { return quiet.IsIdle(); }, 15000));
    EXPECT_EQ("alone", quiet.Output());
}

TEST_F(ProcessRunnerTest, WindowedProgramStartsWithoutCaptureAndItsEndIsReported)
{
    std::string line = "test_window.exe 300";
    ASSERT_EQ(1, runner.Start(TestWindowPath().c_str(), &line[0], TestBinDir().c_str(), SW_SHOWNOACTIVATE, 1));
    ASSERT_TRUE(Ended());
    EXPECT_EQ(0u, runner.ChunkCount());
}

TEST_F(ProcessRunnerTest, ConsoleProgramsAreToldFromWindowedOnesAndFromOtherFiles)
{
    EXPECT_EQ(1, ProcessRunner::IsConsoleProgram(TestChildPath().c_str()));
    EXPECT_EQ(0, ProcessRunner::IsConsoleProgram(TestWindowPath().c_str()));
    EXPECT_EQ(0, ProcessRunner::IsConsoleProgram((TestBinDir() + "\\no such program.exe").c_str()));
    EXPECT_EQ(0, ProcessRunner::IsConsoleProgram(TestBinDir().c_str()));
    EXPECT_EQ(0, ProcessRunner::IsConsoleProgram(nullptr));
}

TEST_F(ProcessRunnerTest, LargeOutputArrivesInOrderInChunksOfAtMost2048BytesEachTerminated)
{
    ASSERT_EQ(1, runner.Run("big:100000 out:tail"));
    ASSERT_TRUE(Ended());
    EXPECT_FALSE(runner.badChunk);
    EXPECT_GT(runner.ChunkCount(), 100000u / 2048);
    EXPECT_EQ(NumberedText(100000) + "tail", runner.Output());
}

TEST_F(ProcessRunnerTest, ChunksKeepNulBytesAndZeroLengthWritesDoNotEndTheOutput)
{
    ASSERT_EQ(1, runner.Run("out:a\\0b zero sleep:200 out:after"));
    ASSERT_TRUE(Ended());
    EXPECT_FALSE(runner.badChunk);
    EXPECT_EQ(std::string("a\0bafter", 8), runner.Output());
}

TEST_F(ProcessRunnerTest, StandardErrorArrivesInTheSameStreamInWriteOrder)
{
    ASSERT_EQ(1, runner.Run("out:1 err:2 out:3 err:4 sleep:50 err:5 out:6"));
    ASSERT_TRUE(Ended());
    EXPECT_EQ("123456", runner.Output());
}

TEST_F(ProcessRunnerTest, ChildReadingItsInputGetsNeitherDataNorEnd)
{
    ASSERT_EQ(1, runner.Run("stdin:700"));
    ASSERT_TRUE(Ended());
    EXPECT_EQ("stdin: no data, no end\n", runner.Output());
}

TEST_F(ProcessRunnerTest, AfterOnOutputReturnsZeroNoMoreOutputComesButTheEndIsReported)
{
    runner.readLimit = 1;
    ChildGate gate;
    ASSERT_EQ(1, runner.Run("out:first " + gate.Step() + " out:second out:third"));
    ASSERT_TRUE(WaitUntil([&] { return runner.ChunkCount() == 1; }, 15000));
    gate.Open(); // the rest is written only once the first chunk has been taken
    ASSERT_TRUE(Ended());
    EXPECT_EQ(1u, runner.ChunkCount());
    EXPECT_EQ("first", runner.Output());
}

TEST_F(ProcessRunnerTest, CrashingChildIsReportedOnce)
{
    ASSERT_EQ(1, runner.Run("out:before crash"));
    ASSERT_TRUE(Ended());
    // Wine's debugger may add its crash report to the child's output.
    EXPECT_EQ(0u, runner.Output().find("before"));
    EXPECT_EQ(1, EndsWhenQuiet());
}

TEST_F(ProcessRunnerTest, FailedStartLeavesTheRunnerIdleAndUsable)
{
    std::string line = "missing.exe";
    std::string missing = TestBinDir() + "\\missing.exe";
    EXPECT_EQ(0, runner.Start(missing.c_str(), &line[0], TestBinDir().c_str(), SW_HIDE, 1));
    EXPECT_EQ(0, runner.Start(TestBinDir().c_str(), &line[0], TestBinDir().c_str(), SW_HIDE, 1));
    EXPECT_TRUE(runner.IsIdle());
    EXPECT_EQ(static_cast<DWORD>(-1), runner.ProcessId());
    ASSERT_EQ(1, runner.Run("out:works"));
    ASSERT_TRUE(Ended());
    EXPECT_EQ("works", runner.Output());
}

TEST_F(ProcessRunnerTest, CapturedLaunchLeavesTheLaunchersStandardHandlesAsTheyWere)
{
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE), out = GetStdHandle(STD_OUTPUT_HANDLE);
    ASSERT_EQ(1, runner.Run("out:x"));
    EXPECT_EQ(in, GetStdHandle(STD_INPUT_HANDLE));
    EXPECT_EQ(out, GetStdHandle(STD_OUTPUT_HANDLE));
    ASSERT_TRUE(Ended());
    ASSERT_TRUE(WaitUntil([&] { return runner.IsIdle(); }, 5000)); // the end is told before the clean-up ends

    std::string line = "test_child.exe out:y";
    // Passes the console test (a real console program) but cannot be created in a missing folder.
    EXPECT_EQ(0, runner.Start(TestChildPath().c_str(), &line[0], "C:\\no\\such\\folder", SW_HIDE, 1));
    EXPECT_EQ(in, GetStdHandle(STD_INPUT_HANDLE));
    EXPECT_EQ(out, GetStdHandle(STD_OUTPUT_HANDLE));
    EXPECT_TRUE(runner.IsIdle());
}

// Output taken by a runner that outlived its owner would land in freed memory.
std::atomic<int> liveRecorders{ 0 };
std::atomic<int> callsAfterDestruction{ 0 };
std::atomic<int> chunksSeen{ 0 };
class DyingRunner : public ProcessRunner {
public:
    DyingRunner() { ++liveRecorders; }
    ~DyingRunner() override
    {
        EndSupervision();
        --liveRecorders;
    }
    int OnOutput(char*, int) override
    {
        if (liveRecorders == 0) ++callsAfterDestruction;
        ++chunksSeen;
        return 1;
    }
};

TEST(ProcessRunnerLifetime, ARunnerDestroyedWithALiveChildEndsItAndDeliversNothingAfterwards)
{
    std::string line = "test_child.exe flood";
    HANDLE child = nullptr;
    size_t threads = OwnThreadIds().size();
    {
        DyingRunner runner;
        ASSERT_EQ(1, runner.Start(TestChildPath().c_str(), &line[0], TestBinDir().c_str(), SW_HIDE, 1));
        child = OpenProcess(SYNCHRONIZE, FALSE, runner.ProcessId());
        ASSERT_NE(nullptr, child);
        ASSERT_TRUE(WaitUntil([] { return chunksSeen > 10; }, 15000)); // it is flooding the reader
    }
    EXPECT_EQ(threads, OwnThreadIds().size()); // its reader and watcher are gone with it
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(child, 10000));
    CloseHandle(child);
    int seen = chunksSeen;
    PumpFor(500);
    EXPECT_EQ(seen, chunksSeen.load());
    EXPECT_EQ(0, callsAfterDestruction.load());
}

TEST_F(ProcessRunnerTest, TwoHundredStartsAndEndsLeaveNoHandleOrThreadBehind)
{
    // The first cycle loads what the system loads once (shell, pipes); count from after it.
    ASSERT_EQ(1, runner.Run("out:warm"));
    ASSERT_TRUE(Ended(1));
    ASSERT_TRUE(WaitUntil([&] { return runner.IsIdle(); }, 5000));
    size_t handles = OwnHandles().size();
    size_t threads = OwnThreadIds().size();
    ASSERT_GT(handles, 0u);
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(1, runner.Run(i % 2 ? "out:x" : "sleep:5000")) << "cycle " << i;
        if (i % 2 == 0) runner.Stop();
        ASSERT_TRUE(Ended(i + 2)) << "cycle " << i;
        ASSERT_TRUE(WaitUntil([&] { return runner.IsIdle(); }, 5000));
    }
    PumpFor(200);
    EXPECT_LE(OwnHandles().size(), handles + 2); // the system's own caches may move by a handle or two
    EXPECT_EQ(threads, OwnThreadIds().size());
}

} // namespace
