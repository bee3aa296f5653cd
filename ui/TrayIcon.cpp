// The notification-area icon: its states, the busy animation, clicks and the menu.
#include "app/ConsoleDialog.h"

#include "app/Messages.h"
#include "res/resource.h"
#include "ui/TrayZoom.h"

namespace {

constexpr UINT kTrayIconId = 1;
constexpr UINT_PTR ANIMATION_TIMER_ID = 200;
constexpr UINT kAnimationMilliseconds = 500;

bool ControlHeld()
{
    return (GetKeyState(VK_LCONTROL) & 0x8000) || (GetKeyState(VK_RCONTROL) & 0x8000);
}

} // namespace

BOOL(WINAPI* ConsoleDialog::shellNotifyIcon)(DWORD, PNOTIFYICONDATAA) = &Shell_NotifyIconA;

// Looked up, not linked: systems before Windows 7 lack it, and the program must still start there.
ConsoleDialog::MessageFilterFunction ConsoleDialog::changeMessageFilter =
    reinterpret_cast<ConsoleDialog::MessageFilterFunction>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("user32.dll"), "ChangeWindowMessageFilterEx")));

BOOL ConsoleDialog::NotifyTray(DWORD operation, UINT id, HICON icon, const char* tip)
{
    NOTIFYICONDATAA data = {};
    data.cbSize = NOTIFYICONDATAA_V1_SIZE; // the first form of the record, known to every shell
    data.hWnd = m_hWnd;
    data.uID = id;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = WM_TRAY_NOTIFY;
    data.hIcon = icon;
    lstrcpynA(data.szTip, tip ? tip : "", sizeof data.szTip);
    return shellNotifyIcon(operation, &data);
}

// Sets the window's big icon and shows the same icon in the tray.
void ConsoleDialog::SetTrayIcon(int iconId, TrayState state)
{
    HICON icon = LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(iconId));
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    if (trayState == TrayState::Absent) return; // a removed icon stays removed
    trayState = state;
    if (trayShown) NotifyTray(NIM_MODIFY, kTrayIconId, ShownTrayIcon(), trayTip);
}

// The icon for the tray in the current state: the window's big icon, or the animation's frame.
HICON ConsoleDialog::ShownTrayIcon()
{
    if (trayState == TrayState::Busy && animFrame >= 0) return busyIcons[animFrame];
    return reinterpret_cast<HICON>(SendMessage(WM_GETICON, ICON_BIG, 0));
}

// The icon is handed to the shell from the message loop, just after the start: the shell answers
// slowly, and the console need not wait for it. Until then the state changes without it.
void ConsoleDialog::TrayBusy()
{
    trayState = TrayState::Busy;
    SetTrayIcon(IDI_BUSY1, TrayState::Busy);
    StartAnimation();
    PostMessage(WM_TRAY_ADD, 0, 0);
}

void ConsoleDialog::TrayReady()
{
    StopAnimation();
    SetTrayIcon(IDI_READY, TrayState::Ready);
}

void ConsoleDialog::TrayStopped()
{
    StopAnimation();
    SetTrayIcon(IDI_STOPPED, TrayState::Stopped);
}

void ConsoleDialog::TrayRemove()
{
    StopAnimation();
    if (trayShown) NotifyTray(NIM_DELETE, kTrayIconId, nullptr, nullptr);
    trayShown = false;
    trayState = TrayState::Absent;
}

// At start, and when Explorer was restarted (its new taskbar knows no icons): the icon is added
// as it stands now.
void ConsoleDialog::AddTrayIcon()
{
    if (trayState == TrayState::Absent) return;
    NotifyTray(NIM_ADD, kTrayIconId, ShownTrayIcon(), trayTip);
    trayShown = true;
}

void ConsoleDialog::StartAnimation()
{
    animFrame = 0;
    SetTimer(m_hWnd, ANIMATION_TIMER_ID, kAnimationMilliseconds, nullptr);
}

void ConsoleDialog::StopAnimation()
{
    KillTimer(m_hWnd, ANIMATION_TIMER_ID);
    animFrame = -1;
}

void ConsoleDialog::AdvanceAnimation()
{
    if (animFrame == -1) return; // a tick that was queued before the animation stopped
    animFrame = (animFrame + 1) % 3;
    if (trayShown) NotifyTray(NIM_MODIFY, kTrayIconId, busyIcons[animFrame], trayTip);
}

void ConsoleDialog::OnTrayNotify(UINT mouseMessage)
{
    switch (mouseMessage) {
    case WM_LBUTTONDOWN:
        if (!ControlHeld()) ShowConsole(m_hWnd);
        else if (gotoButton.IsWindowEnabled()) serverRunner.OpenApplicationUrl();
        break;
    case WM_RBUTTONDOWN:
        ShowTrayMenu();
        break;
    default:
        break;
    }
}

void ConsoleDialog::ShowTrayMenu()
{
    HMENU menu = LoadMenuA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_TRAY_MENU));
    if (!menu) return;
    if (serverReady == 1) EnableMenuItem(menu, ID_TRAY_GOTO, MF_BYCOMMAND | MF_ENABLED);
    HMENU popup = GetSubMenu(menu, 0);
    POINT cursor = {};
    GetCursorPos(&cursor);
    // Without the foreground the menu would not close when the user clicks elsewhere.
    SetForegroundWindow(m_hWnd);
    TrackPopupMenu(popup, TPM_RIGHTBUTTON | TPM_LEFTALIGN, cursor.x, cursor.y, 0, m_hWnd, nullptr);
    PostMessage(WM_NULL, 0, 0); // lets the menu's loop finish before the next click reaches the icon
    DestroyMenu(menu);
}
