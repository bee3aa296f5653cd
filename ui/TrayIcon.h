// The notification-area icon of one window: its states, the busy animation, clicks, the menu, and
// its return when Explorer makes its taskbar anew. The window hands on each message about the tray
// with one call, and the tray asks the window for what it needs through TrayIcon::Owner, never
// knowing its type. Window's thread only.
#pragma once
#include "framework/Handle.h"

#include <windows.h>

class TrayIcon {
public:
    // What the tray needs of its window.
    class Owner {
    public:
        virtual void OpenConsole() = 0;             // a click on the icon: show the console
        virtual void OpenApplication() = 0;         // Ctrl+click: open the application in the browser
        virtual bool IsGotoEnabled() const = 0;     // Ctrl+click opens the application only then
        virtual bool IsServerReady() const = 0;     // the menu offers "Go to Vantry" only then
        virtual bool CanRestart() const = 0;        // the menu offers "Restart server" only then
        virtual bool StartsWithWindows() const = 0; // the menu's "Start with Windows" is checked

    protected:
        ~Owner() = default;
    };

    static constexpr UINT_PTR ANIMATION_TIMER_ID = 200; // the window's timer of the animation
    static constexpr UINT_PTR ADD_TIMER_ID = 202;       // the window's timer of a failed add's retry
    // Every 2 s for the first minute after the first failed add, then every 10 s.
    static UINT AddRetryMilliseconds(DWORD sinceFirstFailure);

    explicit TrayIcon(Owner& owner);
    // Takes the icon from the shell while the window is still there, and the window's icons before
    // they are destroyed.
    ~TrayIcon();
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // Once the window exists: the window's messages about the tray come from here on.
    void Attach(HWND window);

    // The states. The first Busy also hands the icon to the shell, from the message loop (WM_TRAY_ADD).
    void Busy();
    void Ready();
    void Stopped();
    void Remove(); // a removed icon stays removed

    // A balloon over the icon, titled "Vantry": the line, then the next line when the whole text fits
    // the record (a line cut short, an address above all, would mislead). None while the icon is not
    // in the shell.
    void ShowBalloon(const char* line, const char* nextLine);

    // The one place the record is made; with a balloon's text, the record carries the balloon.
    BOOL Notify(DWORD operation, UINT id, HICON icon, const char* tip, const char* balloon = nullptr);
    void StartAnimation();
    void StopAnimation();
    void AdvanceAnimation();          // WM_TIMER of the animation
    void OnNotify(UINT mouseMessage); // WM_TRAY_NOTIFY: the mouse on the icon, or a click on its balloon
    void ShowMenu();
    void OnAdd();                   // WM_TRAY_ADD, and the add's retry timer
    void OnBroadcast(UINT message); // any other message: "TaskbarCreated" adds the icon anew

    // The five icons, each loaded once at the size the system asks for: the small one for the tray
    // and the window's caption, the big one for the window's Alt+Tab and taskbar picture.
    HICON SmallIcon(int iconId) const;
    HICON BigIcon(int iconId) const;

    int animFrame = -1; // the busy frame shown, -1 when not animating
    HICON busyIcons[3] = {};
    char trayTip[20] = "";

private:
    enum class State { Absent, Busy, Ready, Stopped };
    void SetIcon(int iconId, State state);
    HICON ShownIcon() const;

    static constexpr int kIcons = 5; // IDI_READY to IDI_BUSY3, numbered in a row
    IconHandle small_[kIcons];
    IconHandle big_[kIcons];
    Owner& owner_;
    HWND window_ = nullptr;
    State state_ = State::Absent;
    int stateIcon_ = 0;       // the state's icon, shown in the tray when not animating
    bool shown_ = false;      // the shell has the icon
    bool maybeAdded_ = false; // an add timed out: the shell may have it
    bool retrying_ = false;   // an add failed; retried on the timer since retrySince_
    DWORD retrySince_ = 0;
    UINT taskbarCreatedMessage_ = 0; // the shell's broadcast when the taskbar is made anew
};
