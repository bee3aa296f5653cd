#include "support/TestSupport.h"

#include "app/ExitPlatform.h"
#include "process/ConsoleLog.h"

#include <gtest/gtest.h>

#include <sddl.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// Under Wine a test program that crashes can end with status 0, which ctest would take for a pass.
LONG WINAPI FailOnCrash(EXCEPTION_POINTERS* exception)
{
    std::printf("[  CRASH   ] exception 0x%08lX at %p: the test program ends here\n",
                static_cast<unsigned long>(exception->ExceptionRecord->ExceptionCode),
                exception->ExceptionRecord->ExceptionAddress);
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_CONTINUE_SEARCH;
}
const LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = SetUnhandledExceptionFilter(&FailOnCrash);

// Installed for every test of every test program, whatever the test before it left behind.
class EarlyEndGuard : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override
    {
        exitPlatform.endProcess = &EndProcessFails;
        consoleLogPlatform.localAppData = nullptr; // no output file unless a test asks for one
    }
};
const bool guardInstalled = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new EarlyEndGuard);
    return true;
}();

} // namespace

void EndProcessFails(int status)
{
    ADD_FAILURE() << "the launcher ended the process (status " << status << ") in a test that did not expect it";
}

std::string TestBinDir()
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string dir(path, n);
    return dir.substr(0, dir.find_last_of('\\'));
}

std::string TestChildPath() { return TestBinDir() + "\\test_child.exe"; }
std::string TestWindowPath() { return TestBinDir() + "\\test_window.exe"; }
std::string TestOpenerPath() { return TestBinDir() + "\\test_opener.exe"; }

std::string BuildDir()
{
    // The test programs live in <build>\tests\bin.
    std::string dir = TestBinDir();
    for (int i = 0; i < 2; ++i) dir = dir.substr(0, dir.find_last_of('\\'));
    return dir;
}

std::string TempDir(const char* name)
{
    return FreshFolder(TempPath(std::string("vantry-") + name + "-" + std::to_string(GetCurrentProcessId())));
}

ChildGate::ChildGate()
{
    static int made = 0;
    name_ = "vantry-test-gate-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++made);
    event_ = CreateEventA(nullptr, TRUE, FALSE, name_.c_str());
}

ChildGate::~ChildGate()
{
    if (event_) {
        SetEvent(event_); // a child still waiting goes on and ends
        CloseHandle(event_);
    }
}

MessageWindow::MessageWindow()
{
    static ATOM atom = [] {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = &MessageWindow::Proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "VantryTestMessages";
        return RegisterClassA(&wc);
    }();
    (void)atom;
    m_hWnd =
        CreateWindowA("VantryTestMessages", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleA(nullptr), this);
}

MessageWindow::~MessageWindow()
{
    if (m_hWnd) DestroyWindow(m_hWnd);
}

LRESULT CALLBACK MessageWindow::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<MessageWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self && message >= WM_APP) ++self->counts_[message];
    return DefWindowProcA(window, message, wParam, lParam);
}

int MessageWindow::Count(UINT message) const
{
    auto it = counts_.find(message);
    return it == counts_.end() ? 0 : it->second;
}

bool MessageWindow::WaitFor(UINT message, int count, DWORD milliseconds)
{
    return WaitUntil([&] { return Count(message) >= count; }, milliseconds);
}

RegistrySandbox::RegistrySandbox()
{
    path_ =
        "Software\\VantryTestSandbox\\" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount());
    // Both made under the real HKEY_CURRENT_USER before it is replaced.
    RegCreateKeyExA(HKEY_CURRENT_USER, (path_ + "\\machine").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &machine_,
                    nullptr);
    RegCreateKeyExA(HKEY_CURRENT_USER, (path_ + "\\user").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &user_,
                    nullptr);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine_);
    RegOverridePredefKey(HKEY_CURRENT_USER, user_);
}

RegistrySandbox::~RegistrySandbox()
{
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    if (machine_) RegCloseKey(machine_);
    if (user_) RegCloseKey(user_);
    RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, path_.c_str());
}

bool DenyWrites(HKEY root, const char* path, REGSAM view)
{
    HKEY key;
    if (RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    // Everyone: no KEY_SET_VALUE and no KEY_CREATE_SUB_KEY; all the rest.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    bool denied = ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(D;;0x0006;;;WD)(A;;KA;;;WD)",
                                                                       SDDL_REVISION_1, &descriptor, nullptr) &&
                  RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
    LocalFree(descriptor);
    RegCloseKey(key);
    // Checked as the launcher will meet it.
    HKEY probe;
    if (RegOpenKeyExA(root, path, 0, KEY_WRITE | view, &probe) == ERROR_SUCCESS) {
        RegCloseKey(probe);
        return false;
    }
    return denied;
}

std::string StandinJavaPath() { return BuildDir() + "\\demo\\jdk1.3.1\\bin\\java.exe"; }

std::string MakeServerHome(const char* name, int port, bool withConfig)
{
    std::string home = TempDir(name);
    CreateDirectoryA((home + "\\tomcat").c_str(), nullptr);
    CreateDirectoryA((home + "\\tomcat\\conf").c_str(), nullptr);
    if (withConfig) CreateDirectoryA((home + "\\config").c_str(), nullptr);
    std::ofstream(home + "\\tomcat\\conf\\vantry-port.txt") << port << "\r\n";
    return home;
}

std::string MakeJava(const std::string& folder)
{
    SHCreateDirectoryExA(nullptr, (folder + "\\bin").c_str(), nullptr);
    CopyFileA(StandinJavaPath().c_str(), (folder + "\\bin\\java.exe").c_str(), FALSE);
    return folder + "\\bin\\java.exe";
}

TrayRecorder* TrayRecorder::current_ = nullptr;

TrayRecorder::TrayRecorder() : saved_(trayPlatform.notifyIcon)
{
    current_ = this;
    trayPlatform.notifyIcon = &Record;
}

TrayRecorder::~TrayRecorder()
{
    trayPlatform.notifyIcon = saved_;
    current_ = nullptr;
}

BOOL WINAPI TrayRecorder::Record(DWORD operation, PNOTIFYICONDATAA data)
{
    Call call = { operation, {}, GetTickCount() };
    std::memcpy(&call.data, data, std::min<size_t>(data->cbSize, sizeof call.data));
    TrayRecorder& shell = *current_;
    shell.calls.push_back(call);
    if (operation != NIM_ADD) {
        if (!shell.iconThere) return FALSE;
        if (operation == NIM_DELETE) shell.iconThere = false;
        return TRUE;
    }
    if (shell.iconThere) return FALSE;
    DWORD error = ERROR_SUCCESS;
    if (!shell.addErrors.empty()) {
        error = shell.addErrors.front();
        shell.addErrors.erase(shell.addErrors.begin());
    }
    shell.iconThere = error == ERROR_SUCCESS || error == ERROR_TIMEOUT;
    SetLastError(error);
    return error == ERROR_SUCCESS;
}

std::vector<std::string> TrayRecorder::Balloons() const
{
    std::vector<std::string> shown;
    for (const Call& call : calls)
        if (call.data.uFlags & NIF_INFO) shown.push_back(std::string(call.data.szInfoTitle) + "|" + call.data.szInfo);
    return shown;
}
