#include "harness/Harness.h"

#include "app/ExitPlatform.h"
#include "ui/Messages.h"
#include "framework/Text.h"
#include "res/resource.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// ---- Clock, text and figures ----------------------------------------------------------------------

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

std::string Format(const char* format, ...)
{
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return text;
}

void Say(const std::string& text)
{
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

double Figures::Min() const { return values.empty() ? 0 : *std::min_element(values.begin(), values.end()); }
double Figures::Max() const { return values.empty() ? 0 : *std::max_element(values.begin(), values.end()); }

double Figures::Median() const
{
    if (values.empty()) return 0;
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    return sorted[sorted.size() / 2];
}

// Nearest rank.
double Figures::Percentile(double fraction) const
{
    if (values.empty()) return 0;
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    size_t rank = static_cast<size_t>(fraction * static_cast<double>(sorted.size()) + 0.999999);
    return sorted[std::min(std::max<size_t>(rank, 1), sorted.size()) - 1];
}

std::string Figures::Text(const char* unit, int decimals) const
{
    return Format("%.*f / %.*f / %.*f %s", decimals, Min(), decimals, Median(), decimals, Max(), unit);
}

// ---- Folders ---------------------------------------------------------------------------------------

std::string BuildDir()
{
    std::string dir = ModuleFolder();
    return dir.substr(0, dir.find_last_of('\\'));
}

std::string ChildPath() { return BuildDir() + "\\harness\\load_child.exe"; }

std::string Tag()
{
    std::string path = ModulePath();
    std::string name = path.substr(path.find_last_of('\\') + 1);
    name = name.substr(0, name.find_last_of('.'));
    return name + "-" + std::to_string(GetCurrentProcessId());
}

std::string FreshDir(const char* name)
{
    static int serial = 0;
    return FreshFolder(TempPath(Tag() + "-" + name + "-" + std::to_string(++serial)));
}

// ---- The demo installation --------------------------------------------------------------------------

void StoreSettings(const std::string& javaExe)
{
    // The launcher's settings are in the registry's 32-bit view.
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vantry\\Vantrybench", 0, nullptr, 0,
                        KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    RegDeleteTreeA(key, nullptr);
    if (!javaExe.empty())
        RegSetValueExA(key, "JavaExe", 0, REG_SZ, reinterpret_cast<const BYTE*>(javaExe.c_str()),
                       static_cast<DWORD>(javaExe.size() + 1));
    RegCloseKey(key);
}

std::string MakeInstallation(const char* name, int port)
{
    std::string home = FreshDir(name);
    CopyTree(BuildDir() + "\\demo", home);
    CreateDirectoryA((home + "\\config").c_str(), nullptr);
    WriteWholeFile(home + "\\config\\vty3.2.sav", "");
    WriteWholeFile(home + "\\tomcat\\conf\\vantry-port.txt", std::to_string(port) + "\r\n");
    return home;
}

// ---- Messages and waits -------------------------------------------------------------------------------

namespace {
InputProbe* inputProbe = nullptr; // the one that times the messages Pump dispatches
}

bool Pump(const std::function<bool()>& done, double milliseconds)
{
    double start = NowMs();
    for (;;) {
        if (done()) return true;
        if (NowMs() - start > milliseconds) return false;
        MSG msg;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (inputProbe) inputProbe->Taken(msg);
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        } else {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        }
    }
}

// ---- The load child -------------------------------------------------------------------------------

void SetChildSteps(const char* steps) { SetEnvironmentVariableA("VANTRY_LOAD_STEPS", steps); }

namespace {

// A flood line: "%012llu flood line of the load child", padded to 100 bytes with its line end.
const char kFloodLineText[] = " flood line of the load child";
const size_t kFloodNumberDigits = 12;

} // namespace

long long LastFloodLine(const std::string& text)
{
    size_t at = text.rfind(kFloodLineText);
    if (at == std::string::npos || at < kFloodNumberDigits) return -1;
    return std::atoll(text.substr(at - kFloodNumberDigits, kFloodNumberDigits).c_str());
}

// A flood of any size may end inside a line: the last one counts when its number and text are whole.
long long LastWholeFloodLine(unsigned long long bytes)
{
    const long long lineText = static_cast<long long>(kFloodNumberDigits + sizeof kFloodLineText - 1);
    return (static_cast<long long>(bytes) - lineText) / 100;
}

const char kTerminatedLine[] = "Vantry has been terminated.";

// ---- The launcher's console in this process -----------------------------------------------------------

BOOL CountingDialog::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    if (message == WM_SERVER_ENDED) ++serverEnds;
    else if (message == WM_SERVER_READY) ++serverReadies;
    else if (message == WM_HARNESS_INIT_ENDED) ++initEnds;
    return ConsoleDialog::OnWndMsg(message, wParam, lParam, pResult);
}

namespace {

void EndProcessIgnored(int) {}

// The console's text control, watched for the first message it gets (see CountingDialog::recordError).
const char kWatchedDialog[] = "VantryHarnessDialog";
WNDPROC textProc = nullptr;
LRESULT CALLBACK WatchText(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* dialog = static_cast<CountingDialog*>(GetPropA(window, kWatchedDialog));
    if (dialog && dialog->recordError && dialog->recordedError == 0) dialog->recordedError = GetLastError();
    return CallWindowProcA(textProc, window, message, wParam, lParam);
}

} // namespace

Console::Console()
{
    exitPlatform.endProcess = &EndProcessIgnored;
    dialog.Create(IDD_CONSOLE, nullptr);
    SetPropA(Edit(), kWatchedDialog, &dialog);
    textProc =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrA(Edit(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WatchText)));
    dialog.ShowWindow(SW_SHOW);
    dialog.TrayBusy();
    CopyText(dialog.homeDir, ModuleFolder().c_str());
    CopyText(dialog.markerPath, (ModuleFolder() + "\\no-such-folder\\marker").c_str());
    CopyText(dialog.javaExePath, ChildPath().c_str());
    dialog.initRunner.SetNotify(&dialog, WM_HARNESS_INIT_ENDED);
}

Console::~Console()
{
    dialog.initRunner.Stop();
    dialog.serverRunner.Stop();
    Pump([&] { return dialog.initRunner.IsIdle() && dialog.serverRunner.IsIdle(); }, 10000);
    dialog.TrayRemove();
}

void Console::StartServer(const char* steps)
{
    SetChildSteps(steps);
    dialog.OnStartServer();
}

bool Console::Ended() const { return dialog.serverRunner.IsIdle() && LastLine() == kTerminatedLine; }

// The console's text ends with a line end, so the edit's last line is empty.
std::string Console::LastLine() const
{
    LRESULT lines = SendMessageA(Edit(), EM_GETLINECOUNT, 0, 0);
    if (lines < 2) return "";
    char text[256] = {};
    *reinterpret_cast<WORD*>(text) = sizeof text - 1;
    LRESULT n = SendMessageA(Edit(), EM_GETLINE, static_cast<WPARAM>(lines - 2), reinterpret_cast<LPARAM>(text));
    return std::string(text, static_cast<size_t>(n));
}

HICON Console::BigIcon() { return reinterpret_cast<HICON>(dialog.SendMessage(WM_GETICON, ICON_BIG, 0)); }

// ---- Input probe ------------------------------------------------------------------------------------

namespace {

bool PressKey(WORD key, bool up)
{
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return SendInput(1, &input, sizeof input) == 1;
}

} // namespace

bool ClickInto(HWND window)
{
    if (!ClickMiddle(window)) return false;
    HWND top = GetAncestor(window, GA_ROOT);
    return Pump([&] { return GetForegroundWindow() == top; }, 5000);
}

InputProbe::InputProbe() : thread_([this] { Run(); }) { inputProbe = this; }

InputProbe::~InputProbe()
{
    Stop();
    if (inputProbe == this) inputProbe = nullptr;
}

void InputProbe::Stop()
{
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

Figures InputProbe::Latencies() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return latencies_;
}

double InputProbe::Waiting() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return injectedAt_ < 0 ? -1 : NowMs() - injectedAt_;
}

void InputProbe::Taken(const MSG& msg)
{
    if (msg.message != WM_KEYDOWN || msg.wParam != VK_F24) return;
    double now = NowMs();
    std::lock_guard<std::mutex> guard(lock_);
    if (injectedAt_ < 0) return;
    latencies_.Add(now - injectedAt_);
    injectedAt_ = -1;
}

void InputProbe::Run()
{
    while (!stop_) {
        bool pressed = false;
        {
            // A press that waits is not joined by more: each figure is the wait of one press.
            std::lock_guard<std::mutex> guard(lock_);
            if (injectedAt_ < 0) {
                injectedAt_ = NowMs();
                pressed = PressKey(VK_F24, false);
                if (!pressed) injectedAt_ = -1;
            }
        }
        if (pressed) {
            ++pressed_;
            PressKey(VK_F24, true);
        }
        Sleep(20);
    }
}

// ---- Probe ------------------------------------------------------------------------------------------

namespace {

void Raise(std::atomic<long long>& maximum, long long value)
{
    long long now = maximum.load();
    while (value > now && !maximum.compare_exchange_weak(now, value)) {}
}

} // namespace

Probe::Probe(HWND window, HWND edit, bool keepAnswers)
    : window_(window), edit_(edit), keepAnswers_(keepAnswers), thread_([this] { Run(); })
{
}

void Probe::Stop()
{
    stop_ = true;
    Pump([this] { return done_.load(); }, 60000);
    if (thread_.joinable()) thread_.join();
}

Figures Probe::Answers() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return answers_;
}

double Probe::TakeMaxAnswerMs() { return static_cast<double>(maxAnswerUs_.exchange(0)) / 1000.0; }
long long Probe::TakeMaxText() { return maxText_.exchange(0); }

void Probe::Run()
{
    while (!stop_) {
        double start = NowMs();
        DWORD_PTR result = 0;
        SendMessageTimeoutA(window_, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
        double answer = NowMs() - start;
        if (keepAnswers_) {
            std::lock_guard<std::mutex> guard(lock_);
            answers_.Add(answer);
        }
        Raise(maxAnswerUs_, static_cast<long long>(answer * 1000.0));
        DWORD_PTR length = 0;
        if (SendMessageTimeoutA(edit_, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 10000, &length)) {
            Raise(maxText_, static_cast<long long>(length));
            Raise(peakText_, static_cast<long long>(length));
        }
        Raise(peakPrivateKb_, static_cast<long long>(PrivateMb() * 1024.0));
        Sleep(10);
    }
    done_ = true;
}
