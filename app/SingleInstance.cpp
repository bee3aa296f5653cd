#include "app/SingleInstance.h"

#include "framework/Handle.h"
#include "framework/Paths.h"
#include "framework/Text.h"
#include "framework/User32.h"
#include "java/Settings.h"
#include "res/resource.h"
#include "ui/TrayZoom.h"

#include <sddl.h>

#include <cstring>

namespace {

// What the holder tells later starts. Fixed-size fields: the 32-bit and the 64-bit launcher of one
// installation read each other's (window handles are 32-bit values in both).
struct SharedState {
    volatile LONG processId;
    volatile LONG window;
    volatile LONG ending;
};

constexpr DWORD kWindowWaitMilliseconds = 5000; // a holder still starting has no console yet
// Beyond its stop timeout, what a holder that is ending may take to go.
constexpr DWORD kEndingWaitMilliseconds = 5000;
constexpr DWORD kPollMilliseconds = 20;
constexpr DWORD kShowMilliseconds = 700; // the later start ends within a second however the holder answers
constexpr LRESULT kShown = 1;            // the holder's answer when it showed its console

Handle claim; // held until the process ends: its end is what a waiting start sees
Handle mapping;
SharedState* shared = nullptr;

UINT ShowMessage()
{
    static const UINT message = RegisterWindowMessageA("VantryShowConsole");
    return message;
}

bool ObjectNames(char* mutexName, size_t mutexSize, char* mappingName, size_t mappingSize)
{
    char name[64] = "Local\\Vantry.";
    if (!InstallationHash(name + std::strlen(name), sizeof name - std::strlen(name))) return false;
    CopyText(mutexName, mutexSize, name);
    CopyText(mappingName, mappingSize, name);
    return AppendText(mappingName, mappingSize, ".console") != 0;
}

// Access for this user and the system only. With the default rights a launcher run elevated would
// make objects that the same user's ordinary launcher cannot open, and could not be found.
class UserOnlySecurity {
public:
    UserOnlySecurity()
    {
        Handle token;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Out())) return;
        char buffer[256];
        DWORD size = 0;
        if (!GetTokenInformation(token.Get(), TokenUser, buffer, sizeof buffer, &size)) return;
        char* sid = nullptr;
        if (!ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &sid)) return;
        char sddl[256];
        CopyText(sddl, "D:(A;;GA;;;");
        bool whole = AppendText(sddl, sid) && AppendText(sddl, ")(A;;GA;;;SY)");
        LocalFree(sid);
        if (whole) ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor_, nullptr);
        attributes_ = { sizeof attributes_, descriptor_, FALSE };
    }
    ~UserOnlySecurity()
    {
        if (descriptor_) LocalFree(descriptor_);
    }
    UserOnlySecurity(const UserOnlySecurity&) = delete;
    UserOnlySecurity& operator=(const UserOnlySecurity&) = delete;
    SECURITY_ATTRIBUTES* Get() { return descriptor_ ? &attributes_ : nullptr; }

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
    SECURITY_ATTRIBUTES attributes_ = {};
};

// This launcher now holds the claim: later starts will find its console here.
int Hold(const char* mappingName, SECURITY_ATTRIBUTES* security)
{
    mapping.Reset(
        CreateFileMappingA(INVALID_HANDLE_VALUE, security, PAGE_READWRITE, 0, sizeof(SharedState), mappingName));
    if (mapping) shared = static_cast<SharedState*>(MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, 0));
    if (shared) {
        // The mapping may be an ended holder's that a reader still has open: all of it is written anew.
        InterlockedExchange(&shared->window, 0);
        InterlockedExchange(&shared->ending, 0);
        InterlockedExchange(&shared->processId, static_cast<LONG>(GetCurrentProcessId()));
    }
    return 1;
}

bool ReadState(const char* mappingName, SharedState& state)
{
    Handle opened(OpenFileMappingA(FILE_MAP_READ, FALSE, mappingName));
    if (!opened) return false;
    void* view = MapViewOfFile(opened.Get(), FILE_MAP_READ, 0, 0, sizeof(SharedState));
    if (!view) return false;
    const SharedState* seen = static_cast<const SharedState*>(view);
    state.processId = seen->processId;
    state.window = seen->window;
    state.ending = seen->ending;
    UnmapViewOfFile(view);
    return true;
}

// The holder's console, when it is a window of the holder (a handle can be reused once a window is gone).
HWND HolderConsole(const SharedState& state)
{
    HWND window = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(static_cast<ULONG>(state.window)));
    DWORD owner = 0;
    if (!window || !GetWindowThreadProcessId(window, &owner) || owner != static_cast<DWORD>(state.processId))
        return nullptr;
    return window;
}

// True when the holder showed its console. A holder that began to end meanwhile does not (it would
// show a console that is going away): the caller then waits for its end instead.
bool HandOver(HWND console, DWORD processId, LaunchRequest request)
{
    // This start came from the user and may take the foreground: it lends that right to the holder.
    AllowSetForegroundWindow(processId);
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(console, ShowMessage(), static_cast<WPARAM>(request), 0, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                               kShowMilliseconds, &result) &&
           result == kShown;
}

bool Acquired(DWORD waited) { return waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED; }

} // namespace

// The installation's objects are named after this program's folder, hashed as the output's folder
// is (HomeKey: its long form, in capitals, so any spelling of one home is one installation).
bool InstallationHash(char* hash, size_t size)
{
    char module[1024];
    DWORD length = GetModuleFileNameA(nullptr, module, sizeof module);
    if (length == 0 || length >= sizeof module || size < 17) return false;
    char* separator = std::strrchr(module, '\\');
    if (!separator) return false;
    *separator = '\0';
    HomeKey(module, hash, size);
    return true;
}

int ClaimInstallation(LaunchRequest request)
{
    char mutexName[64], mappingName[80];
    if (!ObjectNames(mutexName, sizeof mutexName, mappingName, sizeof mappingName)) return 1;
    UserOnlySecurity security;
    claim.Reset(CreateMutexA(security.Get(), FALSE, mutexName));
    if (!claim) claim.Reset(OpenMutexA(SYNCHRONIZE, FALSE, mutexName)); // made with rights we lack
    if (!claim) return 1;                                               // nothing to claim with: start as always

    // An ended holder leaves the mutex abandoned, which counts as free.
    const DWORD start = GetTickCount();
    for (DWORD waited = WaitForSingleObject(claim.Get(), 0); !Acquired(waited);
         waited = WaitForSingleObject(claim.Get(), kPollMilliseconds)) {
        SharedState state = {};
        if (ReadState(mappingName, state)) {
            if (state.ending) {
                if (Acquired(WaitForSingleObject(claim.Get(), ReadStopTimeout() + kEndingWaitMilliseconds))) break;
                claim.Reset(); // it does not end: start all the same, unclaimed
                return 1;
            }
            HWND console = HolderConsole(state);
            if (console && HandOver(console, static_cast<DWORD>(state.processId), request)) {
                claim.Reset();
                return 0;
            }
        }
        if (GetTickCount() - start >= kWindowWaitMilliseconds) {
            claim.Reset(); // a holder that shows no console: it is not started a second time
            return 0;
        }
    }
    return Hold(mappingName, security.Get());
}

int ExitInstallation(DWORD waitMilliseconds)
{
    char mutexName[64], mappingName[80];
    if (!ObjectNames(mutexName, sizeof mutexName, mappingName, sizeof mappingName)) return 1;
    // Only to wait on: a launcher made the mutex, or none runs.
    Handle running(OpenMutexA(SYNCHRONIZE, FALSE, mutexName));
    if (!running) return 0;
    const DWORD start = GetTickCount();
    bool asked = false;
    for (;;) {
        DWORD waited = WaitForSingleObject(running.Get(), asked ? 100 : kPollMilliseconds);
        if (Acquired(waited)) {
            ReleaseMutex(running.Get());
            return 0;
        }
        if (GetTickCount() - start >= waitMilliseconds) return 1;
        // A holder still starting has no console yet; one that is ending needs no asking.
        SharedState state = {};
        if (!asked && ReadState(mappingName, state) && !state.ending) {
            HWND console = HolderConsole(state);
            if (console) asked = HandOver(console, static_cast<DWORD>(state.processId), LaunchRequest::Exit);
        }
    }
}

void PublishConsole(HWND console)
{
    if (!shared) return;
    // An elevated launcher would not hear an ordinary start's request otherwise.
    auto filter = User32Function<BOOL(WINAPI*)(HWND, UINT, DWORD, PCHANGEFILTERSTRUCT)>("ChangeWindowMessageFilterEx");
    if (filter && ShowMessage()) filter(console, ShowMessage(), MSGFLT_ALLOW, nullptr);
    InterlockedExchange(&shared->window, static_cast<LONG>(reinterpret_cast<ULONG_PTR>(console)));
}

void InstallationEnding()
{
    if (shared) InterlockedExchange(&shared->ending, 1);
}

LRESULT OnInstanceMessage(HWND console, UINT message, WPARAM request)
{
    if (message == 0 || message != ShowMessage()) return 0;
    if (shared && shared->ending) return 0; // the later start waits for this launcher's end
    // Posted: the requester is answered at once, and the command runs as the menu's would.
    switch (static_cast<LaunchRequest>(request)) {
    case LaunchRequest::Exit: return PostMessageA(console, WM_COMMAND, ID_TRAY_EXIT, 0) ? kShown : 0;
    case LaunchRequest::Restart: return PostMessageA(console, WM_COMMAND, ID_TRAY_RESTART, 0) ? kShown : 0;
    default: break;
    }
    if (!IsWindowVisible(console)) ShowConsole(console); // out of the tray, with the usual zoom
    if (IsIconic(console)) ShowWindow(console, SW_RESTORE);
    // A modal dialog of the launcher (the Java path dialog) is what the user must see first.
    SetForegroundWindow(GetLastActivePopup(console));
    return kShown;
}
