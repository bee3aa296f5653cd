// What the benchmark and the soak share beyond the kit: a clock and figures, copies of the demo
// installation, and the launcher's console run in this process, with probes of its answers.
// load_child.exe (build/harness) plays the server for both.
#pragma once
#include "app/ConsoleDialog.h"
#include "kit/Files.h"
#include "kit/Ports.h"
#include "kit/Processes.h"
#include "kit/Waits.h"
#include "kit/Windows.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// ---- Clock, text and figures ----------------------------------------------------------------------

double NowMs();

#if defined(__MINGW32__)
#define HARNESS_PRINTF __attribute__((format(gnu_printf, 1, 2)))
#elif defined(__GNUC__)
#define HARNESS_PRINTF __attribute__((format(printf, 1, 2)))
#else
#define HARNESS_PRINTF
#endif
std::string Format(const char* format, ...) HARNESS_PRINTF;
void Say(const std::string& text); // a line on stdout, at once

struct Figures {
    std::vector<double> values;
    void Add(double v) { values.push_back(v); }
    bool Empty() const { return values.empty(); }
    double Min() const;
    double Median() const;
    double Max() const;
    double Percentile(double fraction) const;                   // the value that fraction of all values are at or below
    std::string Text(const char* unit, int decimals = 0) const; // "min / median / max unit"
};

// ---- Folders ---------------------------------------------------------------------------------------

std::string BuildDir();
std::string ChildPath(); // load_child.exe
// This run's name ("vantry-bench-<process id>"): every folder the run makes has it, so the Linux
// side can tell the run's processes from others'.
std::string Tag();
std::string FreshDir(const char* name);

// ---- The demo installation --------------------------------------------------------------------------

// The launcher's settings key in this prefix, for one run; no JavaExe value when javaExe is empty.
void StoreSettings(const std::string& javaExe);
// A copy of the demo installation, the initialiser marked as done; its server answers on port.
std::string MakeInstallation(const char* name, int port);

// ---- Messages and waits -------------------------------------------------------------------------------

// Pumps this thread's messages until done() or the time is up, checked at every message (during a
// flood the queue is never empty), and shows each message to the input probe: what a figure times.
bool Pump(const std::function<bool()>& done, double milliseconds);

// ---- The load child -------------------------------------------------------------------------------

// The steps the next load child runs (see LoadChild.cpp); nullptr: none.
void SetChildSteps(const char* steps);
// The number of the last flood line in text, -1 when there is none.
long long LastFloodLine(const std::string& text);
// The number of the last line whose number and text a flood of bytes writes whole.
long long LastWholeFloodLine(unsigned long long bytes);

extern const char kTerminatedLine[]; // "Vantry has been terminated."

// ---- The launcher's console in this process -----------------------------------------------------------

constexpr UINT WM_HARNESS_INIT_ENDED = WM_APP + 300;

// The console dialog, counting what reaches it from the runners.
class CountingDialog : public ConsoleDialog {
public:
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
    int serverEnds = 0;
    int serverReadies = 0;
    int initEnds = 0;
    // While set, the system's error when the console's text first gets a message: after a failed
    // start that is the launcher's first step in reporting it, and the error of the start is still
    // the last one.
    bool recordError = false;
    DWORD recordedError = 0;
};

// Shown, busy, with the load child as Java and this program's folder as home.
class Console {
public:
    Console();
    ~Console();
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    void StartServer(const char* steps); // as the launcher starts it, with the load child running steps
    bool Ended() const;                  // the runner is idle and the terminated line came last
    HWND Edit() const { return dialog.console.m_hWnd; }
    std::string Text() const { return dialog.console.GetWindowText(); }
    void Clear() { SetWindowTextA(Edit(), ""); }
    std::string LastLine() const; // the last whole line
    HICON BigIcon();

    CountingDialog dialog;
};

// A left click into the middle of a window through the system's input queue, as the mouse makes
// it; pumps until its top-level window is in front. False when it did not come to the front.
bool ClickInto(HWND window);

// Presses a key that nothing handles (F24) through the system's input queue, as a keyboard does,
// every 20 ms from a thread of its own, and times each press from its injection until the window's
// thread, pumping with Pump, takes it from its queue and hands it to its handler. The window must
// be in front.
class InputProbe {
public:
    InputProbe();
    ~InputProbe();
    InputProbe(const InputProbe&) = delete;
    InputProbe& operator=(const InputProbe&) = delete;
    void Stop(); // no more presses; those made are still timed

    Figures Latencies() const; // every press taken so far
    int Pressed() const { return pressed_.load(); }
    double Waiting() const;     // how long the press not yet taken has waited; -1: none waits
    void Taken(const MSG& msg); // Pump's thread, for every message it dispatches

private:
    void Run();
    mutable std::mutex lock_;
    double injectedAt_ = -1; // when the press not yet taken was made; -1: none waits
    Figures latencies_;
    std::atomic<int> pressed_{ 0 };
    std::atomic<bool> stop_{ false };
    std::thread thread_;
};

// Asks the console window from another thread, every 10 ms, for an answer (timed) and its text's
// length, and takes this process's private bytes. Every answer time is kept only when asked for:
// over a long run that list would count in the private bytes the probe watches.
class Probe {
public:
    Probe(HWND window, HWND edit, bool keepAnswers = false);
    ~Probe() { Stop(); }
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;
    void Stop(); // pumps this thread's messages until the probe, which sends to them, has stopped

    Figures Answers() const;  // every answer time so far, when kept
    double TakeMaxAnswerMs(); // the longest answer since the last take
    long long TakeMaxText();  // the longest text since the last take
    double PeakTextBytes() const { return static_cast<double>(peakText_.load()); }
    double PeakPrivateMb() const { return static_cast<double>(peakPrivateKb_.load()) / 1024.0; }

private:
    void Run();
    HWND window_, edit_;
    const bool keepAnswers_;
    mutable std::mutex lock_;
    Figures answers_;
    std::atomic<bool> stop_{ false };
    std::atomic<bool> done_{ false };
    std::atomic<long long> maxAnswerUs_{ 0 }, maxText_{ 0 }, peakText_{ 0 }, peakPrivateKb_{ 0 };
    std::thread thread_;
};
