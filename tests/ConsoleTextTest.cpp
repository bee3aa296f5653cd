// The console's text: from any thread, always at the end, in order, within its cap.
#include "app/ConsoleDialog.h"
#include "ui/TrayPlatform.h"
#include "ui/Messages.h"
#include "res/resource.h"
#include "support/ConsoleHost.h"
#include "support/TestSupport.h"
#include "ui/ConsoleOutput.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string Line(const char* tag, int n)
{
    return std::string(tag) + std::to_string(n) + " " + std::string(40, '-') + "\r\n";
}

TEST(ConsoleText, HoldsMoreThanTheEditControlsDefaultThirtyThousandCharacters)
{
    ConsoleHost host(ConsoleOutput::kDefaultCap);
    std::string expected;
    std::string batch;
    for (int i = 0; i < 1000; ++i) {
        batch += Line("main ", i);
        if (i % 100 == 99) {
            host.output.Append(batch.c_str());
            expected += batch;
            batch.clear();
        }
    }
    EXPECT_GT(expected.size(), 30000u);
    EXPECT_EQ(expected, host.Text());
}

TEST(ConsoleText, TwoFloodingThreadsKeepTheirOrderAndNoCallIsSplit)
{
    ConsoleHost host(ConsoleOutput::kDefaultCap);
    const int perThread = 3000;
    auto writer = [&](const char* tag) {
        for (int i = 0; i < perThread; ++i) host.output.Append(Line(tag, i).c_str());
    };
    std::thread a(writer, "A"), b(writer, "B");
    bool done = WaitUntil(
        [&] {
            return host.Text().find(Line("A", perThread - 1)) != std::string::npos &&
                   host.Text().find(Line("B", perThread - 1)) != std::string::npos;
        },
        60000);
    a.join();
    b.join();
    ASSERT_TRUE(done);
    std::string text = host.Text();
    int nextA = 0, nextB = 0;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find("\r\n", at);
        ASSERT_NE(std::string::npos, end);
        std::string line = text.substr(at, end + 2 - at);
        if (line[0] == 'A') ASSERT_EQ(Line("A", nextA++), line);
        else ASSERT_EQ(Line("B", nextB++), line);
        at = end + 2;
    }
    EXPECT_EQ(perThread, nextA);
    EXPECT_EQ(perThread, nextB);
}

TEST(ConsoleText, OverTheCapTheOldestWholeLinesGoAndTheNewestStay)
{
    const size_t cap = 20000;
    ConsoleHost host(cap);
    std::string all;
    for (int i = 0; i < 2000; i += 10) {
        std::string batch;
        for (int j = i; j < i + 10; ++j) batch += Line("L", j);
        all += batch;
        host.output.Append(batch.c_str());
        ASSERT_LE(host.Text().size(), cap);
    }
    std::string text = host.Text();
    EXPECT_GT(text.size(), cap / 2);
    EXPECT_EQ(0, all.compare(all.size() - text.size(), text.size(), text)); // the most recent output, unchanged
    EXPECT_EQ('L', text[0]);                                                // starting at a whole line
}

TEST(ConsoleText, OneBatchLargerThanTheCapKeepsItsEnd)
{
    const size_t cap = 10000;
    ConsoleHost host(cap);
    std::string endless(3 * cap, 'x');
    endless += "END";
    host.output.Append(endless.c_str());
    std::string text = host.Text();
    EXPECT_LE(text.size(), cap);
    EXPECT_EQ("END", text.substr(text.size() - 3));
}

TEST(ConsoleText, NewOutputGoesAtTheEndWhereverTheCaretIsAndTheSelectionStays)
{
    ConsoleHost host(ConsoleOutput::kDefaultCap);
    host.output.Append("first line\r\nsecond line\r\n");
    SendMessageA(host.edit, EM_SETSEL, 3, 3); // the user clicked into the text
    host.output.Append("third\r\n");
    EXPECT_EQ("first line\r\nsecond line\r\nthird\r\n", host.Text());

    SendMessageA(host.edit, EM_SETSEL, 2, 9); // the user selected a word
    host.output.Append("fourth\r\n");
    EXPECT_EQ("first line\r\nsecond line\r\nthird\r\nfourth\r\n", host.Text());
    DWORD start = 0, end = 0;
    host.Selection(start, end);
    EXPECT_EQ(2u, start);
    EXPECT_EQ(9u, end);
}

std::string LineAt(HWND edit, int line)
{
    char text[256] = {};
    *reinterpret_cast<WORD*>(text) = sizeof text - 1;
    LRESULT n = SendMessageA(edit, EM_GETLINE, static_cast<WPARAM>(line), reinterpret_cast<LPARAM>(text));
    return std::string(text, static_cast<size_t>(n)) + "\r\n";
}

std::string Selected(ConsoleHost& host)
{
    DWORD start = 0, end = 0;
    host.Selection(start, end);
    return host.Text().substr(start, end - start);
}

TEST(ConsoleText, AReaderScrolledUpKeepsTheSameTextInViewAndSelectedAlsoAcrossATrimAndOtherwiseTheViewFollowsTheEnd)
{
    const size_t cap = 20000;
    ConsoleHost host(cap);
    // In batches that fit the queue (half the cap), so that nothing is skipped.
    auto append = [&](int from, int to) {
        std::string lines;
        for (int i = from; i < to; ++i) lines += Line("L", i);
        host.output.Append(lines.c_str());
    };
    for (int i = 0; i < 300; i += 100) append(i, i + 100);
    host.output.Append("one more\r\n");
    EXPECT_GT(host.FirstVisibleLine(), 200); // followed the end

    // The user scrolls up and selects the number of a line in view.
    SendMessageA(host.edit, EM_LINESCROLL, 0, -1000);
    SendMessageA(host.edit, EM_LINESCROLL, 0, 150);
    ASSERT_EQ(Line("L", 150), LineAt(host.edit, host.FirstVisibleLine()));
    LRESULT at = SendMessageA(host.edit, EM_LINEINDEX, 152, 0);
    SendMessageA(host.edit, EM_SETSEL, static_cast<WPARAM>(at), at + 4);
    ASSERT_EQ("L152", Selected(host));
    for (int i = 300; i < 320; ++i) host.output.Append(Line("L", i).c_str());
    EXPECT_EQ(Line("L", 150), LineAt(host.edit, host.FirstVisibleLine()));
    EXPECT_EQ("L152", Selected(host));

    // Past the cap the oldest lines go: the same text stays in view and selected.
    append(320, 440);
    ASSERT_NE(0u, host.Text().find(Line("L", 0))) << "nothing was trimmed";
    EXPECT_EQ(Line("L", 150), LineAt(host.edit, host.FirstVisibleLine()));
    EXPECT_EQ("L152", Selected(host));
}

bool EndsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The number in "[... N bytes of output not shown ...]", or -1 when the line is no such note.
long long SkippedIn(const std::string& line)
{
    const std::string head = "[... ";
    if (line.compare(0, head.size(), head) != 0 || line.find(" bytes of output not shown") == std::string::npos)
        return -1;
    return std::atoll(line.c_str() + head.size());
}

std::vector<std::string> insertions;
WNDPROC editProc = nullptr;
LRESULT CALLBACK RecordInsertion(HWND edit, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == EM_REPLACESEL && lParam && *reinterpret_cast<const char*>(lParam))
        insertions.push_back(reinterpret_cast<const char*>(lParam));
    return CallWindowProcA(editProc, edit, message, wParam, lParam);
}

// Each insertion may be the window's last text until the next flush: a line queued whole is never
// cut between two, also where a slice's room ends before a line of the next queued piece.
TEST(ConsoleText, ALineQueuedWholeIsInsertedWhole)
{
    ConsoleHost host(1024 * 1024);
    insertions.clear();
    editProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(host.edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordInsertion)));
    std::string lines;
    while (lines.size() + 100 <= 65500) lines += std::string(98, 'a') + "\r\n";
    const std::string longLine = std::string(7998, 'b') + "\r\n"; // does not join the first piece
    std::thread writer([&] {
        host.output.Append(lines.c_str());
        host.output.Append(longLine.c_str());
    });
    writer.join();
    ASSERT_TRUE(WaitUntil([&] { return EndsWith(host.Text(), longLine); }, 30000));
    SetWindowLongPtrA(host.edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(editProc));
    EXPECT_EQ(lines + longLine, host.Text());
    for (const std::string& insertion : insertions) {
        EXPECT_EQ('\n', insertion.back()) << insertion.size() << " bytes ending in the middle of a line";
    }
}

TEST(ConsoleText, AFloodNeverMakesTheWriterWaitAndTheConsoleSaysWhatItSkipped)
{
    const size_t cap = 64 * 1024;
    ConsoleHost host(cap);
    host.output.KeptIn([] { return std::string("C:\\logs\\console.log"); });
    const std::string older = "older text, shown before the flood\r\n";
    host.output.Append(older.c_str());
    std::string all;
    for (int i = 0; i < 20000; ++i) all += Line("F", i);
    // Nobody inserts while the writer writes (this thread does not pump): the writer must not wait.
    std::thread writer([&] {
        for (int i = 0; i < 20000; ++i) host.output.Append(Line("F", i).c_str());
    });
    writer.join();
    ASSERT_TRUE(WaitUntil([&] { return EndsWith(host.Text(), Line("F", 19999)); }, 30000));

    std::string text = host.Text();
    EXPECT_LE(text.size(), cap);
    // The older text, unless the cap made room by trimming it; then the note.
    size_t noteStart = text.compare(0, older.size(), older) == 0 ? older.size() : 0;
    size_t noteEnd = text.find("\r\n", noteStart) + 2;
    long long skipped = SkippedIn(text.substr(noteStart, noteEnd - noteStart));
    ASSERT_GT(skipped, 0) << text.substr(0, 200);
    EXPECT_EQ(
        "output not shown; all of it is in C:\\logs\\console.log ...]\r\n",
        text.substr(text.find("output not shown", noteStart), noteEnd - text.find("output not shown", noteStart)));
    // After the note: the newest output, from a whole line, and exactly what was not skipped.
    std::string shown = text.substr(noteEnd);
    EXPECT_TRUE(EndsWith(all, shown));
    EXPECT_EQ('F', shown[0]);
    EXPECT_EQ(all.size(), static_cast<size_t>(skipped) + shown.size());
}

TEST(ConsoleText, ASustainedFloodKeepsTheConsoleFullInOrderAndSaysWhereItSkipped)
{
    const size_t cap = 64 * 1024;
    ConsoleHost host(cap);
    const int lines = 100000; // 4.5 MB, much faster than a window shows
    std::thread writer([&] {
        for (int i = 0; i < lines; ++i) host.output.Append(Line("F", i).c_str());
    });
    size_t largest = 0;
    bool noted = false;
    WaitUntil(
        [&] {
            std::string now = host.Text();
            largest = std::max(largest, now.size());
            noted = noted || now.find(" bytes of output not shown ...]") != std::string::npos;
            return EndsWith(now, Line("F", lines - 1));
        },
        60000);
    writer.join();
    std::string text = host.Text();
    ASSERT_TRUE(EndsWith(text, Line("F", lines - 1)));
    EXPECT_LE(largest, cap);
    EXPECT_GT(text.size(), cap / 2); // it stays filled, not emptied by each overflow
    EXPECT_TRUE(noted);
    // Every line is a whole line of the output in order, a skip note, or a line cut by a skip.
    int previous = -1;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find("\r\n", at);
        ASSERT_NE(std::string::npos, end);
        std::string line = text.substr(at, end + 2 - at);
        at = end + 2;
        if (SkippedIn(line) > 0) continue;
        int number = std::atoi(line.c_str() + 1);
        if (line != Line("F", number)) {
            size_t next = text.find("\r\n", at);
            ASSERT_GT(SkippedIn(text.substr(at, next + 2 - at)), 0) << "a cut line not followed by a note: " << line;
            continue;
        }
        ASSERT_GT(number, previous) << line;
        previous = number;
    }
}

TEST(ConsoleText, OutputIntoAHiddenConsoleLeavesItHidden)
{
    ConsoleHost host(ConsoleOutput::kDefaultCap);
    ShowWindow(host.window, SW_HIDE);
    host.output.Append("from the window's thread\r\n");
    std::thread([&] { host.output.Append("from a reader\r\n"); }).join();
    PumpFor(200);
    EXPECT_EQ("from the window's thread\r\nfrom a reader\r\n", host.Text());
    EXPECT_FALSE(IsWindowVisible(host.window));
}

TEST(ConsoleText, AfterCloseNothingMoreIsShown)
{
    ConsoleHost host(ConsoleOutput::kDefaultCap);
    host.output.Append("before\r\n");
    host.output.Close();
    host.output.Append("after close");
    std::thread([&] { host.output.Append("after close from a worker"); }).join();
    PumpFor(200);
    EXPECT_EQ("before\r\n", host.Text());
}

std::atomic<int> refusedPosts{ 0 };
BOOL WINAPI RefuseFirstPost(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (refusedPosts.fetch_add(1) == 0) return FALSE; // a full queue, once
    return PostMessageA(window, message, wParam, lParam);
}

TEST(ConsoleText, TextWhoseFlushCouldNotBePostedIsShownWithTheNextWritersText)
{
    ConsoleHost host(ConsoleOutput::kDefaultCap);
    refusedPosts = 0;
    ScopedOverride post(consoleOutputPlatform.postMessage, &RefuseFirstPost);
    std::thread([&] { host.output.Append("first, whose flush was refused\r\n"); }).join();
    PumpFor(100);
    EXPECT_EQ("", host.Text());
    std::thread([&] { host.output.Append("second\r\n"); }).join();
    EXPECT_TRUE(WaitUntil([&] { return host.Text() == "first, whose flush was refused\r\nsecond\r\n"; }, 5000))
        << host.Text();
    EXPECT_EQ(2, refusedPosts.load());
}

std::atomic<int> trayChanges{ 0 };
BOOL WINAPI CountTrayChanges(DWORD operation, PNOTIFYICONDATAA)
{
    if (operation == NIM_MODIFY) ++trayChanges;
    return TRUE;
}

TEST(ConsoleText, DuringAFloodTheTrayAnimationKeepsItsPaceAndTheFlushesDoNotHurryIt)
{
    ScopedOverride tray(trayPlatform.notifyIcon, &CountTrayChanges);
    ConsoleDialog dialog;
    ASSERT_TRUE(dialog.Create(IDD_CONSOLE, nullptr));
    dialog.ShowWindow(SW_SHOWNOACTIVATE);
    dialog.TrayBusy();
    PumpFor(300);
    std::atomic<bool> stop{ false };
    std::thread writer([&] {
        std::string line = std::string(90, 'x') + "\r\n";
        while (!stop) dialog.AppendConsoleText(line.c_str());
    });
    trayChanges = 0;
    DWORD start = GetTickCount();
    PumpFor(2500);
    int frames = trayChanges;
    DWORD elapsed = GetTickCount() - start;
    stop = true;
    writer.join();
    dialog.TrayRemove();
    // A frame every 500 ms: never starved by the flushes, never advanced by their timer.
    EXPECT_GE(frames, 2);
    EXPECT_LE(frames, static_cast<int>(elapsed / 500) + 1);
}

} // namespace
