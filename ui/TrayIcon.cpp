#include "ui/TrayIcon.h"

#include "framework/Text.h"
#include "framework/User32.h"
#include "framework/Wnd.h"
#include "res/resource.h"
#include "ui/Messages.h"
#include "ui/TrayPlatform.h"

namespace {

constexpr UINT kTrayIconId = 1;
constexpr UINT kAnimationMilliseconds = 500;
// The smallest record that carries a balloon, which every shell since Windows 2000 takes; the larger
// forms add only what the launcher does not use (a GUID, a balloon's own icon).
constexpr DWORD kBalloonRecordSize = NOTIFYICONDATAA_V2_SIZE;

// At the size the system asks for, so that nothing is stretched from another size.
HICON LoadIconSized(int iconId, int widthMetric, int heightMetric)
{
    return static_cast<HICON>(LoadImageA(AfxGetResourceHandle(), MAKEINTRESOURCEA(iconId), IMAGE_ICON,
                                         GetSystemMetrics(widthMetric), GetSystemMetrics(heightMetric),
                                         LR_DEFAULTCOLOR));
}

bool ControlHeld() { return (GetKeyState(VK_LCONTROL) & 0x8000) || (GetKeyState(VK_RCONTROL) & 0x8000); }

} // namespace

TrayPlatform SystemTrayPlatform()
{
    // Systems before Windows 7 lack the filter.
    return { &Shell_NotifyIconA,
             User32Function<decltype(TrayPlatform::changeMessageFilter)>("ChangeWindowMessageFilterEx") };
}

TrayPlatform trayPlatform = SystemTrayPlatform();

TrayIcon::TrayIcon(Owner& owner) : owner_(owner)
{
    CopyText(trayTip, "Vantry");
    for (int i = 0; i < kIcons; ++i) {
        small_[i].Reset(LoadIconSized(IDI_READY + i, SM_CXSMICON, SM_CYSMICON));
        big_[i].Reset(LoadIconSized(IDI_READY + i, SM_CXICON, SM_CYICON));
    }
    busyIcons[0] = SmallIcon(IDI_BUSY1);
    busyIcons[1] = SmallIcon(IDI_BUSY2);
    busyIcons[2] = SmallIcon(IDI_BUSY3);
}

TrayIcon::~TrayIcon()
{
    if (!window_ || !IsWindow(window_)) return;
    Remove();
    SendMessageA(window_, WM_SETICON, ICON_BIG, 0);
    SendMessageA(window_, WM_SETICON, ICON_SMALL, 0);
}

HICON TrayIcon::SmallIcon(int iconId) const
{
    return iconId >= IDI_READY && iconId < IDI_READY + kIcons ? small_[iconId - IDI_READY].Get() : nullptr;
}

HICON TrayIcon::BigIcon(int iconId) const
{
    return iconId >= IDI_READY && iconId < IDI_READY + kIcons ? big_[iconId - IDI_READY].Get() : nullptr;
}

void TrayIcon::Attach(HWND window)
{
    window_ = window;
    taskbarCreatedMessage_ = RegisterWindowMessageA("TaskbarCreated");
    // Run elevated, the launcher would not hear Explorer's broadcast otherwise, and its icon would be
    // lost when Explorer restarts. Unelevated, letting it through changes nothing.
    if (taskbarCreatedMessage_ && trayPlatform.changeMessageFilter)
        trayPlatform.changeMessageFilter(window, taskbarCreatedMessage_, MSGFLT_ALLOW, nullptr);
}

BOOL TrayIcon::Notify(DWORD operation, UINT id, HICON icon, const char* tip, const char* balloon)
{
    NOTIFYICONDATAA data = {};
    data.cbSize = kBalloonRecordSize;
    data.hWnd = window_;
    data.uID = id;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = WM_TRAY_NOTIFY;
    data.hIcon = icon;
    lstrcpynA(data.szTip, tip ? tip : "", 64);
    // A text that does not fit is not shown cut.
    if (balloon && CopyText(data.szInfo, balloon) && CopyText(data.szInfoTitle, "Vantry")) {
        data.uFlags |= NIF_INFO;
        data.dwInfoFlags = NIIF_INFO;
    }
    return trayPlatform.notifyIcon(operation, &data);
}

// Sets the window's big icon and shows the same icon in the tray.
void TrayIcon::SetIcon(int iconId, State state)
{
    SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(BigIcon(iconId)));
    if (state_ == State::Absent) return; // a removed icon stays removed
    state_ = state;
    stateIcon_ = iconId;
    if (shown_) Notify(NIM_MODIFY, kTrayIconId, ShownIcon(), trayTip);
}

// The icon for the tray in the current state: the state's icon, or the animation's frame.
HICON TrayIcon::ShownIcon() const
{
    if (state_ == State::Busy && animFrame >= 0) return busyIcons[animFrame];
    return SmallIcon(stateIcon_);
}

void TrayIcon::ShowBalloon(const char* line, const char* nextLine)
{
    if (!shown_) return;
    char text[sizeof(NOTIFYICONDATAA::szInfo)] = "";
    CopyText(text, line);
    if (nextLine && *nextLine) {
        char whole[sizeof text];
        CopyText(whole, text);
        if (AppendText(whole, "\n") && AppendText(whole, nextLine)) CopyText(text, whole);
    }
    Notify(NIM_MODIFY, kTrayIconId, ShownIcon(), trayTip, text);
}

// The icon is handed to the shell from the message loop, just after the start: the shell answers
// slowly, and the console need not wait for it. Until then the state changes without it.
void TrayIcon::Busy()
{
    const bool added = state_ != State::Absent; // a restart's: the icon is there
    state_ = State::Busy;
    SetIcon(IDI_BUSY1, State::Busy);
    StartAnimation();
    if (!added) PostMessageA(window_, WM_TRAY_ADD, 0, 0);
}

void TrayIcon::Ready()
{
    StopAnimation();
    SetIcon(IDI_READY, State::Ready);
}

void TrayIcon::Stopped()
{
    StopAnimation();
    SetIcon(IDI_STOPPED, State::Stopped);
}

void TrayIcon::Remove()
{
    StopAnimation();
    KillTimer(window_, ADD_TIMER_ID);
    if (shown_ || maybeAdded_) Notify(NIM_DELETE, kTrayIconId, nullptr, nullptr);
    shown_ = maybeAdded_ = retrying_ = false;
    state_ = State::Absent;
}

UINT TrayIcon::AddRetryMilliseconds(DWORD sinceFirstFailure) { return sinceFirstFailure < 60000 ? 2000 : 10000; }

// At start, when Explorer was restarted (its new taskbar knows no icons), and on the retry timer: the
// icon is added as it stands now. At log-on the taskbar is often not there yet, or too busy to answer
// in time, and with "Hide on startup" the icon is the user's only way in: a failed add is tried again
// until it holds.
void TrayIcon::OnAdd()
{
    KillTimer(window_, ADD_TIMER_ID);
    if (state_ == State::Absent || shown_) return;
    // An add that timed out may have reached the shell: then the icon is changed, not added twice.
    bool added = maybeAdded_ && Notify(NIM_MODIFY, kTrayIconId, ShownIcon(), trayTip);
    if (!added) {
        SetLastError(ERROR_SUCCESS);
        added = Notify(NIM_ADD, kTrayIconId, ShownIcon(), trayTip) != FALSE;
        if (!added && GetLastError() == ERROR_TIMEOUT) maybeAdded_ = true;
    }
    shown_ = added;
    if (added) {
        maybeAdded_ = retrying_ = false;
        return;
    }
    if (!retrying_) retrySince_ = GetTickCount();
    retrying_ = true;
    SetTimer(window_, ADD_TIMER_ID, AddRetryMilliseconds(GetTickCount() - retrySince_), nullptr);
}

void TrayIcon::OnBroadcast(UINT message)
{
    if (message != taskbarCreatedMessage_ || message == 0) return;
    shown_ = maybeAdded_ = retrying_ = false;
    OnAdd();
}

void TrayIcon::StartAnimation()
{
    animFrame = 0;
    SetTimer(window_, ANIMATION_TIMER_ID, kAnimationMilliseconds, nullptr);
}

void TrayIcon::StopAnimation()
{
    KillTimer(window_, ANIMATION_TIMER_ID);
    animFrame = -1;
}

void TrayIcon::AdvanceAnimation()
{
    if (animFrame == -1) return; // a tick that was queued before the animation stopped
    animFrame = (animFrame + 1) % 3;
    if (shown_) Notify(NIM_MODIFY, kTrayIconId, busyIcons[animFrame], trayTip);
}

void TrayIcon::OnNotify(UINT mouseMessage)
{
    switch (mouseMessage) {
    case WM_LBUTTONDOWN:
        if (!ControlHeld()) owner_.OpenConsole();
        else if (owner_.IsGotoEnabled()) owner_.OpenApplication();
        break;
    case WM_RBUTTONDOWN: ShowMenu(); break;
    case NIN_BALLOONUSERCLICK: owner_.OpenConsole(); break;
    default: break;
    }
}

void TrayIcon::ShowMenu()
{
    HMENU menu = LoadMenuA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_TRAY_MENU));
    if (!menu) return;
    if (owner_.IsServerReady()) EnableMenuItem(menu, ID_TRAY_GOTO, MF_BYCOMMAND | MF_ENABLED);
    if (owner_.CanRestart()) EnableMenuItem(menu, ID_TRAY_RESTART, MF_BYCOMMAND | MF_ENABLED);
    if (owner_.StartsWithWindows()) CheckMenuItem(menu, ID_TRAY_AUTOSTART, MF_BYCOMMAND | MF_CHECKED);
    HMENU popup = GetSubMenu(menu, 0);
    POINT cursor = {};
    GetCursorPos(&cursor);
    // Without the foreground the menu would not close when the user clicks elsewhere.
    SetForegroundWindow(window_);
    // Its commands come to the window as WM_COMMAND, through the window's message map.
    TrackPopupMenu(popup, TPM_RIGHTBUTTON | TPM_LEFTALIGN, cursor.x, cursor.y, 0, window_, nullptr);
    PostMessageA(window_, WM_NULL, 0, 0); // lets the menu's loop finish before the next click reaches the icon
    DestroyMenu(menu);
}
