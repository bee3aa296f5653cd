// vantry-soak: long runs that show whether the launcher wears down: what it leaves behind, what
// grows, what fails. It prints figures as it goes and a Markdown table at the end.
//   vantry-soak [--quick] [--only runners|launcher|flood] [--cycles N] [--runs N] [--seconds N]
// runners   start-and-stop cycles of the initialiser's and the server's runner in this process,
//           with the console window (whose message loop the soak runs) and load_child.exe as child
// launcher  Vantry.exe itself on copies of the demo installation: until ready, then Exit
// flood     load_child.exe writing without pause through the server runner into the console
// Nothing is asserted: the figures are for people, and the machine may be shared and noisy.
#include "harness/Harness.h"
#include "res/resource.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

// ---- The summary ----------------------------------------------------------------------------------

struct SummaryRow {
    std::string area, tried, often, result;
    bool held;
};
std::vector<SummaryRow> summary;

void AddSummary(const std::string& area, const std::string& tried, const std::string& often, const std::string& result,
                bool held)
{
    summary.push_back({ area, tried, often, result, held });
}

// ---- What this process holds --------------------------------------------------------------------

struct Usage {
    long handles = 0;
    long threads = 0;
    double privateMb = 0;
    std::map<std::string, long> handleKinds; // how many handles of each kind
};

Usage Measure()
{
    Usage usage;
    std::vector<uintptr_t> open = OwnHandles();
    for (uintptr_t value : open) ++usage.handleKinds[HandleKind(value)];
    DWORD count = 0;
    usage.handles = GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0 ? static_cast<long>(count)
                                                                                    : static_cast<long>(open.size());
    usage.threads = static_cast<long>(OwnThreadIds().size());
    usage.privateMb = PrivateMb();
    return usage;
}

std::string UsageText(const Usage& u)
{
    return Format("handles %ld, threads %ld, private %.2f MiB", u.handles, u.threads, u.privateMb);
}

// The kinds of handle there are more of at the end than at the start, and how many more.
std::map<std::string, long> HandleGrowth(const Usage& from, const Usage& to)
{
    std::map<std::string, long> growth;
    for (const auto& kind : to.handleKinds) {
        auto before = from.handleKinds.find(kind.first);
        long more = kind.second - (before == from.handleKinds.end() ? 0 : before->second);
        if (more > 0) growth[kind.first] = more;
    }
    return growth;
}

std::string ChangeText(const Usage& from, const Usage& to)
{
    std::string text =
        Format("handles %ld -> %ld (%+ld), threads %ld -> %ld (%+ld), private bytes %.2f -> %.2f MiB (%+.2f)",
               from.handles, to.handles, to.handles - from.handles, from.threads, to.threads, to.threads - from.threads,
               from.privateMb, to.privateMb, to.privateMb - from.privateMb);
    std::map<std::string, long> growth = HandleGrowth(from, to);
    if (growth.empty()) return text;
    text += "; more handles of kind";
    for (const auto& kind : growth) text += Format(" %s %+ld", kind.first.c_str(), kind.second);
    return text;
}

// Private bytes may move by heap rounding; a leak of one allocation per cycle or run would show far above this.
const double kFlatMb = 1.0;

// A std::mutex of this toolchain's threads library makes an event the first time two threads meet
// at it and keeps it while the mutex lives. The console has three locks that threads share (the two
// runners' and its text queue's), so up to three events may appear, once each, at any cycle. More,
// or another kind of handle, is growth.
const size_t kLockEvents = 3;

bool Grew(const Usage& from, const Usage& to)
{
    std::map<std::string, long> growth = HandleGrowth(from, to);
    bool lockEventsOnly = growth.empty() || (growth.size() == 1 && growth.count("Event") == 1 &&
                                             growth["Event"] <= static_cast<long>(kLockEvents));
    return !lockEventsOnly || to.threads > from.threads || to.privateMb - from.privateMb > kFlatMb;
}

// The threads that appeared between Before and After, held so that a caller can wait until they are gone.
class NewThreads {
public:
    NewThreads() = default;
    NewThreads(const NewThreads&) = delete;
    NewThreads& operator=(const NewThreads&) = delete;
    ~NewThreads()
    {
        for (HANDLE h : handles_) CloseHandle(h);
    }
    void Before() { before_ = OwnThreadIds(); }
    void After()
    {
        for (DWORD id : OwnThreadIds()) {
            if (std::find(before_.begin(), before_.end(), id) != before_.end()) continue;
            if (HANDLE h = OpenThread(SYNCHRONIZE, FALSE, id)) handles_.push_back(h);
        }
    }
    size_t Count() const { return handles_.size(); }
    bool Ended() const
    {
        for (HANDLE h : handles_)
            if (WaitForSingleObject(h, 0) != WAIT_OBJECT_0) return false;
        return true;
    }

private:
    std::vector<DWORD> before_;
    std::vector<HANDLE> handles_;
};

// Processes of this Wine prefix with one of the launcher's names (this prefix is the soak's own).
int LauncherProcesses(bool kill = false)
{
    int count = 0;
    for (const ProcessEntry& entry : ListProcesses()) {
        if (_stricmp(entry.exe.c_str(), "java.exe") != 0 && _stricmp(entry.exe.c_str(), "Vantry.exe") != 0) continue;
        ++count;
        if (kill) TerminateAndWait(entry.id, 0);
    }
    return count;
}

int PrefixProcesses() { return static_cast<int>(ListProcesses().size()); }

// Linux processes of this run's installations: their Windows command lines hold the installation's
// folder (Vantry.exe's as its path, Java's in its class path), and the run's tag keeps others' out.
int LinuxLeftovers() { return static_cast<int>(LinuxProcessesWith(Tag()).size()); }

// ---- The runners ---------------------------------------------------------------------------------

enum class Which { Init, Server };

struct CycleResult {
    std::string why;      // what went wrong, or ""
    bool refused = false; // Wine's refusal: the new process ended in its start-up (ERROR_INTERNAL_ERROR)
    DWORD error = 0;      // the system's error of a failed start
    int threadsSeen = 0;  // threads the runner started for the child, each waited for
};

// One child under the runner, from its start until the runner is idle and the threads it started
// for the child have ended.
CycleResult Cycle(Console& console, Which which, int number, bool stop)
{
    CycleResult result;
    CountingDialog& dialog = console.dialog;
    bool server = which == Which::Server;
    ProcessRunner& runner = server ? static_cast<ProcessRunner&>(dialog.serverRunner) : dialog.initRunner;
    std::string tag = "soak-cycle-" + std::to_string(number);
    std::string steps = "say:" + tag + (server ? " ready" : "") + (stop ? " wait" : "");
    SetChildSteps(steps.c_str());
    const int& ends = server ? dialog.serverEnds : dialog.initEnds;
    int endsBefore = ends, readiesBefore = dialog.serverReadies;

    NewThreads threads;
    threads.Before();
    bool idleBefore = runner.IsIdle();
    bool started;
    SetLastError(0);
    if (server) {
        dialog.recordedError = 0;
        dialog.recordError = true;
        dialog.OnStartServer(); // as the launcher starts it
        dialog.recordError = false;
        started = console.Text().find("Could not start") == std::string::npos;
        result.error = dialog.recordedError;
    } else {
        started = dialog.initRunner.Launch(&dialog, dialog.javaExePath, dialog.homeDir) == 1;
        result.error = GetLastError();
    }
    threads.After();
    result.threadsSeen = static_cast<int>(threads.Count());
    if (!started) {
        console.Clear();
        result.refused = idleBefore && result.error == ERROR_INTERNAL_ERROR;
        result.why = Format("not started (the runner was idle before: %s; the system's error %lu)",
                            idleBefore ? "yes" : "no", static_cast<unsigned long>(result.error));
        return result;
    }

    std::string why;
    if (stop) {
        // Stopped while it runs: once its output, and for the server its readiness, is there.
        const char* last = server ? kReadyMarker : tag.c_str();
        if (!Pump([&] { return console.Text().find(last) != std::string::npos; }, 30000)) why += "no output; ";
        runner.Stop();
    }
    if (!Pump([&] { return ends > endsBefore && runner.IsIdle() && threads.Ended(); }, 30000)) {
        why += Format("not idle after 30 s (ends reported %d, idle %d, threads ended %d); ", ends - endsBefore,
                      runner.IsIdle() ? 1 : 0, threads.Ended() ? 1 : 0);
        Pump([&] { return runner.IsIdle() && threads.Ended(); }, 30000);
    }
    if (ends - endsBefore != 1) why += Format("end reported %d times; ", ends - endsBefore);
    std::string text = console.Text();
    if (text.find(tag) == std::string::npos) why += "the child's line is missing; ";
    if (server) {
        if (console.LastLine() != kTerminatedLine) why += "last line \"" + console.LastLine() + "\"; ";
        if (dialog.serverReadies - readiesBefore != 1)
            why += Format("ready reported %d times; ", dialog.serverReadies - readiesBefore);
    }
    // The console's text would grow by a line or two a cycle, which is not the runner's.
    console.Clear();
    result.why = why;
    return result;
}

void SoakRunner(Which which, int cycles)
{
    const char* name = which == Which::Server ? "ServerRunner" : "InitRunner";
    Say(Format("\n== %s: %d start-and-stop cycles (odd: the child ends by itself; even: Stop) ==", name, cycles));
    Console console;
    PumpFor(300);
    // Warm-up: the first start loads what every later one reuses.
    std::string warm = Cycle(console, which, 0, false).why;
    warm += Cycle(console, which, 0, true).why;
    if (!warm.empty()) Say("  warm-up: " + warm);
    PumpFor(200);
    Usage start = Measure();
    Say("  start: " + UsageText(start));

    int failures = 0, refused = 0, selfEnded = 0, stopped = 0;
    Usage half = start;
    Figures cycleMs, threadsSeen;
    int step = std::max(1, cycles / 10);
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        bool stop = cycle % 2 == 0;
        double begin = NowMs();
        CycleResult result = Cycle(console, which, cycle, stop);
        cycleMs.Add(NowMs() - begin);
        threadsSeen.Add(result.threadsSeen);
        if (!result.refused) (stop ? stopped : selfEnded) += 1;
        if (result.refused) {
            ++refused;
        } else if (!result.why.empty()) {
            ++failures;
        }
        if (!result.why.empty() && failures + refused <= 10)
            Say(Format("  cycle %d (%s): %s", cycle, stop ? "stopped" : "ended", result.why.c_str()));
        if (cycle == cycles / 2) half = Measure();
        if (cycle % step == 0)
            Say(Format("  %5d cycles: %s; %d failures, %d starts refused", cycle, UsageText(Measure()).c_str(),
                       failures, refused));
    }
    PumpFor(200);
    Usage end = Measure();
    Say("  end:   " + UsageText(end));
    Say("  change: " + ChangeText(start, end));
    Say("  second half: " + ChangeText(half, end));
    Say(Format("  cycle time median %.0f ms, max %.0f ms; threads the runner started per cycle (each waited for): "
               "%.0f..%.0f",
               cycleMs.Median(), cycleMs.Max(), threadsSeen.Min(), threadsSeen.Max()));

    std::string tried = which == Which::Server ? "ServerRunner start and stop in-process, with the console window"
                                               : "InitRunner start and stop in-process, with the console window";
    std::string refusedText =
        refused ? Format("; %d starts refused by Wine (CreateProcess error 1359: the new process ended in its "
                         "start-up), reported by the runner",
                         refused)
                : "";
    AddSummary("Runners", tried, Format("%d cycles (%d ended by themselves, %d stopped)", cycles, selfEnded, stopped),
               Format("%d failures%s; %s%s", failures, refusedText.c_str(), ChangeText(start, end).c_str(),
                      HandleGrowth(start, end).empty() || Grew(start, end)
                          ? ""
                          : " (within the events the console's three locks may make once)"),
               failures == 0 && !Grew(start, end));
}

// ---- The launcher itself ---------------------------------------------------------------------------

struct LauncherRun {
    std::string why;
    double readyMs = -1, exitMs = -1;
    bool lingered = false; // something was still there at the first look after the exit, gone soon after
    int windowsWhileReady = -1, linuxWhileReady = -1;
};

LauncherRun RunLauncher()
{
    LauncherRun run;
    int port = FreeLoopbackPort();
    std::string home = MakeInstallation("launcher", port);
    StoreSettings(home + "\\jdk1.3.1\\bin\\java.exe");
    {
        ChildProcess process;
        double start = NowMs();
        HWND console = nullptr;
        if (!process.Start(home + "\\Vantry.exe", "", home)) {
            run.why = "not started; ";
        } else {
            PollUntil(
                [&] {
                    console = FindWindowOf(process.Id(), "Vantry");
                    return console && IsWindowEnabled(GetDlgItem(console, IDC_GOTO));
                },
                60000);
            if (!console || !IsWindowEnabled(GetDlgItem(console, IDC_GOTO))) run.why += "not ready after 60 s; ";
        }
        if (run.why.empty()) {
            run.readyMs = NowMs() - start;
            // The checks after the end must be able to see what they look for.
            if (PortFree(port)) run.why += "the server's port was free while it was ready; ";
            run.windowsWhileReady = LauncherProcesses();
            run.linuxWhileReady = LinuxLeftovers();
            if (run.windowsWhileReady != 2 || run.linuxWhileReady != 2)
                run.why += Format("while ready: %d java.exe/Vantry.exe, %d on the Linux side (2 expected); ",
                                  run.windowsWhileReady, run.linuxWhileReady);
            double exitStart = NowMs();
            PostMessageA(console, WM_COMMAND, IDCANCEL, 0);
            if (WaitForSingleObject(process.Get(), 30000) != WAIT_OBJECT_0) {
                run.why += "not ended 30 s after Exit; ";
            } else {
                run.exitMs = NowMs() - exitStart;
                DWORD code = 1;
                GetExitCodeProcess(process.Get(), &code);
                if (code != 0) run.why += Format("exit code %lu; ", static_cast<unsigned long>(code));
            }
        }
        process.End();
    }
    // Wine ends a process's Linux side a moment after its Windows side: allow a few seconds.
    run.lingered = !PortFree(port) || LauncherProcesses() != 0 || LinuxLeftovers() != 0;
    if (!PollUntil([&] { return PortFree(port); }, 5000)) run.why += "the port is still taken; ";
    int windows = 0, onLinux = 0;
    if (!PollUntil([&] { return (windows = LauncherProcesses()) == 0; }, 5000))
        run.why += Format("%d java.exe/Vantry.exe still running; ", windows);
    if (!PollUntil([&] { return (onLinux = LinuxLeftovers()) == 0; }, 5000))
        run.why += Format("%d Wine processes left; ", onLinux);
    if (windows > 0) LauncherProcesses(true); // so that the next run starts clean
    RemoveTree(home);
    return run;
}

void SoakLauncher(int runs)
{
    Say(Format("\n== Vantry.exe: %d runs on copies of the demo installation, each until ready, then Exit ==", runs));
    // Warm-up: Wine loads the launcher's libraries once.
    LauncherRun warm = RunLauncher();
    if (!warm.why.empty()) Say("  warm-up: " + warm.why);
    Usage start = Measure();
    int prefixStart = PrefixProcesses();
    Say(Format("  start: %s; processes in the prefix %d", UsageText(start).c_str(), prefixStart));

    int done = 0, failures = 0, lingered = 0;
    Usage half = start;
    Figures ready, exits;
    int step = std::max(1, runs / 10);
    for (int n = 1; n <= runs; ++n) {
        LauncherRun run = RunLauncher();
        ++done;
        if (run.readyMs >= 0) ready.Add(run.readyMs);
        if (run.exitMs >= 0) exits.Add(run.exitMs);
        if (run.lingered) ++lingered;
        if (!run.why.empty()) {
            ++failures;
            if (failures <= 10) Say(Format("  run %d: %s", n, run.why.c_str()));
        }
        if (n == runs / 2) half = Measure();
        if (n % step == 0)
            Say(Format("  %4d runs: %d failures; %s; Wine processes of the launcher left %d", n, failures,
                       UsageText(Measure()).c_str(), LinuxLeftovers()));
    }
    Usage end = Measure();
    int prefixEnd = PrefixProcesses();
    int leftovers = LinuxLeftovers();
    Say(Format("  end:   %s; processes in the prefix %d; Wine processes of the launcher left %d",
               UsageText(end).c_str(), prefixEnd, leftovers));
    Say("  change: " + ChangeText(start, end));
    Say("  second half: " + ChangeText(half, end));
    Say(Format("  ready after median %.0f ms (max %.0f); ended median %.0f ms after Exit (max %.0f)", ready.Median(),
               ready.Max(), exits.Median(), exits.Max()));
    Say(Format("  runs where something was still there at the first look after the end, gone within 5 s: %d",
               lingered));

    AddSummary(
        "Launcher", "Vantry.exe on a copy of the demo installation: start until ready, Exit, end with 0",
        Format("%d runs", done),
        Format("%d failures; after each: port free, no java.exe, no Wine process left (%d runs needed a moment); "
               "ready median %.1f s, ended %.1f s after Exit",
               failures, lingered, ready.Median() / 1000, exits.Median() / 1000),
        failures == 0);
    AddSummary("Launcher", "The soak program itself over those runs", Format("%d runs", done),
               ChangeText(start, end) +
                   Format("; processes in the prefix %d -> %d; Wine processes of the launcher left at the end %d",
                          prefixStart, prefixEnd, leftovers),
               !Grew(start, end) && prefixEnd <= prefixStart && leftovers == 0);
}

// ---- A flooding server ---------------------------------------------------------------------------

void SoakFlood(double seconds)
{
    const double interval = 10;
    const double settle = std::min(60.0, seconds / 3); // memory is judged after this
    const size_t cap = ConsoleOutput::kDefaultCap;
    Say(Format("\n== A server writing without pause for %.0f s into the console (cap %zu bytes) ==", seconds, cap));
    Console console;
    PumpFor(300);
    Probe probe(console.dialog.m_hWnd, console.Edit());
    PumpFor(200);
    Usage before = Measure();
    Say("  before: " + UsageText(before));
    Say("      s   text bytes  max text bytes  private MiB  handles  threads  max answer ms");

    SetChildSteps("flood");
    NewThreads runnerThreads;
    runnerThreads.Before();
    console.dialog.OnStartServer();
    runnerThreads.After();
    double start = NowMs();
    Figures memory, firstHalf, secondHalf, handles, threads, answers, texts;
    int samples = 0, overCap = 0;
    for (int n = 1;; ++n) {
        double due = std::min(n * interval, seconds);
        PumpFor(static_cast<DWORD>(std::max(0.0, start + due * 1000 - NowMs())));
        Usage now = Measure();
        long long text = GetWindowTextLengthA(console.Edit());
        long long maxText = std::max(text, probe.TakeMaxText());
        double answer = probe.TakeMaxAnswerMs();
        ++samples;
        if (static_cast<size_t>(maxText) > cap) ++overCap;
        texts.Add(static_cast<double>(maxText));
        answers.Add(answer);
        handles.Add(static_cast<double>(now.handles));
        threads.Add(static_cast<double>(now.threads));
        if (due > settle) {
            memory.Add(now.privateMb);
            (due <= settle + (seconds - settle) / 2 ? firstHalf : secondHalf).Add(now.privateMb);
        }
        Say(Format("  %5.0f  %11lld  %14lld  %11.2f  %7ld  %7ld  %13.1f", due, text, maxText, now.privateMb,
                   now.handles, now.threads, answer));
        if (due >= seconds) break;
    }
    bool running = console.dialog.serverEnds == 0;
    double stopAt = NowMs();
    console.dialog.serverRunner.Stop();
    bool ended = Pump(
        [&] { return console.dialog.serverEnds > 0 && console.dialog.serverRunner.IsIdle() && runnerThreads.Ended(); },
        30000);
    double stopMs = NowMs() - stopAt;
    // What was queued before the end is shown first; the end's line comes last.
    Pump([&] { return console.LastLine() == kTerminatedLine; }, 30000);
    PumpFor(2000);
    std::string last = console.LastLine();
    probe.Stop();
    std::string text = console.Text();
    long long lines = LastFloodLine(text);
    double writtenMb = lines < 0 ? 0 : static_cast<double>(lines + 1) * 100.0 / (1024.0 * 1024.0);
    Usage after = Measure();

    Say(Format("  the server wrote about %.0f MiB (%lld lines); still running at the end: %s", writtenMb, lines + 1,
               running ? "yes" : "NO"));
    Say(Format("  stopped: %s, %.0f ms after Stop; the console's last line: \"%s\"", ended ? "yes" : "NO", stopMs,
               last.c_str()));
    Say(Format("  console text: max %.0f bytes over %d samples (cap %zu), %d above the cap", texts.Max(), samples, cap,
               overCap));
    Say(Format("  private bytes after the first %.0f s: min %.2f MiB, max %.2f MiB; median in the first half of "
               "that time %.2f MiB, in the second %.2f MiB",
               settle, memory.Min(), memory.Max(), firstHalf.Median(), secondHalf.Median()));
    Say(Format("  handles min %.0f max %.0f; threads min %.0f max %.0f; window answer max %.1f ms (per interval: "
               "median %.1f)",
               handles.Min(), handles.Max(), threads.Min(), threads.Max(), answers.Max(), answers.Median()));
    Say("  after: " + UsageText(after));

    // A handle or two comes and goes with the threads' work; a leak per chunk or flush would be thousands.
    // Flat: the second half's typical level no higher than the first's. A single sample may stand out
    // (the queue full at that moment, the heap not yet given back), so the medians are compared; a
    // leak would lift the whole second half.
    bool flat = secondHalf.Median() - firstHalf.Median() <= kFlatMb / 4 && handles.Max() - handles.Min() <= 2 &&
                threads.Max() - threads.Min() <= 0;
    bool held = running && ended && overCap == 0 && flat && last == kTerminatedLine;
    AddSummary("Flood",
               "A server writing 100-byte lines without pause through ServerRunner into the console, then Stop",
               Format("%.0f s, about %.0f MiB, %d samples", seconds, writtenMb, samples),
               Format("text max %.0f bytes (cap %zu); private bytes after %.0f s %.2f..%.2f MiB (median %.2f in the "
                      "first half, %.2f in the second); handles %.0f..%.0f; threads %.0f..%.0f; window answer max "
                      "%.0f ms; stopped in %.0f ms; last line \"%s\"",
                      texts.Max(), cap, settle, memory.Min(), memory.Max(), firstHalf.Median(), secondHalf.Median(),
                      handles.Min(), handles.Max(), threads.Min(), threads.Max(), answers.Max(), stopMs, last.c_str()),
               held);
}

void PrintSummary()
{
    std::printf("\n| Area | What was tried | How often | Result | Held |\n");
    std::printf("|---|---|---|---|---|\n");
    for (const SummaryRow& row : summary)
        std::printf("| %s | %s | %s | %s | %s |\n", row.area.c_str(), row.tried.c_str(), row.often.c_str(),
                    row.result.c_str(), row.held ? "yes" : "NO");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    bool quick = false;
    std::string only;
    int cycles = -1, runs = -1;
    double seconds = -1;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--quick") quick = true;
        else if (arg == "--only" && i + 1 < argc) only = argv[++i];
        else if (arg == "--cycles" && i + 1 < argc) cycles = std::max(2, std::atoi(argv[++i]));
        else if (arg == "--runs" && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--seconds" && i + 1 < argc) seconds = std::max(10.0, std::atof(argv[++i]));
        else {
            std::printf("usage: vantry-soak [--quick] [--only runners|launcher|flood] [--cycles N] [--runs N] "
                        "[--seconds N]\n");
            return 2;
        }
    }
    if (cycles < 0) cycles = quick ? 50 : 1000;
    if (runs < 0) runs = quick ? 5 : 100;
    if (seconds < 0) seconds = quick ? 30 : 600;
    auto wanted = [&](const char* name) { return only.empty() || only == name; };

    Say(Format("Vantry launcher soak%s", quick ? " (quick)" : ""));
    if (wanted("runners")) {
        SoakRunner(Which::Init, cycles);
        SoakRunner(Which::Server, cycles);
    }
    if (wanted("launcher")) SoakLauncher(runs);
    if (wanted("flood")) SoakFlood(seconds);
    SetChildSteps(nullptr);
    PrintSummary();
    return 0;
}
