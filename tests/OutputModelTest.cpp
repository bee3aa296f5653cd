// Random server output against a model of what the launcher makes of it: the console text, the
// application's address, readiness and the stop on a taken port.
#include "app/ConsoleDialog.h"
#include "ui/Messages.h"
#include "framework/Text.h"
#include "res/resource.h"
#include "support/Models.h"
#include "support/ConsoleHost.h"
#include "support/TestSupport.h"
#include "support/WholeConsole.h"
#include "ui/ConsoleOutput.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

// The runner reads its child's output 2048 bytes at a time.
constexpr size_t kReadBytes = 2048;

const char kDefaultUrl[] = "http://localhost/Vantry";
const std::string kUrlMarker = "Vantry url: ";
const std::string kReadyMarker = "Vantry is initialized";
const std::string kPortTakenMarker = "java.net.BindException";

// Shows bytes that a terminal would swallow.
std::string Visible(const std::string& text, size_t most = 300)
{
    std::string out;
    for (size_t i = 0; i < text.size() && out.size() < most; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\\') out += "\\\\";
        else if (c < ' ' || c >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else out += static_cast<char>(c);
    }
    if (out.size() >= most) out += "...";
    return out;
}

// --- Random output ------------------------------------------------------------------------------------

// Wine's text shaping ends the process on this byte at the start of a console line (its own test
// below); elsewhere the random output goes without it, so that the rest can be tested.
const char kLineStartCrash = '\x98';
std::string WithoutLineStartCrash(std::string text)
{
    std::replace(text.begin(), text.end(), kLineStartCrash, '\x99');
    return text;
}

std::string Case(Dice& dice, const std::string& text)
{
    std::string out = text;
    for (char& c : out) {
        if (!dice.Chance(0.5)) continue;
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string Blanks(Dice& dice)
{
    std::string out;
    for (size_t n = dice.Chance(0.7) ? 0 : dice.Between(1, 4); n > 0; --n) out += dice.Chance(0.5) ? ' ' : '\t';
    return out;
}

std::string LineEnd(Dice& dice)
{
    static const std::vector<std::string> ends = { "\r\n", "\r\n", "\n", "\r", "\n\r", "\r\r\n" };
    return dice.Pick(ends);
}

// Text of printable bytes, high ones included, that is never blank.
std::string Printable(Dice& dice, size_t length)
{
    std::string out = dice.Bytes(length, 0x21, 0x7E);
    for (char& c : out)
        if (dice.Chance(0.05)) c = static_cast<char>(dice.Between(0x80, 0xFF));
    return out;
}

std::string Address(Dice& dice)
{
    static const std::vector<std::string> unsafe = {
        "C:\\Windows\\system32\\calc.exe",
        "file:///C:/x.exe",
        "javascript:alert(1)",
        "\\\\server\\share\\run.bat",
        "ftp://host/x",
        "http:/one-slash",
        "mailto:a@b",
        "cmd /c del *",
        "https:",
        "hxxp://x",
        "",
        "notepad.exe",
    };
    std::string scheme = Case(dice, dice.Chance(0.5) ? "http://" : "https://");
    switch (dice.Between(0, 9)) {
    case 0:
    case 1: return dice.Pick(unsafe);
    case 2: { // the longest that is taken, or one more
        std::string url = scheme + std::string(999 - scheme.size(), 'x');
        if (dice.Chance(0.5)) url += 'y';
        return url;
    }
    case 3: { // something unsafe inside
        static const std::vector<std::string> inside = { " ", "\t", "\x01", "\x7f" + std::string(" "), "\x1f", " a" };
        std::string url = scheme + Printable(dice, dice.Between(0, 30));
        url.insert(dice.Between(scheme.size(), url.size()), dice.Pick(inside));
        return url;
    }
    case 4: return scheme; // nothing after the scheme
    default: {
        std::string url = scheme + Printable(dice, dice.Between(1, 20));
        if (dice.Chance(0.5)) url += ":" + std::to_string(dice.Between(1, 65535));
        return url + "/" + Printable(dice, dice.Between(0, dice.Chance(0.1) ? 1200 : 40));
    }
    }
}

std::string Marker(Dice& dice)
{
    switch (dice.Between(0, 9)) {
    case 0:
    case 1:
    case 2: return kUrlMarker + Blanks(dice) + Address(dice) + Blanks(dice) + (dice.Chance(0.8) ? LineEnd(dice) : "");
    case 3:
    case 4: return kReadyMarker + (dice.Chance(0.8) ? LineEnd(dice) : "");
    case 5:
    case 6: return kPortTakenMarker + ": Address already in use: JVM_Bind" + LineEnd(dice);
    case 7: { // in other letter case: nothing
        static const std::vector<std::string> markers = { kUrlMarker, kReadyMarker, kPortTakenMarker };
        std::string marker = dice.Pick(markers);
        std::string other = Case(dice, marker);
        if (other == marker) other[0] = static_cast<char>(other[0] ^ 0x20);
        return other + "http://other/case" + LineEnd(dice);
    }
    case 8: return "Vantry url:http://no-blank/" + LineEnd(dice);
    default: { // the beginning of a marker only
        static const std::vector<std::string> markers = { kUrlMarker, kReadyMarker, kPortTakenMarker };
        const std::string& marker = dice.Pick(markers);
        return marker.substr(0, dice.Between(1, marker.size() - 1));
    }
    }
}

std::string Piece(Dice& dice)
{
    switch (dice.Between(0, 11)) {
    case 0:
    case 1: return dice.Bytes(dice.Between(1, 80), 1, 255); // anything but a NUL
    case 2: return std::string(1, '\0') + (dice.Chance(0.5) ? Marker(dice) : "");
    case 3: return LineEnd(dice);
    case 4:
    case 5:
    case 6: return Marker(dice);
    case 7: return Printable(dice, dice.Between(200, 1500)); // a long stretch without a line end
    default: {
        static const std::vector<std::string> lines = {
            "Starting tomcat. Check logs/tomcat.log for error messages",
            "2003-05-01 12:00:00 - ContextManager: Adding context Ctx( /Vantry )",
            "\tat java.net.PlainSocketImpl.socketBind(Native Method)",
            "Exception in thread \"main\"",
            "",
        };
        return dice.Pick(lines) + LineEnd(dice);
    }
    }
}

// The stream cut into chunks as a reader might get them: 1 to 2048 bytes, often exactly 2048.
std::vector<std::string> Chunks(Dice& dice, const std::string& stream)
{
    std::vector<std::string> chunks;
    for (size_t at = 0; at < stream.size();) {
        size_t size;
        switch (dice.Between(0, 5)) {
        case 0: size = dice.Between(1, 16); break;
        case 1: size = kReadBytes; break;
        case 2: size = dice.Between(1000, kReadBytes); break;
        default: size = dice.Between(17, 700); break;
        }
        size = std::min(size, stream.size() - at);
        chunks.push_back(stream.substr(at, size));
        at += size;
    }
    return chunks;
}

// --- The console window with its two runners -------------------------------------------------------------

class OutputModelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dialog.Create(IDD_CONSOLE, nullptr));
        ASSERT_TRUE(AdoptRunners(dialog));
        // The end of a stopped child is seen through the runner alone: no "terminated" line in the console.
        dialog.serverRunner.SetNotify(nullptr, 0);
        ReadinessPosted();
        ClearConsole();
    }
    void TearDown() override
    {
        dialog.serverRunner.Stop();
        WaitUntil([&] { return dialog.serverRunner.IsIdle(); }, 10000);
    }

    // Hands the chunk to the server's output handling as its reader would: its length, and a NUL after it.
    void Feed(const std::string& chunk)
    {
        std::vector<char> buffer(chunk.begin(), chunk.end());
        buffer.push_back('\0');
        EXPECT_EQ(1, dialog.serverRunner.OnOutput(buffer.data(), static_cast<int>(chunk.size())));
    }
    int ReadinessPosted()
    {
        int count = 0;
        MSG msg;
        while (PeekMessageA(&msg, dialog.m_hWnd, WM_SERVER_READY, WM_SERVER_READY, PM_REMOVE)) ++count;
        return count;
    }
    std::string Text()
    {
        MSG msg;
        while (PeekMessageA(&msg, dialog.m_hWnd, WM_CONSOLE_FLUSH, WM_CONSOLE_FLUSH, PM_REMOVE) ||
               PeekMessageA(&msg, dialog.m_hWnd, WM_TIMER, WM_TIMER, PM_REMOVE))
            DispatchMessageA(&msg);
        return dialog.console.GetWindowText();
    }
    void ClearConsole() { SetWindowTextA(dialog.console.m_hWnd, ""); }

    // A child standing in for the server, so that a stop request shows as its end.
    void RunServer()
    {
        line = "test_child.exe sleep:600000";
        ASSERT_EQ(1, dialog.serverRunner.Start(TestChildPath().c_str(), &line[0], TestBinDir().c_str(), SW_HIDE, 0));
    }
    bool Stopped(DWORD ms)
    {
        return WaitUntil([&] { return dialog.serverRunner.IsIdle(); }, ms);
    }

    ConsoleDialog dialog;
    std::string line;
};

TEST_F(OutputModelTest, RandomChunksGiveTheConsoleTextAddressReadinessAndStopsTheModelPredicts)
{
    const unsigned seed = TestSeed(20240611);
    SCOPED_TRACE("seed " + std::to_string(seed));
    Dice dice(seed);
    ServerOutputModel model(kDefaultUrl);
    const int sequences = 1500;
    int stops = 0, readiness = 0, addresses = 0, chunksFed = 0;
    std::string previous; // the sequence before, for a stop seen late
    std::string lastUrl = kDefaultUrl;

    for (int sequence = 0; sequence < sequences && !HasFailure(); ++sequence) {
        if (dialog.serverRunner.IsIdle()) RunServer();
        ClearConsole();
        model.ClearConsole();

        std::string stream;
        for (size_t pieces = dice.Between(1, 12); pieces > 0; --pieces) stream += Piece(dice);
        std::vector<std::string> chunks = Chunks(dice, WithoutLineStartCrash(stream));
        std::string history;
        const int stopsBefore = model.StopRequests();

        for (size_t i = 0; i < chunks.size() && !HasFailure(); ++i) {
            const std::string& chunk = chunks[i];
            history += "  chunk " + std::to_string(i) + ": \"" + Visible(chunk) + "\"\n";
            std::string where =
                "sequence " + std::to_string(sequence) + " (seed " + std::to_string(seed) + ")\n" + history;
            const int readyBefore = model.ReadinessPosts();
            model.Feed(chunk);
            Feed(chunk);
            ++chunksFed;

            std::string text = Text();
            if (text != model.Console()) {
                size_t diff = 0;
                while (diff < text.size() && diff < model.Console().size() && text[diff] == model.Console()[diff])
                    ++diff;
                ADD_FAILURE() << "console text differs at " << diff << ": shown \"" << Visible(text.substr(diff), 80)
                              << "\", expected \"" << Visible(model.Console().substr(diff), 80) << "\"\n"
                              << where;
            }
            EXPECT_EQ(model.Url(), dialog.serverRunner.ApplicationUrl()) << where;
            EXPECT_EQ(model.ReadinessPosts() - readyBefore, ReadinessPosted()) << where;
            if (model.Url() != lastUrl) ++addresses;
            lastUrl = model.Url();
        }
        readiness = model.ReadinessPosts();

        std::string where = "sequence " + std::to_string(sequence) + " (seed " + std::to_string(seed) + ")\n" + history;
        if (model.StopRequests() > stopsBefore) {
            ++stops;
            EXPECT_TRUE(Stopped(10000)) << "a taken port did not stop the server\n" << where;
        } else {
            // A wrong stop shows here, or at the latest when the next sequence begins.
            EXPECT_FALSE(dialog.serverRunner.IsIdle()) << "the server was stopped without a taken port\n"
                                                       << where << "or in the sequence before:\n"
                                                       << previous;
        }
        previous = history;
    }
    EXPECT_FALSE(Stopped(300)) << "the server was stopped without a taken port in the last sequence";
    std::printf("[   INFO   ] %d sequences, %d chunks, %d address changes, %d readiness posts, %d stops\n", sequences,
                chunksFed, addresses, readiness, stops);
    // The input must have exercised all three markers.
    EXPECT_GT(stops, 10);
    EXPECT_GT(readiness, 10);
    EXPECT_GT(addresses, 10);
}

// A 2048-byte chunk, the most a reader hands over, with the marker placed at `offset`.
std::string FullChunkWith(Dice& dice, const std::string& marked, size_t offset)
{
    std::string chunk = dice.Bytes(offset, 'a', 'z') + marked;
    chunk += dice.Bytes(kReadBytes > chunk.size() ? kReadBytes - chunk.size() : 0, 'a', 'z');
    chunk.resize(kReadBytes);
    return chunk;
}

TEST_F(OutputModelTest, AddressAndReadinessMarkersAreSeenAtEveryOffsetOfAFullChunkAndWhereverTwoReadsCutThem)
{
    const unsigned seed = TestSeed(7);
    SCOPED_TRACE("seed " + std::to_string(seed));
    Dice dice(seed);
    ServerOutputModel model(kDefaultUrl);
    int fed = 0;

    auto check = [&](const std::string& chunk, const std::string& what) {
        const int readyBefore = model.ReadinessPosts();
        model.Feed(chunk);
        Feed(chunk);
        ++fed;
        EXPECT_EQ(model.Url(), dialog.serverRunner.ApplicationUrl()) << what;
        int posted = ReadinessPosted();
        EXPECT_EQ(model.ReadinessPosts() - readyBefore, posted) << what;
        // Clearing often keeps each insertion small; the text is compared before each clearing.
        if (fed % 64 == 0) {
            EXPECT_EQ(model.Console(), Text()) << what;
            ClearConsole();
            model.ClearConsole();
        }
        return posted;
    };

    for (size_t offset = 0; offset + kUrlMarker.size() <= kReadBytes && !HasFailure(); ++offset) {
        std::string address = "http://at-" + std::to_string(offset) + "/Vantry";
        check(FullChunkWith(dice, kUrlMarker + address + "\r\n", offset),
              "address marker at " + std::to_string(offset));
    }
    for (size_t offset = 0; offset + kReadyMarker.size() <= kReadBytes && !HasFailure(); ++offset)
        check(FullChunkWith(dice, kReadyMarker + "\r\n", offset), "readiness marker at " + std::to_string(offset));

    // The longest address that is taken, and one character more, each in one chunk.
    for (size_t length : { 1000, 998, 1000, 999, 1000 }) {
        std::string address = "http://long-" + std::to_string(length) + "/";
        address += std::string(length - address.size(), 'x');
        check(kUrlMarker + address + "\r\n", "address of " + std::to_string(length) + " characters");
    }
    EXPECT_EQ(999u, dialog.serverRunner.ApplicationUrl().size());

    // A full chunk ends at every byte of a marked line, and the next chunk brings the rest: the
    // marker acts once, with the second chunk, and the address is the whole one.
    for (size_t cut = 1; cut < kReadyMarker.size() && !HasFailure(); ++cut) {
        std::string marked = kReadyMarker + "\r\n";
        std::string where = "readiness cut after " + std::to_string(cut) + " bytes";
        EXPECT_EQ(0, check(dice.Bytes(kReadBytes - cut, 'a', 'z') + marked.substr(0, cut), where));
        EXPECT_EQ(1, check(marked.substr(cut) + "tail\r\n", where));
    }
    for (size_t cut = 1; !HasFailure(); ++cut) {
        std::string address = "http://split-" + std::to_string(cut) + "/Vantry";
        std::string marked = kUrlMarker + address + "\r\n";
        if (cut >= marked.size()) break;
        std::string where = "address line cut after " + std::to_string(cut) + " bytes";
        check(dice.Bytes(kReadBytes - cut, 'a', 'z') + marked.substr(0, cut), where);
        if (cut < marked.size() - 1) { // the CR is in the second chunk
            EXPECT_NE(address, dialog.serverRunner.ApplicationUrl()) << where << ": taken before its line ended";
        }
        check(marked.substr(cut) + "tail\r\n", where);
        EXPECT_EQ(address, dialog.serverRunner.ApplicationUrl()) << where;
    }
    EXPECT_EQ(model.Console(), Text());
}

TEST_F(OutputModelTest, PortTakenMarkerStopsTheServerAtTheEdgesOfAFullChunkAndWhenSplitButNotAfterANul)
{
    const unsigned seed = TestSeed(11);
    SCOPED_TRACE("seed " + std::to_string(seed));
    Dice dice(seed);
    const std::string marked = kPortTakenMarker + ": Address already in use";
    const size_t last = kReadBytes - kPortTakenMarker.size();
    std::vector<size_t> offsets = { 0, 1, 2, last - 1, last };
    for (int i = 0; i < 5; ++i) offsets.push_back(dice.Between(3, last - 2));
    for (size_t offset : offsets) {
        SCOPED_TRACE("marker at " + std::to_string(offset));
        RunServer();
        Feed(FullChunkWith(dice, marked, offset));
        EXPECT_TRUE(Stopped(10000));
        ClearConsole();
    }
    for (size_t cut = 1; cut < kPortTakenMarker.size(); ++cut) {
        SCOPED_TRACE("marker cut after " + std::to_string(cut) + " bytes");
        RunServer();
        Feed(dice.Bytes(kReadBytes - cut, 'a', 'z') + kPortTakenMarker.substr(0, cut));
        EXPECT_FALSE(Stopped(0));
        Feed(kPortTakenMarker.substr(cut) + "\r\n");
        ASSERT_TRUE(Stopped(10000));
        ClearConsole();
    }

    RunServer();
    Feed(std::string("shown", 5) + '\0' + kPortTakenMarker + "\r\n");
    Feed(std::string(1, '\0') + kPortTakenMarker);
    // A stop request would end the child at once; one not made leaves it running.
    EXPECT_FALSE(Stopped(500));
}

TEST_F(OutputModelTest, ALineBeginningWithASmallTildeReachesTheConsoleWithoutEndingTheLauncher)
{
    // 0x98 is U+02DC in the ANSI code page; a server's UTF-8 output is full of it as well. Such a
    // line is shown with a space before it, at the text's start too; in a line it is left alone.
    const std::string tilde(1, kLineStartCrash);
    Feed(tilde + " first\r\nStarting tomcat\r\n" + tilde + " tilde first\r\nin" + tilde + "line\r\n");
    Feed(tilde + " at a chunk's start\r\n");
    EXPECT_EQ(" " + tilde + " first\r\nStarting tomcat\r\n " + tilde + " tilde first\r\nin" + tilde + "line\r\n " +
                  tilde + " at a chunk's start\r\n",
              Text());
}

// --- The markers alone ----------------------------------------------------------------------------------

// What a MarkerScanner reports, in order: "url <address>", "ready" or "stop".
struct MarkerRecorder : MarkerScanner::Listener {
    std::vector<std::string> seen;
    void OnAddress(const char* url) override { seen.push_back(std::string("url ") + url); }
    void OnReady() override { seen.push_back("ready"); }
    void OnPortTaken() override { seen.push_back("stop"); }
};

TEST(OutputModel, AnAddressIsTakenOnlyWhenSafeAndShortWhereverTheReadsCutIt)
{
    const unsigned seed = TestSeed(3);
    SCOPED_TRACE("seed " + std::to_string(seed));
    Dice dice(seed);
    const int iterations = 20000;
    int taken = 0;
    for (int i = 0; i < iterations && !::testing::Test::HasFailure(); ++i) {
        std::string text;
        for (size_t pieces = dice.Between(1, 6); pieces > 0; --pieces) text += Piece(dice);
        text = text.substr(0, text.find('\0')) + "\n"; // as the runner sees it, and ended
        // The last address of the text's lines that the rules accept.
        std::string expected, line;
        for (char c : text) {
            if (c != '\r' && c != '\n') {
                line += c;
                continue;
            }
            ServerOutputModel::AnnouncedUrl(line, expected);
            line.clear();
        }
        MarkerScanner scanner;
        MarkerRecorder recorder;
        size_t cut = dice.Between(0, text.size());
        scanner.Scan(text.substr(0, cut).c_str(), recorder);
        scanner.Scan(text.substr(cut).c_str(), recorder);
        std::string last;
        for (const std::string& seen : recorder.seen)
            if (seen.compare(0, 4, "url ") == 0) last = seen.substr(4);
        ASSERT_EQ(expected, last) << "text \"" << Visible(text, 2000) << "\" cut after " << cut << " bytes";
        if (!last.empty()) ++taken;
    }
    std::printf("[   INFO   ] %d texts, %d with an address taken\n", iterations, taken);
    EXPECT_GT(taken, iterations / 20);
}

// The model against the rules' own words, so that a wrong rule cannot hide in the model and the
// program alike.
TEST(OutputModel, ReadsTheMarkersAsTheRulesSay)
{
    ServerOutputModel model(kDefaultUrl);
    // An address line and readiness in one chunk: both.
    model.Feed("Vantry url: http://localhost:8080/Vantry\r\nVantry is initialized\r\n");
    EXPECT_EQ("http://localhost:8080/Vantry", model.Url());
    EXPECT_EQ(1, model.ReadinessPosts());
    // A marker cut between chunks acts with its last byte, before its line ends.
    model.Feed("Vantry is ini");
    EXPECT_EQ(1, model.ReadinessPosts());
    model.Feed("tialized");
    EXPECT_EQ(2, model.ReadinessPosts());
    model.Feed("\r\njava.net.Bind");
    EXPECT_EQ(0, model.StopRequests());
    model.Feed("Exception: Address already in use\r\njava.net.BindException\r\n");
    EXPECT_EQ(2, model.StopRequests());
    // An address waits for its line's end, a CR or an LF, and loses its blanks.
    model.Feed("Vantry url: \t https://host/app ");
    EXPECT_EQ("http://localhost:8080/Vantry", model.Url());
    model.Feed(" \rnext");
    EXPECT_EQ("https://host/app", model.Url());
    // Unsafe, too long or in other letter case: the last good one stays.
    model.Feed("Vantry url: C:\\Windows\\calc.exe\nVantry url: http://a b/\nvantry url: http://case/\n");
    model.Feed("Vantry url: http://" + std::string(993, 'x') + "\n");
    EXPECT_EQ("https://host/app", model.Url());
    model.Feed("Vantry url: HTTP://" + std::string(992, 'x') + "\n");
    EXPECT_EQ(999u, model.Url().size());
    // The first NUL ends a chunk's text; other letter case is no marker.
    model.Feed(std::string("shown\0Vantry is initialized", 27));
    model.Feed("VANTRY IS INITIALIZED\n");
    EXPECT_EQ(2, model.ReadinessPosts());
    const std::string end = "\nshownVANTRY IS INITIALIZED\n";
    EXPECT_EQ(end, model.Console().substr(model.Console().size() - end.size()));
}

// --- The console's cap ------------------------------------------------------------------------------------

// Where a line begins in the console: at the start, or after a CR LF.
bool LineStart(const std::string& all, size_t at)
{
    return at == 0 || (at >= 2 && all.compare(at - 2, 2, "\r\n") == 0);
}

TEST(OutputModel, OverTheCapTheConsoleKeepsTheNewestTextCutAtALineStartUnlessALineHasNoEnd)
{
    const unsigned seed = TestSeed(5);
    SCOPED_TRACE("seed " + std::to_string(seed));
    Dice dice(seed);
    const size_t cap = 4 * 1024;
    ConsoleHost host(cap, false);
    std::string all; // everything appended
    size_t cut = 0;  // where the console's text begins in it
    size_t cuts = 0, cutsInALine = 0;

    // Phases: megabytes without a line end, then lines of all lengths, then again no line end.
    struct Phase {
        const char* what;
        size_t bytes;
        double lineEnds; // chance of a line end after a chunk
    };
    const Phase phases[] = { { "no line end", 3u << 19, 0.0 },
                             { "lines", 1u << 19, 0.5 },
                             { "no line end again", 1u << 19, 0.0 },
                             { "long lines", 1u << 19, 0.05 } };
    for (const Phase& phase : phases) {
        SCOPED_TRACE(phase.what);
        for (size_t done = 0; done < phase.bytes && !::testing::Test::HasFailure();) {
            // Anything but a NUL, a CR or an LF; line ends only where the phase puts them.
            std::string chunk = WithoutLineStartCrash(dice.Bytes(dice.Between(1, kReadBytes - 2), 0x20, 0xFF));
            if (dice.Chance(phase.lineEnds)) chunk.insert(dice.Between(0, chunk.size()), "\r\n");
            const size_t before = all.size();
            all += chunk;
            done += chunk.size();
            host.output.Append(chunk.c_str());

            std::string text = host.Text();
            std::string where = "after " + std::to_string(all.size()) + " bytes";
            ASSERT_LE(text.size(), cap) << where;
            ASSERT_GE(text.size(), std::min(all.size(), chunk.size())) << "the newest output is missing; " << where;
            ASSERT_EQ(0, all.compare(all.size() - text.size(), text.size(), text))
                << "the console is not the newest output; " << where;
            size_t now = all.size() - text.size();
            ASSERT_GE(now, cut) << "text came back; " << where;
            if (now > cut) {
                ++cuts;
                // Inside a line only when the console's last line had no end yet: there was none to cut at.
                if (!LineStart(all, now)) {
                    ++cutsInALine;
                    size_t lineEnd = all.find("\r\n", now - 1);
                    ASSERT_TRUE(lineEnd == std::string::npos || lineEnd + 2 > before)
                        << "cut inside a line at " << now << " although a line end followed; " << where;
                }
            }
            cut = now;
            // Never more is dropped than whole lines require: a line start within the newest half of
            // the cap is kept.
            size_t half = all.size() > cap / 2 ? all.size() - cap / 2 : 0;
            size_t lineStart = all.find("\r\n", half >= 2 ? half - 2 : 0);
            while (lineStart != std::string::npos && lineStart + 2 < half) lineStart = all.find("\r\n", lineStart + 1);
            if (half == 0) {
                ASSERT_EQ(0u, cut) << where;
            } else if (lineStart != std::string::npos) {
                ASSERT_LE(cut, lineStart + 2) << "more than whole lines dropped; " << where;
            }
        }
    }
    std::printf("[   INFO   ] %zu bytes, %zu trims, %zu of them inside a line that had no end\n", all.size(), cuts,
                cutsInALine);
    EXPECT_GT(cuts, 100u);
}

TEST(OutputModel, AFloodFromTheReaderThreadEndsWithTheNewestTextFromAWholeLineAfterASkipNote)
{
    const unsigned seed = TestSeed(9);
    SCOPED_TRACE("seed " + std::to_string(seed));
    Dice dice(seed);
    const int trials = 100, bursts = 10;
    int partial = 0, floods = 0;
    for (int trial = 0; trial < trials && !::testing::Test::HasFatalFailure(); ++trial) {
        const std::vector<size_t> caps = { 4096, 8192 };
        const size_t cap = dice.Pick(caps);
        const size_t longestLine = cap / 8; // a write of three such lines still fits the queue (half the cap)
        ConsoleHost host(cap, false);
        std::string all;
        for (int burst = 0; burst < bursts && !::testing::Test::HasFatalFailure(); ++burst, ++floods) {
            // Whole lines, one or a few to a write, as a reader hands them on: from the cap to a quarter megabyte.
            std::vector<std::string> writes;
            for (size_t total = all.size() + dice.Between(cap, 256 * 1024); all.size() < total;) {
                std::string write;
                for (size_t lines = dice.Between(1, 3); lines > 0; --lines)
                    write += WithoutLineStartCrash(dice.Bytes(dice.Between(0, longestLine), 0x20, 0xFF)) + "\r\n";
                writes.push_back(write);
                all += write;
            }
            // The window's thread is busy elsewhere while the reader floods: everything queues up first.
            std::thread reader([&] {
                for (const std::string& write : writes) host.output.Append(write.c_str());
            });
            reader.join();
            std::string text;
            WaitUntil(
                [&] {
                    text = host.Text();
                    return text.size() >= writes.back().size() &&
                           text.compare(text.size() - writes.back().size(), std::string::npos, writes.back()) == 0;
                },
                10000);

            std::string where = "trial " + std::to_string(trial) + ", burst " + std::to_string(burst) + ": cap " +
                                std::to_string(cap) + ", " + std::to_string(all.size()) + " bytes so far";
            ASSERT_LE(text.size(), cap) << where;
            // What came too fast to show is named by a note; after the last one, the newest output.
            const std::string note = " bytes of output not shown ...]\r\n";
            size_t noted = text.rfind(note);
            std::string tail = noted == std::string::npos ? text : text.substr(noted + note.size());
            ASSERT_EQ(0, all.compare(all.size() - tail.size(), tail.size(), tail))
                << "not the newest output; " << where;
            size_t start = all.size() - tail.size();
            // Every line is far shorter than the cap: there is always a whole line to begin with.
            if (noted != std::string::npos && !LineStart(all, start)) {
                if (++partial <= 3) {
                    size_t lineBegin = all.rfind("\r\n", start) + 2;
                    ADD_FAILURE() << "the newest text begins inside a line, " << start - lineBegin
                                  << " bytes after its start, though whole lines follow: \""
                                  << Visible(tail.substr(0, 30)) << "\"; " << where;
                }
            } else if (noted != std::string::npos) {
                ASSERT_GE(tail.size() + longestLine + 2, cap / 2) << "more than whole lines dropped; " << where;
            }
        }
    }
    std::printf("[   INFO   ] %d floods, %d left the console beginning inside a line\n", floods, partial);
    EXPECT_EQ(0, partial);
}

} // namespace
