// The output file: its folder's name, its rotation, and a file that cannot be written.
#include "process/ConsoleLog.h"
#include "support/TestSupport.h"

#include "framework/Text.h"
#include "kit/Files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string logBase; // the test's stand-in for local application data
bool TestLocalAppData(char* path, size_t size) { return CopyText(path, size, logBase.c_str()) == 1; }

// Read only after the log has ended, whose writer thread tells it.
struct RecordingConsole : RunnerOwner {
    void AppendConsoleText(const char* text) override { text_ += text; }
    void PostServerReady() override {}
    std::string text_;
};

// Bytes 0..n-1 of a text that says where each byte is, so that a slice out of place shows.
std::string Stream(size_t n)
{
    std::string text;
    while (text.size() < n) text += "byte " + std::to_string(text.size()) + "\n";
    return text.substr(0, n);
}

TEST(ConsoleLog, KeepsTheOutputInTheInstallationsFolderRotatesAtItsSizeAndTellsAFailureOnce)
{
    logBase = TempDir("console-log");
    ScopedOverride folder(consoleLogPlatform.localAppData, &TestLocalAppData);
    const std::string logs = logBase + "\\Vantry\\logs\\";
    struct Case {
        const char* home;
        const char* folder;           // under logs, when the row is about it
        unsigned long long fileBytes; // 0: the launcher's
        size_t written;               // in writes of 700 bytes
        std::vector<size_t> starts;   // where console.log, console.1.log, ... begin in the output; none: it fails
    };
    const Case cases[] = {
        { "C:\\Apps\\My Vantry", "My Vantry.e34214719b7b75d8", 0, 3000, { 0 } },
        { "c:\\apps\\MY VANTRY", "MY VANTRY.e34214719b7b75d8", 0, 700, { 0 } },         // the same installation
        { "C:\\Apps\\Rotated", nullptr, 1000, 6500, { 6000, 5000, 4000, 3000, 2000 } }, // the last 5 files
        { "C:\\Apps\\Blocked", nullptr, 0, ConsoleLog::kQueueBytes + 100000, {} },      // a file where the folder goes
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.home);
        const bool blocked = c.starts.empty();
        RemoveTree(logBase + "\\Vantry");
        RecordingConsole console;
        const std::string stream = Stream(c.written);
        std::string path;
        {
            ConsoleLog log(c.fileBytes ? c.fileBytes : ConsoleLog::kFileBytes);
            log.Open(c.home, &console);
            if (c.folder) EXPECT_EQ(logs + c.folder, log.Folder());
            if (blocked) {
                ASSERT_TRUE(CreateDirectoryA((logBase + "\\Vantry").c_str(), nullptr));
                ASSERT_TRUE(WriteWholeFile(logs.substr(0, logs.size() - 1), "not a folder"));
            }
            path = log.Folder() + "\\console";
            // More than the queue holds: a failed file must not keep the reader waiting for room.
            for (size_t at = 0; at < stream.size(); at += 700)
                log.Write(stream.data() + at, std::min<size_t>(700, stream.size() - at));
            EXPECT_TRUE(log.Drain(30000));
            EXPECT_EQ(blocked, log.FilePath().empty());
        }
        if (blocked) {
            const std::string& text = console.text_;
            EXPECT_NE(std::string::npos, text.find(path.substr(0, path.size() - 8) + " cannot be written")) << text;
            EXPECT_EQ(text.find("cannot be written"), text.rfind("cannot be written")) << "told more than once";
            continue;
        }
        EXPECT_EQ("", console.text_);
        size_t end = stream.size();
        for (size_t i = 0; i < c.starts.size(); ++i) {
            const std::string file = path + (i == 0 ? std::string() : "." + std::to_string(i)) + ".log";
            EXPECT_EQ(stream.substr(c.starts[i], end - c.starts[i]), ReadWholeFile(file)) << file;
            end = c.starts[i];
        }
        EXPECT_FALSE(PathExists(path + "." + std::to_string(c.starts.size()) + ".log"));
    }
    RemoveTree(logBase);
}

} // namespace
