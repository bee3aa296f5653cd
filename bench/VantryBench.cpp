// vantry-bench: measures what the launcher costs, each figure beside its limit, and prints a table.
//   vantry-bench [--runs N] [--quick]
// Rows run the launcher's own classes in this process (the server runner and the console window,
// whose message loop the benchmark runs) or Vantry.exe itself, with bench_child.exe as the server.
// Nothing here asserts: the figures are for people, and the machine may be shared and noisy.
#include "app/ConsoleDialog.h"
#include "app/Messages.h"
#include "framework/Text.h"
#include "res/resource.h"

#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

// ---- Clock and figures --------------------------------------------------------------------------

double NowMs()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

struct Figures {
    std::vector<double> values;
    void Add(double v) { values.push_back(v); }
    double At(double fraction) const
    {
        if (values.empty()) return 0;
        std::vector<double> sorted = values;
        std::sort(sorted.begin(), sorted.end());
        size_t index = static_cast<size_t>(fraction * static_cast<double>(sorted.size() - 1) + 0.5);
        return sorted[std::min(index, sorted.size() - 1)];
    }
    double Min() const { return At(0); }
    double Median() const { return At(0.5); }
    double Max() const { return At(1); }
    // The value that fraction of all values are at or below (nearest rank).
    double Percentile(double fraction) const
    {
        if (values.empty()) return 0;
        std::vector<double> sorted = values;
        std::sort(sorted.begin(), sorted.end());
        size_t rank = static_cast<size_t>(fraction * static_cast<double>(sorted.size()) + 0.999999);
        return sorted[std::min(std::max<size_t>(rank, 1), sorted.size()) - 1];
    }
    std::string Text(const char* unit, int decimals = 0) const
    {
        char text[96];
        std::snprintf(text, sizeof text, "%.*f / %.*f / %.*f %s", decimals, Min(), decimals, Median(), decimals,
                      Max(), unit);
        return text;
    }
};

struct Row {
    std::string figure, goal, launcher, limit, ratio, met;
};
std::vector<Row> rows;

void AddRow(const std::string& figure, const std::string& goal, const std::string& launcher, const std::string& limit,
            const std::string& ratio, bool met)
{
    if (launcher.find("-1") == 0) met = false; // a run failed
    rows.push_back({ figure, goal, launcher, limit, ratio, met ? "yes" : "NO" });
    std::printf("  %s: %s (limit %s) %s -> %s\n", figure.c_str(), launcher.c_str(), limit.c_str(), ratio.c_str(),
                met ? "met" : "MISSED");
    std::fflush(stdout);
}

std::string Format(const char* format, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// ---- Paths and processes --------------------------------------------------------------------------

std::string ExeDir()
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string dir(path, n);
    return dir.substr(0, dir.find_last_of('\\'));
}
std::string BuildDir() { return ExeDir().substr(0, ExeDir().find_last_of('\\')); }
std::string ChildPath() { return ExeDir() + "\\bench_child.exe"; }

void CopyTree(const std::string& from, const std::string& to)
{
    CreateDirectoryA(to.c_str(), nullptr);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((from + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) CopyTree(from + "\\" + name, to + "\\" + name);
        else CopyFileA((from + "\\" + name).c_str(), (to + "\\" + name).c_str(), FALSE);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

std::string FreshDir(const char* name)
{
    char base[MAX_PATH];
    GetTempPathA(sizeof base, base);
    static int serial = 0;
    std::string dir = std::string(base) + "vantry-bench-" + std::to_string(GetCurrentProcessId()) + "-" + name +
                      "-" + std::to_string(++serial);
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

struct Process {
    PROCESS_INFORMATION info = {};
    bool Start(const std::string& program, const std::string& arguments, const std::string& directory)
    {
        std::string line = "\"" + program + "\" " + arguments;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        return CreateProcessA(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, directory.c_str(),
                              &startup, &info) != 0;
    }
    void Kill()
    {
        if (!info.hProcess) return;
        TerminateProcess(info.hProcess, 1);
        WaitForSingleObject(info.hProcess, 10000);
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
        info = {};
    }
    ~Process() { Kill(); }
};

struct WindowQuery {
    DWORD processId;
    const char* title;
    HWND found;
};
BOOL CALLBACK MatchWindow(HWND window, LPARAM param)
{
    auto* query = reinterpret_cast<WindowQuery*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char title[64] = "";
    GetWindowTextA(window, title, sizeof title);
    if (owner == query->processId && std::strcmp(title, query->title) == 0) {
        query->found = window;
        return FALSE;
    }
    return TRUE;
}
HWND FindWindowOf(DWORD processId, const char* title)
{
    WindowQuery query = { processId, title, nullptr };
    EnumWindows(&MatchWindow, reinterpret_cast<LPARAM>(&query));
    return query.found;
}

std::string DialogItemText(HWND dialog, int id)
{
    char text[256] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

std::string ReadWholeFile(const std::string& path)
{
    std::string text;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
    CloseHandle(file);
    return text;
}

// Wine reports no processor time for other processes, so it is read where the system keeps it:
// each Windows process is a Linux process, found by the unique path in its command line, and its
// threads' time is in /proc (the Z: drive is the Linux root). Nanoseconds, as milliseconds.
std::string LinuxProcessOf(const std::string& pathPart)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &found);
    if (search == INVALID_HANDLE_VALUE) return "";
    std::string match;
    do {
        std::string name = found.cFileName;
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::string commandLine = ReadWholeFile("Z:\\proc\\" + name + "\\cmdline");
        if (commandLine.find(pathPart) != std::string::npos) match = name;
    } while (match.empty() && FindNextFileA(search, &found));
    FindClose(search);
    return match;
}

double LinuxCpuMs(const std::string& pid)
{
    double total = 0;
    WIN32_FIND_DATAA found;
    std::string tasks = "Z:\\proc\\" + pid + "\\task";
    HANDLE search = FindFirstFileA((tasks + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return -1;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        total += std::atof(ReadWholeFile(tasks + "\\" + name + "\\schedstat").c_str()) / 1e6;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return total;
}

// The launcher's settings key in this prefix, set for one run.
void StoreSettings(const std::string& javaExe)
{
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vantry\\Vantrybench");
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vantry\\Vantrybench", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return;
    if (!javaExe.empty())
        RegSetValueExA(key, "JavaExe", 0, REG_SZ, reinterpret_cast<const BYTE*>(javaExe.c_str()),
                       static_cast<DWORD>(javaExe.size() + 1));
    RegCloseKey(key);
}

int FreePort()
{
    // The stand-in server reads its port from the installation; a port from the dynamic range
    // that nothing of ours uses is enough for one run.
    static int next = 47000 + static_cast<int>(GetCurrentProcessId() % 1000) * 4;
    return next++;
}

// An installation of the demo application with the launcher, ready for a later run: Java remembered,
// the initialiser marked as done; the server answers on port.
std::string MakeInstallation(const char* name, int port)
{
    std::string home = FreshDir(name);
    CopyTree(BuildDir() + "\\demo", home);
    CreateDirectoryA((home + "\\config").c_str(), nullptr);
    CloseHandle(CreateFileA((home + "\\config\\vty3.2.sav").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                            nullptr));
    std::string portText = std::to_string(port) + "\r\n";
    HANDLE file = CreateFileA((home + "\\tomcat\\conf\\vantry-port.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, portText.data(), static_cast<DWORD>(portText.size()), &written, nullptr);
    CloseHandle(file);
    return home;
}

// ---- The console in this process --------------------------------------------------------------

// Pumps this thread's messages until done() or the time is up.
bool Pump(const std::function<bool()>& done, double milliseconds)
{
    double start = NowMs();
    while (!done()) {
        MSG msg;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        } else {
            if (NowMs() - start > milliseconds) return false;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        }
    }
    return true;
}

void EndProcessIgnored(int) {}

class Console {
public:
    Console()
    {
        ConsoleDialog::endProcess = &EndProcessIgnored;
        dialog.Create(IDD_CONSOLE, nullptr);
        dialog.ShowWindow(SW_SHOW);
        dialog.TrayBusy();
        CopyText(dialog.homeDir, ExeDir().c_str());
        CopyText(dialog.markerPath, (ExeDir() + "\\no-such-folder\\marker").c_str());
        CopyText(dialog.javaExePath, ChildPath().c_str());
    }
    ~Console()
    {
        dialog.serverRunner.Stop();
        Pump([&] { return dialog.serverRunner.IsIdle(); }, 10000);
        dialog.TrayRemove();
    }
    // Starts the server the way the launcher does, as the benchmark's child running steps.
    void StartServer(const char* steps)
    {
        SetEnvironmentVariableA("VANTRY_BENCH_STEPS", steps);
        dialog.OnStartServer();
    }
    bool Ended() { return dialog.serverRunner.IsIdle() && LastLine() == "Vantry has been terminated."; }
    std::string LastLine()
    {
        HWND edit = dialog.console.m_hWnd;
        LRESULT lines = SendMessageA(edit, EM_GETLINECOUNT, 0, 0);
        if (lines < 2) return "";
        char text[128] = {};
        *reinterpret_cast<WORD*>(text) = sizeof text - 1;
        LRESULT n = SendMessageA(edit, EM_GETLINE, lines - 2, reinterpret_cast<LPARAM>(text));
        return std::string(text, static_cast<size_t>(n));
    }
    HICON BigIcon() { return reinterpret_cast<HICON>(dialog.SendMessage(WM_GETICON, ICON_BIG, 0)); }

    ConsoleDialog dialog;
};

// Samples the window's answer time, the private bytes and the console's length from another thread.
class Probe {
public:
    Probe(HWND window, HWND edit) : window_(window), edit_(edit), thread_([this] { Run(); }) {}
    ~Probe() { Stop(); }
    // The probe sends to this thread's windows: keep answering until it has stopped.
    void Stop()
    {
        stop_ = true;
        Pump([this] { return done_.load(); }, 60000);
        if (thread_.joinable()) thread_.join();
    }
    Figures latencies;
    double peakPrivateMb = 0;
    double peakTextBytes = 0;

private:
    void Run()
    {
        while (!stop_) {
            double start = NowMs();
            DWORD_PTR result = 0;
            SendMessageTimeoutA(window_, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
            latencies.Add(NowMs() - start);
            PROCESS_MEMORY_COUNTERS_EX memory = {};
            GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                                 sizeof memory);
            // Wine fills in the page-file figure; Windows both (they are the same private bytes).
            double privateBytes = static_cast<double>(std::max<SIZE_T>(memory.PrivateUsage, memory.PagefileUsage));
            peakPrivateMb = std::max(peakPrivateMb, privateBytes / (1024.0 * 1024.0));
            DWORD_PTR length = 0;
            SendMessageTimeoutA(edit_, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 10000, &length);
            peakTextBytes = std::max(peakTextBytes, static_cast<double>(length));
            Sleep(10);
        }
        done_ = true;
    }
    HWND window_, edit_;
    std::atomic<bool> stop_{ false };
    std::atomic<bool> done_{ false };
    std::thread thread_;
};

// ---- Rows ---------------------------------------------------------------------------------------

const size_t kFloodBytes = 64u << 20;

// The limit: the same child, its pipe drained by a bare reader of 2048-byte reads.
double BareReaderMs(size_t bytes)
{
    SECURITY_ATTRIBUTES inherit = { sizeof inherit, nullptr, TRUE };
    HANDLE read = nullptr, write = nullptr;
    CreatePipe(&read, &write, &inherit, 0);
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    std::string line = "bench_child.exe flood:" + std::to_string(bytes);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write;
    startup.hStdError = write;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION child = {};
    SetEnvironmentVariableA("VANTRY_BENCH_STEPS", nullptr);
    double start = NowMs();
    if (!CreateProcessA(ChildPath().c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child))
        return -1;
    CloseHandle(write);
    char buffer[2048];
    DWORD got = 0;
    while (ReadFile(read, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    }
    WaitForSingleObject(child.hProcess, INFINITE);
    double elapsed = NowMs() - start;
    CloseHandle(read);
    CloseHandle(child.hProcess);
    CloseHandle(child.hThread);
    return elapsed;
}

// One flood through the launcher's server runner into its console. With a probe, the window's
// answer time, the private bytes and the console's length are sampled every 10 ms meanwhile.
struct FloodResult {
    double ms = -1;
    Figures latencies;
    double peakPrivateMb = 0, peakTextKb = 0;
};

FloodResult FloodThroughTheLauncher(size_t bytes, bool probe)
{
    FloodResult result;
    Console console;
    Pump([] { return false; }, 300); // settle
    std::string steps = "flood:" + std::to_string(bytes);
    std::unique_ptr<Probe> sampler;
    if (probe) sampler.reset(new Probe(console.dialog.m_hWnd, console.dialog.console.m_hWnd));
    double start = NowMs();
    console.StartServer(steps.c_str());
    bool ended = Pump([&] { return console.Ended(); }, 600000);
    double elapsed = NowMs() - start;
    if (sampler) {
        sampler->Stop();
        result.latencies = sampler->latencies;
        result.peakPrivateMb = sampler->peakPrivateMb;
        result.peakTextKb = sampler->peakTextBytes / 1024.0;
    }
    // The console must end with the flood's last whole line, then the terminated line.
    char last[16];
    std::snprintf(last, sizeof last, "%010zu", bytes / 100 - 1);
    bool complete = console.dialog.console.GetWindowText().find(last) != std::string::npos;
    if (!complete) std::printf("    the console lacks the flood's last line %s\n", last);
    if (ended && complete) result.ms = elapsed;
    return result;
}

void FloodRows(int runs, size_t bytes)
{
    // Throughput without the probe: on some machines a thread that wakes every 10 ms changes how
    // fast a pipe is drained, and the bare reader runs without one.
    Figures launcher, limit, p99, worst, memory, text;
    for (int run = 0; run < runs; ++run) {
        limit.Add(BareReaderMs(bytes));
        launcher.Add(FloodThroughTheLauncher(bytes, false).ms);
        FloodResult probed = FloodThroughTheLauncher(bytes, true);
        p99.Add(probed.latencies.Percentile(0.99));
        worst.Add(probed.latencies.Max());
        memory.Add(probed.peakPrivateMb);
        text.Add(probed.peakTextKb);
        std::printf("    run %d: launcher %.0f ms, bare reader %.0f ms; with the probe: %.0f ms, %zu answers, "
                    "p99 %.1f ms, max %.1f ms, %.1f MiB, text %.0f KiB\n",
                    run + 1, launcher.values.back(), limit.values.back(), probed.ms, probed.latencies.values.size(),
                    p99.values.back(), worst.values.back(), memory.values.back(), text.values.back());
        std::fflush(stdout);
    }
    double ratio = launcher.Median() / limit.Median();
    std::string mib = Format("%.0f MiB", static_cast<double>(bytes >> 20));
    AddRow("Output throughput (" + mib + ")", "ratio <= 1.25", launcher.Text("ms"), limit.Text("ms"),
           Format("%.2f", ratio), ratio <= 1.25);
    AddRow("Window answer during the flood, 99th percentile", "<= 50 ms", p99.Text("ms", 1), "-", "-",
           p99.Median() <= 50);
    AddRow("Window answer during the flood, maximum", "<= 250 ms", worst.Text("ms", 1), "-", "-", worst.Median() <= 250);
    AddRow("Peak private bytes during the flood", "<= 64 MiB", memory.Text("MiB", 1), "-", "-", memory.Max() <= 64);
    AddRow("Console text during the flood", Format("<= cap (%.0f KiB)", ConsoleOutput::kDefaultCap / 1024.0),
           text.Text("KiB"), "-", "-", text.Max() * 1024.0 <= ConsoleOutput::kDefaultCap);
}

// From the marker's write in the child until the console's big icon is the ready icon.
double ReadinessMs(size_t floodBytes)
{
    Console console;
    Pump([] { return false; }, 200);
    HICON ready = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_READY));
    // The marker is its own write after a pause, as a server's is: a chunk holds what one read got.
    std::string steps = (floodBytes ? "flood:" + std::to_string(floodBytes) + " " : std::string()) +
                        "sleep:300 ready wait";
    console.StartServer(steps.c_str());
    double seen = 0;
    Pump([&] {
        if (console.BigIcon() != ready) return false;
        seen = NowMs();
        return true;
    }, 120000);
    // The child put the time of its write into the marker line, which the console may show later
    // than the icon changes, after a flood.
    std::string text;
    size_t at = std::string::npos;
    Pump([&] {
        text = console.dialog.console.GetWindowText();
        at = text.rfind("Vantry is initialized at ");
        return at != std::string::npos;
    }, 60000);
    if (!seen || at == std::string::npos) return -1;
    long long written = std::atoll(text.c_str() + at + 25);
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return seen - static_cast<double>(written) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

void ReadinessRows(int runs)
{
    Figures idle, flooded;
    for (int run = 0; run < runs; ++run) {
        idle.Add(ReadinessMs(0));
        flooded.Add(ReadinessMs(16u << 20));
    }
    AddRow("Readiness latency, idle", "median <= 20 ms", idle.Text("ms", 1), "-", "-", idle.Median() <= 20);
    AddRow("Readiness latency, after 16 MiB of flood", "median <= 100 ms", flooded.Text("ms", 1), "-", "-",
           flooded.Median() <= 100);
}

// From the start of the program until its console is visible with the starting text. Visibility
// is what is polled: asking for the text would wait for the program's thread, which goes on with
// its start; the text is checked once the window shows (both programs set it before showing).
double StartUpMs(const std::string& program, const char* title, int textId, const char* text, const std::string& dir)
{
    Process process;
    double start = NowMs();
    if (!process.Start(program, "", dir)) return -1;
    for (;;) {
        HWND window = FindWindowOf(process.info.dwProcessId, title);
        if (window && IsWindowVisible(window)) {
            double shown = NowMs() - start;
            return DialogItemText(window, textId).find(text) != std::string::npos ? shown : -1;
        }
        if (NowMs() - start > 60000) return -1;
        Sleep(1);
    }
}

void StartUpRow(int runs)
{
    Figures launcher, limit;
    // A later run: Java remembered, the initialiser done, so the server starts (and is ended with
    // the launcher).
    std::string home = MakeInstallation("startup", FreePort());
    for (int run = 0; run < runs; ++run) {
        StoreSettings(BuildDir() + "\\demo\\jdk1.3.1\\bin\\java.exe");
        limit.Add(StartUpMs(ExeDir() + "\\minimal_dialog.exe", "Minimal", 100, "Vantry is starting", ExeDir()));
        launcher.Add(StartUpMs(home + "\\Vantry.exe", "Vantry", IDC_CONSOLE, "Vantry is starting", home));
    }
    double ratio = launcher.Median() / limit.Median();
    AddRow("Start-up until the console shows", "ratio <= 1.3", launcher.Text("ms"), limit.Text("ms"),
           Format("%.2f", ratio), ratio <= 1.3);
}

// Vantry.exe on an installation whose server is the stand-in (ready) or the benchmark's child
// (never ready: the tray stays busy). Returns the console window once it is there.
HWND StartLauncher(Process& process, const std::string& home, const std::string& java, bool waitReady)
{
    StoreSettings(java);
    if (!process.Start(home + "\\Vantry.exe", "", home)) return nullptr;
    double start = NowMs();
    HWND console = nullptr;
    while (NowMs() - start < 120000) {
        console = FindWindowOf(process.info.dwProcessId, "Vantry");
        if (console && (!waitReady || IsWindowEnabled(GetDlgItem(console, IDC_GOTO)))) return console;
        Sleep(50);
    }
    return nullptr;
}

void ExitRow(int runs)
{
    Figures exits;
    for (int run = 0; run < runs; ++run) {
        std::string home = MakeInstallation("exit", FreePort());
        Process process;
        HWND console = StartLauncher(process, home, BuildDir() + "\\demo\\jdk1.3.1\\bin\\java.exe", true);
        if (!console) {
            exits.Add(-1);
            continue;
        }
        double start = NowMs();
        PostMessageA(console, WM_COMMAND, IDCANCEL, 0);
        WaitForSingleObject(process.info.hProcess, 30000);
        exits.Add(NowMs() - start);
    }
    AddRow("Exit with the server running", "<= 1600 ms", exits.Text("ms"), "1500 ms (its own wait)", "-",
           exits.Median() <= 1600);
}

void IdleRows(int runs, double seconds)
{
    Figures ready, busy;
    for (int run = 0; run < runs; ++run) {
        for (bool isReady : { true, false }) {
            std::string home = MakeInstallation("idle", FreePort());
            Process process;
            SetEnvironmentVariableA("VANTRY_BENCH_STEPS", "wait");
            std::string java = isReady ? BuildDir() + "\\demo\\jdk1.3.1\\bin\\java.exe" : ChildPath();
            if (!StartLauncher(process, home, java, isReady)) continue;
            Sleep(1000);
            std::string pid = LinuxProcessOf(home.substr(home.find_last_of('\\') + 1));
            double cpu = pid.empty() ? -1 : LinuxCpuMs(pid);
            double start = NowMs();
            Sleep(static_cast<DWORD>(seconds * 1000));
            double share = cpu < 0 ? -1 : 100.0 * (LinuxCpuMs(pid) - cpu) / (NowMs() - start);
            (isReady ? ready : busy).Add(share);
            HWND console = FindWindowOf(process.info.dwProcessId, "Vantry");
            PostMessageA(console, WM_COMMAND, IDCANCEL, 0);
            WaitForSingleObject(process.info.hProcess, 10000);
        }
    }
    SetEnvironmentVariableA("VANTRY_BENCH_STEPS", nullptr);
    AddRow(Format("Idle CPU over %.0f s, ready", seconds), "< 0.1 % of a core", ready.Text("%", 3), "-", "-",
           ready.Median() < 0.1);
    AddRow(Format("Idle CPU over %.0f s, busy animation", seconds), "< 1 % of a core", busy.Text("%", 3), "-", "-",
           busy.Median() < 1.0);
}

void PrintTable()
{
    std::printf("\n| Figure | Goal | Launcher (min / median / max) | Limit (min / median / max) | Ratio | Met |\n");
    std::printf("|---|---|---|---|---|---|\n");
    for (const Row& row : rows)
        std::printf("| %s | %s | %s | %s | %s | %s |\n", row.figure.c_str(), row.goal.c_str(), row.launcher.c_str(),
                    row.limit.c_str(), row.ratio.c_str(), row.met.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    int runs = 5;
    bool quick = false;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--quick") quick = true;
        else if (arg == "--only" && i + 1 < argc) only = argv[++i];
    }
    if (quick) runs = std::min(runs, 2);
    auto wanted = [&](const char* name) { return only.empty() || only == name; };
    std::printf("Vantry launcher benchmark: %d runs of each figure\n", runs);
    if (wanted("flood")) FloodRows(runs, quick ? (16u << 20) : kFloodBytes);
    if (wanted("ready")) ReadinessRows(runs);
    if (wanted("startup")) StartUpRow(runs);
    if (wanted("exit")) ExitRow(runs);
    if (wanted("idle")) IdleRows(runs, quick ? 3.0 : 10.0);
    PrintTable();
    return 0;
}
