// What the tests share beyond the kit: paths of the child programs, seams overridden for a test's
// length, a window that counts posted messages, and a private registry.
#pragma once
#include "children/Numbered.h" // NumberedText: the lines test_child's big:N writes
#include "framework/Wnd.h"
#include "kit/Files.h"
#include "kit/Ports.h"
#include "kit/Processes.h"
#include "kit/Waits.h"
#include "ui/TrayPlatform.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

std::string TestBinDir();              // the folder of the running test program, no trailing backslash
std::string TestChildPath();           // the console child program
std::string TestWindowPath();          // the windowed child program
std::string TestOpenerPath();          // the stand-in browser and viewer
std::string BuildDir();                // the build folder (Vantry.exe, demo/), from VANTRY_BUILD_DIR
std::string TempDir(const char* name); // a fresh empty folder of this test program under the temp folder

// Puts value into a seam (a member of one of the program's platform structs, or a whole struct)
// while the object lives, and what was there before back when it goes: no test restores a seam by
// hand. As a fixture's member it is in place from before SetUp until after the test's objects
// declared after it are gone.
//   ScopedOverride open{ shellPlatform.open, &RecordOpen };
template <typename T> class ScopedOverride {
public:
    template <typename U> ScopedOverride(T& seam, U value) : seam_(seam), saved_(seam) { seam_ = value; }
    ~ScopedOverride() { seam_ = saved_; }
    ScopedOverride(const ScopedOverride&) = delete;
    ScopedOverride& operator=(const ScopedOverride&) = delete;

private:
    T& seam_;
    T saved_;
};
template <typename T, typename U> ScopedOverride(T&, U) -> ScopedOverride<T>;

// Every test starts with this as the launcher's way to end the process: a launcher that reaches its
// exit in a test that did not expect it fails that test, instead of ending the test program with
// status 0 (which would pass).
void EndProcessFails(int status);

// A named event that test_child's wait:NAME step waits for: the test, not a race of sleeps, decides
// when the child goes on.
class ChildGate {
public:
    ChildGate();
    ~ChildGate();
    ChildGate(const ChildGate&) = delete;
    ChildGate& operator=(const ChildGate&) = delete;
    const std::string& Name() const { return name_; }
    std::string Step() const { return "wait:" + name_; }
    void Open() const { SetEvent(event_); }

private:
    std::string name_;
    HANDLE event_ = nullptr;
};

// How long a runner's watcher may still wait for an ended child's last output: a duplicate end
// notification would come within this time.
constexpr DWORD kRunnerDrainMilliseconds = 2000;

// A hidden window of the test's thread that counts the messages posted to it.
class MessageWindow : public CWnd {
public:
    MessageWindow();
    ~MessageWindow() override;
    int Count(UINT message) const;
    bool WaitFor(UINT message, int count, DWORD milliseconds);

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    std::map<UINT, int> counts_;
};

// HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER of this process point at private, empty keys while the
// object lives. Neither has the 32-bit view's redirection: both views see the same keys there.
class RegistrySandbox {
public:
    RegistrySandbox();
    ~RegistrySandbox();
    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;

private:
    std::string path_;
    HKEY machine_ = nullptr;
    HKEY user_ = nullptr;
};

// Makes the key (root\path, in the given view) and takes from everyone the right to write values or
// make subkeys in it, as a user without administrator rights finds a machine's key. Reading and
// deleting it stay allowed. Wine checks these rights when the key is opened.
bool DenyWrites(HKEY root, const char* path, REGSAM view);

// The stand-in java.exe of the demo installation.
std::string StandinJavaPath();
// A fresh home directory for the Java programs: tomcat\conf\vantry-port.txt naming port, and a
// config folder unless withConfig is false.
std::string MakeServerHome(const char* name, int port, bool withConfig = true);
// A Java installation at folder: folder\bin\java.exe, the stand-in runtime; returns that path.
std::string MakeJava(const std::string& folder);

// Takes the shell's place for the tray while it lives: keeps every record the launcher hands over
// and answers as told.
class TrayRecorder {
public:
    struct Call {
        DWORD operation;
        NOTIFYICONDATAA data; // as much of it as the record's size says, the rest zero
        DWORD when;
    };
    TrayRecorder();
    ~TrayRecorder();
    TrayRecorder(const TrayRecorder&) = delete;
    TrayRecorder& operator=(const TrayRecorder&) = delete;

    // The balloons shown, each as "title|text".
    std::vector<std::string> Balloons() const;

    std::vector<Call> calls;
    // How the next adds fail, one each: with ERROR_TIMEOUT the shell still took the icon, as a shell
    // too busy to answer in time may. Like a shell, an add of an icon it has and a change or removal
    // of one it has not fail.
    std::vector<DWORD> addErrors;
    bool iconThere = false;

private:
    static BOOL WINAPI Record(DWORD operation, PNOTIFYICONDATAA data);
    static TrayRecorder* current_;
    decltype(TrayPlatform::notifyIcon) saved_;
};
