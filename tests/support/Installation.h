// A launcher installation of a test's own, the machine state the launcher reads (HKEY_LOCAL_MACHINE,
// the shell's "open" associations), and the real program driven from outside as a user would.
#pragma once
#include "kit/Files.h"
#include "kit/Processes.h"
#include "kit/Windows.h"

#include <windows.h>

#include <string>
#include <vector>

// A copy of the demo installation (the launcher and the application's tree, no Java) in a fresh
// folder, serving on a port of its own and with no initialisation marker.
class Installation {
public:
    explicit Installation(const char* name);
    ~Installation();
    Installation(const Installation&) = delete;
    Installation& operator=(const Installation&) = delete;

    const std::string& Home() const { return home_; }
    int Port() const { return port_; }
    std::string Exe() const { return home_ + "\\Vantry.exe"; }
    std::string Marker() const { return home_ + "\\config\\vty3.2.sav"; }
    std::string Url() const { return "http://localhost:" + std::to_string(port_) + "/Vantry"; }
    void CreateMarker() const;

private:
    std::string home_;
    int port_;
};

// The folder of the demo's stand-in JDK 1.3.1 (its java.exe is StandinJavaPath()).
std::string StandinJdkHome();

// HKEY_LOCAL_MACHINE in a view of the registry: the launcher's own keys (its settings, the JavaSoft
// keys) are in the 32-bit view, the shell's associations in the 64-bit one, which is 0 here.
constexpr REGSAM kLauncherView = KEY_WOW64_32KEY;
struct MachineValue {
    bool present = false;
    DWORD type = REG_NONE;
    DWORD size = 0;   // bytes as stored
    std::string text; // up to the first NUL
};
MachineValue ReadMachineValue(const std::string& key, const char* name, REGSAM view);
bool WriteMachineText(const std::string& key, const char* name, const std::string& text, REGSAM view);
// Also a key whose writing was denied (see DenyWrites).
void DeleteMachineKey(const std::string& key, REGSAM view);
// The same for HKEY_CURRENT_USER, where a user without rights to the machine's key keeps settings.
MachineValue ReadUserValue(const std::string& key, const char* name);
void DeleteUserKey(const std::string& key);

// While the object lives, the shell opens web addresses, .html and .log files with test_opener,
// which appends each target to logPath (the launcher inherits the variable that names it).
class OpenerAssociations {
public:
    explicit OpenerAssociations(const std::string& logPath);
    ~OpenerAssociations();
    OpenerAssociations(const OpenerAssociations&) = delete;
    OpenerAssociations& operator=(const OpenerAssociations&) = delete;

    std::string Opened() const; // what was opened so far, one line each
    // Waits until target (case-insensitive) has been opened at least times times.
    bool WaitForOpened(const std::string& target, DWORD milliseconds, int times = 1) const;

private:
    struct Saved {
        std::string key;     // the key whose default value was set
        std::string created; // the outermost key that had to be created, or "" when all existed
        bool hadDefault = false;
        std::string oldDefault;
    };
    void SetDefault(const std::string& key, const std::string& value);

    std::string logPath_;
    std::vector<Saved> saved_;
};

// Vantry.exe running as a process of its own. Ended, with its Java children, when the object goes.
class RunningLauncher {
public:
    ~RunningLauncher() { Kill(); }

    // flags: CreateProcess's; DETACHED_PROCESS starts it as a desktop does, with no console handed down.
    bool Start(const std::string& exe, const std::string& directory, DWORD flags = 0,
               const std::string& arguments = "");
    bool Running() const;
    // Waits for the end of the process; its exit code, or STILL_ACTIVE when it did not end.
    DWORD WaitForExit(DWORD milliseconds) const;
    // TerminateProcess on the launcher and on every java.exe it started.
    void Kill();

    // Waits until such a window is shown: a dialog is shown once its controls are filled in.
    HWND WaitForWindow(const char* title, DWORD milliseconds) const;
    // A shown popup menu of this process (class #32768).
    HWND WaitForPopupMenu(DWORD milliseconds) const;
    // The console dialog (see FindConsole).
    HWND Console(DWORD milliseconds = 30000);
    std::string ConsoleText();
    bool WaitForText(const std::string& text, DWORD milliseconds);
    bool WaitUntilReady(DWORD milliseconds); // "Go to Vantry" enabled
    bool ControlEnabled(int id);

    // A user's click on a control of one of the program's windows (BM_CLICK, sent).
    static void Click(HWND window, int id);
    static bool TypeText(HWND edit, const std::string& text); // WM_SETTEXT, as typing would leave it

    // The java.exe processes this launcher started that are still alive.
    std::vector<DWORD> JavaChildren() const;
    DWORD ProcessId() const { return process_.Id(); }

private:
    ChildProcess process_;
    HWND console_ = nullptr;
};
