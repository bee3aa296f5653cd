#include "support/Installation.h"

#include "res/resource.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>

namespace {

// What an installation holds: the launcher and the application's tree. The demo folder also holds
// the stand-in JDK and the build's own files, which are no part of it.
const char* const kInstalledItems[] = { "Vantry.exe", "GenJavadoc.bat", "config", "doc", "log", "tomcat" };

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool KeyExists(HKEY root, const std::string& key)
{
    HKEY opened;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    RegCloseKey(opened);
    return true;
}

const char kClasses[] = "Software\\Classes\\";

} // namespace

Installation::Installation(const char* name) : home_(TempDir(name)), port_(FreeLoopbackPort())
{
    std::string demo = BuildDir() + "\\demo";
    for (const char* item : kInstalledItems) CopyTree(demo + "\\" + item, home_ + "\\" + item);
    DeleteFileA(Marker().c_str());
    std::ofstream(home_ + "\\tomcat\\conf\\vantry-port.txt", std::ios::binary | std::ios::trunc) << port_ << "\r\n";
}

Installation::~Installation() { RemoveTree(home_); }

void Installation::CreateMarker() const { std::ofstream(Marker(), std::ios::binary | std::ios::trunc); }

std::string StandinJdkHome() { return BuildDir() + "\\demo\\jdk1.3.1"; }

// --- HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER -------------------------------------------------------

namespace {

MachineValue ReadValue(HKEY root, const std::string& key, const char* name, REGSAM view)
{
    MachineValue value;
    HKEY opened;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ | view, &opened) != ERROR_SUCCESS) return value;
    char data[2048] = {};
    DWORD size = sizeof data - 1; // room for a NUL the writer may have left out
    if (RegQueryValueExA(opened, name, nullptr, &value.type, reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS) {
        value.present = true;
        value.size = size;
        value.text = data;
    }
    RegCloseKey(opened);
    return value;
}

void DeleteKey(HKEY root, const std::string& key, REGSAM view)
{
    // Writing may have been denied in the key: allowed again first, so that its values can go.
    HKEY opened;
    if (RegOpenKeyExA(root, key.c_str(), 0, WRITE_DAC | view, &opened) == ERROR_SUCCESS) {
        SECURITY_DESCRIPTOR open;
        InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION);
        SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE);
        RegSetKeySecurity(opened, DACL_SECURITY_INFORMATION, &open);
        RegCloseKey(opened);
    }
    size_t separator = key.rfind('\\');
    HKEY parent = root;
    if (separator != std::string::npos &&
        RegOpenKeyExA(root, key.substr(0, separator).c_str(), 0, KEY_ALL_ACCESS | view, &parent) != ERROR_SUCCESS)
        return;
    std::string leaf = separator == std::string::npos ? key : key.substr(separator + 1);
    RegDeleteTreeA(parent, leaf.c_str());
    RegDeleteKeyExA(parent, leaf.c_str(), view, 0);
    if (parent != root) RegCloseKey(parent);
}

} // namespace

MachineValue ReadMachineValue(const std::string& key, const char* name, REGSAM view)
{
    return ReadValue(HKEY_LOCAL_MACHINE, key, name, view);
}

bool WriteMachineText(const std::string& key, const char* name, const std::string& text, REGSAM view)
{
    HKEY created;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &created,
                        nullptr) != ERROR_SUCCESS)
        return false;
    LONG result = RegSetValueExA(created, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                 static_cast<DWORD>(text.size() + 1));
    RegFlushKey(created);
    RegCloseKey(created);
    return result == ERROR_SUCCESS;
}

void DeleteMachineKey(const std::string& key, REGSAM view) { DeleteKey(HKEY_LOCAL_MACHINE, key, view); }

MachineValue ReadUserValue(const std::string& key, const char* name)
{
    return ReadValue(HKEY_CURRENT_USER, key, name, kLauncherView);
}

void DeleteUserKey(const std::string& key) { DeleteKey(HKEY_CURRENT_USER, key, kLauncherView); }

// --- The shell's "open" ----------------------------------------------------------------------------

// Wine's shell finds associations in HKEY_LOCAL_MACHINE\Software\Classes only (not in the user's
// classes), so that is where they go, and what was there before is put back afterwards.
OpenerAssociations::OpenerAssociations(const std::string& logPath) : logPath_(logPath)
{
    DeleteFileA(logPath_.c_str());
    SetEnvironmentVariableA("VANTRY_OPENER_LOG", logPath_.c_str());
    std::string command = "\"" + TestOpenerPath() + "\" \"%1\"";
    SetDefault("http\\shell\\open\\command", command);
    SetDefault(".html", "VantryTestPage");
    SetDefault("VantryTestPage\\shell\\open\\command", command);
    SetDefault(".log", "VantryTestLog");
    SetDefault("VantryTestLog\\shell\\open\\command", command);
}

OpenerAssociations::~OpenerAssociations()
{
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
        if (!it->created.empty()) {
            DeleteMachineKey(kClasses + it->created, 0);
            continue;
        }
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (kClasses + it->key).c_str(), 0, KEY_WRITE, &key) != ERROR_SUCCESS)
            continue;
        if (it->hadDefault)
            RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(it->oldDefault.c_str()),
                           static_cast<DWORD>(it->oldDefault.size() + 1));
        else RegDeleteValueA(key, nullptr);
        RegFlushKey(key);
        RegCloseKey(key);
    }
    SetEnvironmentVariableA("VANTRY_OPENER_LOG", nullptr);
}

void OpenerAssociations::SetDefault(const std::string& key, const std::string& value)
{
    Saved saved;
    saved.key = key;
    // The outermost missing key along the path: deleting it undoes all that was created.
    for (size_t end = key.find('\\');; end = key.find('\\', end + 1)) {
        std::string part = key.substr(0, end);
        if (!KeyExists(HKEY_LOCAL_MACHINE, kClasses + part)) {
            saved.created = part;
            break;
        }
        if (end == std::string::npos) break;
    }
    if (saved.created.empty()) {
        MachineValue old = ReadMachineValue(kClasses + key, nullptr, 0);
        saved.hadDefault = old.present;
        saved.oldDefault = old.text;
    }
    saved_.push_back(saved);
    WriteMachineText(kClasses + key, nullptr, value, 0);
}

std::string OpenerAssociations::Opened() const { return ReadWholeFile(logPath_); }

bool OpenerAssociations::WaitForOpened(const std::string& target, DWORD milliseconds, int times) const
{
    std::string wanted = Lower(target);
    return WaitUntil(
        [&] {
            std::string opened = Lower(Opened());
            int found = 0;
            for (size_t at = opened.find(wanted); at != std::string::npos; at = opened.find(wanted, at + 1)) ++found;
            return found >= times;
        },
        milliseconds);
}

// --- The running program ---------------------------------------------------------------------------

bool RunningLauncher::Start(const std::string& exe, const std::string& directory, DWORD flags,
                            const std::string& arguments)
{
    return process_.Start(exe, arguments, directory, flags);
}

bool RunningLauncher::Running() const { return process_.Running(); }

DWORD RunningLauncher::WaitForExit(DWORD milliseconds) const
{
    if (!process_.Get()) return STILL_ACTIVE;
    WaitUntil([&] { return !Running(); }, milliseconds);
    if (Running()) return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process_.Get(), &code);
    return code;
}

std::vector<DWORD> RunningLauncher::JavaChildren() const
{
    if (!process_.Get()) return {};
    return LiveChildren(process_.Id(), "java.exe");
}

void RunningLauncher::Kill()
{
    // The children first: once the launcher is gone, nothing else would end them.
    for (DWORD id : JavaChildren()) TerminateAndWait(id, 10000);
    process_.End();
    console_ = nullptr;
}

HWND RunningLauncher::WaitForWindow(const char* title, DWORD milliseconds) const
{
    HWND window = nullptr;
    WaitUntil([&] { return (window = FindWindowOf(process_.Id(), title)) != nullptr && IsWindowVisible(window); },
              milliseconds);
    return window && IsWindowVisible(window) ? window : nullptr;
}

HWND RunningLauncher::WaitForPopupMenu(DWORD milliseconds) const
{
    HWND menu = nullptr;
    WaitUntil([&] { return (menu = FindPopupMenu(process_.Id())) != nullptr; }, milliseconds);
    return menu;
}

HWND RunningLauncher::Console(DWORD milliseconds)
{
    if (console_ && IsWindow(console_)) return console_;
    WaitUntil([&] { return (console_ = FindConsole(process_.Id())) != nullptr; }, milliseconds);
    return console_;
}

bool RunningLauncher::TypeText(HWND edit, const std::string& text)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG, 10000,
                               &result) &&
           result;
}

std::string RunningLauncher::ConsoleText() { return ::ConsoleText(Console(0)); }

bool RunningLauncher::WaitForText(const std::string& text, DWORD milliseconds)
{
    return WaitUntil([&] { return ConsoleText().find(text) != std::string::npos; }, milliseconds);
}

bool RunningLauncher::ControlEnabled(int id)
{
    HWND console = Console(0);
    return console && IsWindowEnabled(GetDlgItem(console, id));
}

bool RunningLauncher::WaitUntilReady(DWORD milliseconds)
{
    // A launcher that ended can never become ready: stop waiting at once.
    return WaitUntil([&] { return ControlEnabled(IDC_GOTO) || !Running(); }, milliseconds) && Running();
}

void RunningLauncher::Click(HWND window, int id)
{
    // Sent, so that the click has been handled on return; a handler that ends the program ends the wait.
    DWORD_PTR result = 0;
    SendMessageTimeoutA(GetDlgItem(window, id), BM_CLICK, 0, 0, SMTO_NORMAL, 30000, &result);
}
