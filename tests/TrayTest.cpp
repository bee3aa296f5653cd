// The tray icon: its states and animation, clicks, the menu, and a restarted taskbar.
#include "app/ConsoleDialog.h"
#include "ui/Messages.h"
#include "framework/Shell.h"
#include "framework/Text.h"
#include "kit/Files.h"
#include "res/resource.h"
#include "support/TestSupport.h"
#include "support/WholeConsole.h"
#include "ui/TrayPlatform.h"
#include "ui/TrayZoom.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::vector<std::string> opened;
void RecordOpen(const char* target) { opened.push_back(target); }

struct FilterCall {
    HWND window;
    UINT message;
    DWORD action;
};
std::vector<FilterCall> filterCalls;
BOOL WINAPI RecordFilter(HWND window, UINT message, DWORD action, PCHANGEFILTERSTRUCT)
{
    filterCalls.push_back({ window, message, action });
    return TRUE;
}

// The width of an icon's image, as drawn: what the system would stretch when it is not the size asked for.
int IconWidth(HICON icon)
{
    ICONINFO info = {};
    if (!icon || !GetIconInfo(icon, &info)) return 0;
    BITMAP bitmap = {};
    GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return bitmap.bmWidth;
}

// The colour image's bits: the same picture from the same resource at the same size.
std::string IconBits(HICON icon)
{
    ICONINFO info = {};
    if (!icon || !GetIconInfo(icon, &info)) return "";
    BITMAP bitmap = {};
    GetObjectA(info.hbmColor, sizeof bitmap, &bitmap);
    std::string bits(static_cast<size_t>(bitmap.bmWidthBytes) * bitmap.bmHeight, '\0');
    GetBitmapBits(info.hbmColor, static_cast<LONG>(bits.size()), &bits[0]);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return bits;
}

// Ctrl is the left or the right key; the combined VK_CONTROL state is set apart, to see that only
// the two keys count.
void SetControlKeys(bool left, bool right, bool either = false)
{
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_LCONTROL] = left ? 0x80 : 0;
    keys[VK_RCONTROL] = right ? 0x80 : 0;
    keys[VK_CONTROL] = either ? 0x80 : 0;
    SetKeyboardState(keys);
}

// The record in the form that carries balloons: 488 bytes in a 32-bit program, 504 in a 64-bit one.
constexpr DWORD kBalloonRecordSize = sizeof(void*) == 8 ? 504 : 488;

class TrayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        opened.clear();
        filterCalls.clear();
        ASSERT_TRUE(dialog.Create(IDD_CONSOLE, nullptr));
        SetControlKeys(false, false);
    }
    void TearDown() override
    {
        dialog.TrayRemove();
        SetControlKeys(false, false);
    }
    // The icon goes to the shell from the message loop: let it.
    void Busy()
    {
        dialog.TrayBusy();
        MSG msg;
        while (PeekMessageA(&msg, dialog.m_hWnd, WM_TRAY_ADD, WM_TRAY_ADD, PM_REMOVE)) DispatchMessageA(&msg);
    }
    HICON BigIcon() { return reinterpret_cast<HICON>(dialog.SendMessage(WM_GETICON, ICON_BIG, 0)); }
    HICON SmallIcon() { return reinterpret_cast<HICON>(dialog.SendMessage(WM_GETICON, ICON_SMALL, 0)); }
    void Tick() { dialog.SendMessage(WM_TIMER, 200, 0); }
    void Click(UINT mouse) { dialog.SendMessage(WM_TRAY_NOTIFY, 1, mouse); }

    HICON TrayImage(int id) { return dialog.tray.SmallIcon(id); }
    HICON WindowImage(int id) { return dialog.tray.BigIcon(id); }

    TrayRecorder shell;
    std::vector<TrayRecorder::Call>& trayCalls = shell.calls;
    ScopedOverride<decltype(trayPlatform.changeMessageFilter)> filter{ trayPlatform.changeMessageFilter,
                                                                       &RecordFilter };
    ScopedOverride<decltype(shellPlatform.open)> open{ shellPlatform.open, &RecordOpen };
    ConsoleDialog dialog;
};

TEST_F(TrayTest, BusyAnimatesThroughThreeFramesWhileTheWindowKeepsTheFirst)
{
    Busy();
    ASSERT_EQ(1u, trayCalls.size());
    const NOTIFYICONDATAA& added = trayCalls[0].data;
    EXPECT_EQ(static_cast<DWORD>(NIM_ADD), trayCalls[0].operation);
    EXPECT_EQ(kBalloonRecordSize, added.cbSize);
    EXPECT_EQ(dialog.m_hWnd, added.hWnd);
    EXPECT_EQ(1u, added.uID);
    EXPECT_EQ(static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP), added.uFlags);
    EXPECT_EQ(0x8064u, added.uCallbackMessage);
    EXPECT_EQ(TrayImage(IDI_BUSY1), added.hIcon);
    EXPECT_STREQ("Vantry", added.szTip);
    EXPECT_EQ(0, dialog.tray.animFrame);

    const int frames[] = { IDI_BUSY2, IDI_BUSY3, IDI_BUSY1, IDI_BUSY2 };
    for (int frame : frames) {
        Tick();
        EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), trayCalls.back().operation);
        EXPECT_EQ(TrayImage(frame), trayCalls.back().data.hIcon);
        EXPECT_STREQ("Vantry", trayCalls.back().data.szTip);
    }
    EXPECT_EQ(1, dialog.tray.animFrame);
    EXPECT_EQ(WindowImage(IDI_BUSY1), BigIcon());
    EXPECT_EQ(TrayImage(IDI_READY), SmallIcon());
}

TEST_F(TrayTest, TheShellGetsTheIconOnceTheLoopRunsInTheStateReachedByThen)
{
    dialog.TrayBusy();
    dialog.TrayStopped(); // Java was missing: decided before the message loop ran
    EXPECT_TRUE(trayCalls.empty());
    EXPECT_EQ(WindowImage(IDI_STOPPED), BigIcon());
    PumpFor(100);
    ASSERT_EQ(1u, trayCalls.size());
    EXPECT_EQ(static_cast<DWORD>(NIM_ADD), trayCalls[0].operation);
    EXPECT_EQ(TrayImage(IDI_STOPPED), trayCalls[0].data.hIcon);
    EXPECT_STREQ("Vantry", trayCalls[0].data.szTip);
}

TEST_F(TrayTest, TheTimerDrivesTheAnimationEveryHalfSecond)
{
    Busy();
    size_t before = trayCalls.size();
    PumpFor(3600);
    std::vector<DWORD> gaps;
    for (size_t i = before + 1; i < trayCalls.size(); ++i) gaps.push_back(trayCalls[i].when - trayCalls[i - 1].when);
    ASSERT_GE(gaps.size(), 2u) << "the animation hardly ran";
    std::sort(gaps.begin(), gaps.end());
    // A timer never comes early; on a busy machine it may come late, so the typical gap is what counts.
    EXPECT_GE(gaps.front(), 400u);
    EXPECT_LE(gaps[gaps.size() / 2], 800u);
}

TEST_F(TrayTest, ReadyAndStoppedSetTrayAndWindowAlikeAndLateTicksChangeNothing)
{
    Busy();
    dialog.TrayReady();
    EXPECT_EQ(-1, dialog.tray.animFrame);
    EXPECT_EQ(WindowImage(IDI_READY), BigIcon());
    EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), trayCalls.back().operation);
    EXPECT_EQ(TrayImage(IDI_READY), trayCalls.back().data.hIcon);
    size_t calls = trayCalls.size();
    Tick();
    EXPECT_EQ(calls, trayCalls.size());

    dialog.TrayStopped();
    EXPECT_EQ(WindowImage(IDI_STOPPED), BigIcon());
    EXPECT_EQ(TrayImage(IDI_STOPPED), trayCalls.back().data.hIcon);
    EXPECT_STREQ("Vantry", trayCalls.back().data.szTip);
    EXPECT_EQ(TrayImage(IDI_READY), SmallIcon());

    dialog.TrayRemove();
    EXPECT_EQ(static_cast<DWORD>(NIM_DELETE), trayCalls.back().operation);
    EXPECT_EQ(WindowImage(IDI_STOPPED), BigIcon()); // removal leaves the window's icons alone
    calls = trayCalls.size();
    Tick();
    EXPECT_EQ(calls, trayCalls.size());
}

TEST_F(TrayTest, ARestartedTaskbarGetsTheIconBackAsItStands)
{
    UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    // Let through the message filter when the window was made, so that an elevated launcher hears it.
    ASSERT_EQ(1u, filterCalls.size());
    EXPECT_EQ(dialog.m_hWnd, filterCalls[0].window);
    EXPECT_EQ(taskbarCreated, filterCalls[0].message);
    EXPECT_EQ(static_cast<DWORD>(MSGFLT_ALLOW), filterCalls[0].action);
    // The system's filter is found by name at run time: a wrong name would leave it out in silence.
    EXPECT_NE(nullptr, SystemTrayPlatform().changeMessageFilter);

    Busy();
    Tick();
    dialog.SendMessage(taskbarCreated);
    EXPECT_EQ(static_cast<DWORD>(NIM_ADD), trayCalls.back().operation);
    EXPECT_EQ(TrayImage(IDI_BUSY2), trayCalls.back().data.hIcon);

    dialog.TrayReady();
    dialog.SendMessage(taskbarCreated);
    EXPECT_EQ(static_cast<DWORD>(NIM_ADD), trayCalls.back().operation);
    EXPECT_EQ(TrayImage(IDI_READY), trayCalls.back().data.hIcon);

    dialog.TrayRemove();
    size_t calls = trayCalls.size();
    dialog.SendMessage(taskbarCreated); // removed on exit: stays removed
    EXPECT_EQ(calls, trayCalls.size());
}

TEST_F(TrayTest, PlainClickShowsTheConsoleAndCtrlClickOpensTheApplicationOnlyWhenReady)
{
    Busy();
    ASSERT_FALSE(dialog.IsWindowVisible());

    SetControlKeys(true, false);
    Click(WM_LBUTTONDOWN); // "Go to Vantry" is disabled: nothing at all
    EXPECT_TRUE(opened.empty());
    EXPECT_FALSE(dialog.IsWindowVisible());

    dialog.gotoButton.EnableWindow(TRUE);
    Click(WM_LBUTTONDOWN);
    SetControlKeys(false, true);
    Click(WM_LBUTTONDOWN);
    ASSERT_EQ(2u, opened.size());
    EXPECT_EQ("http://localhost/Vantry", opened[0]);
    EXPECT_FALSE(dialog.IsWindowVisible()); // unlike the button, the console is left as it was

    SetControlKeys(false, false, true); // only the combined state: not Ctrl as the icon counts it
    Click(WM_LBUTTONDOWN);
    EXPECT_EQ(2u, opened.size());
    EXPECT_TRUE(dialog.IsWindowVisible());
    dialog.ShowWindow(SW_HIDE);

    SetControlKeys(false, false);
    Click(WM_LBUTTONUP);
    Click(WM_LBUTTONDBLCLK);
    Click(WM_MOUSEMOVE);
    EXPECT_FALSE(dialog.IsWindowVisible());
    Click(WM_LBUTTONDOWN);
    EXPECT_TRUE(dialog.IsWindowVisible());
    Click(WM_LBUTTONDOWN); // already visible: shown and brought to the front again
    EXPECT_TRUE(dialog.IsWindowVisible());
}

// Both are drawn from the icon's resource at the size the system asks for, so nothing is stretched.
TEST_F(TrayTest, TheTrayShowsEachStatesOwnImageAtTheSmallSizeTheSystemAsksFor)
{
    const int small = GetSystemMetrics(SM_CXSMICON);
    Busy();
    Tick();
    Tick();
    dialog.TrayReady();
    dialog.TrayStopped();
    ASSERT_EQ(5u, trayCalls.size());
    const int shown[] = { IDI_BUSY1, IDI_BUSY2, IDI_BUSY3, IDI_READY, IDI_STOPPED };
    for (size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(shown[i]);
        HICON icon = trayCalls[i].data.hIcon;
        EXPECT_EQ(small, IconWidth(icon));
        HICON resource = static_cast<HICON>(
            LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(shown[i]), IMAGE_ICON, small, small, 0));
        EXPECT_EQ(IconBits(resource), IconBits(icon));
        DestroyIcon(resource);
    }
}

// A balloon is the icon's own record, as it stands, with the text added; a text too long for the
// record loses its second line whole rather than showing a cut address.
TEST_F(TrayTest, ABalloonRidesOnTheIconsRecordWithItsTextWholeOrItsFirstLineAlone)
{
    Busy();
    dialog.tray.ShowBalloon("Vantry is ready.", "http://localhost:8080/Vantry");
    const NOTIFYICONDATAA& shown = trayCalls.back().data;
    EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), trayCalls.back().operation);
    EXPECT_EQ(kBalloonRecordSize, shown.cbSize);
    EXPECT_EQ(static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO), shown.uFlags);
    EXPECT_EQ(TrayImage(IDI_BUSY1), shown.hIcon);
    EXPECT_STREQ("Vantry", shown.szTip);
    EXPECT_STREQ("Vantry", shown.szInfoTitle);
    EXPECT_STREQ("Vantry is ready.\nhttp://localhost:8080/Vantry", shown.szInfo);
    Tick();
    EXPECT_FALSE(trayCalls.back().data.uFlags & NIF_INFO); // the animation does not show it again

    const std::string fits = "http://" + std::string(255 - 17 - 7, 'a'); // with its first line, 255 bytes
    const std::string longest = "http://" + std::string(992, 'a');       // the longest address taken
    for (const std::string& address : { fits, fits + "a", longest }) {
        dialog.tray.ShowBalloon("Vantry is ready.", address.c_str());
        std::string expected = address == fits ? "Vantry is ready.\n" + fits : "Vantry is ready.";
        EXPECT_EQ(expected, std::string(trayCalls.back().data.szInfo)) << address.size();
    }
}

// At log-on the taskbar may not be there yet (the add fails) or answer too late (it times out, and
// may have taken the icon): the add is tried again on its timer until the icon is there, once, in
// the state reached by then.
TEST_F(TrayTest, AFailedAddIsTriedAgainOnItsTimerUntilTheIconIsThereOnceInItsCurrentState)
{
    const struct {
        std::vector<DWORD> errors;
        std::vector<DWORD> asked; // of the shell, in order
    } cases[] = { { { ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND }, { NIM_ADD, NIM_ADD, NIM_ADD } },
                  { { ERROR_FILE_NOT_FOUND, ERROR_TIMEOUT }, { NIM_ADD, NIM_ADD, NIM_MODIFY } } };
    for (const auto& c : cases) {
        dialog.TrayRemove();
        trayCalls.clear();
        shell.addErrors = c.errors;
        Busy();
        dialog.TrayReady(); // while the shell has no icon
        // The first retry comes by itself, from the window's timer; the rest are hurried.
        ASSERT_TRUE(WaitUntil([&] { return trayCalls.size() == 2; }, 20000));
        for (int i = 0; i < 3; ++i) dialog.SendMessage(WM_TIMER, TrayIcon::ADD_TIMER_ID, 0);
        std::vector<DWORD> asked;
        for (const auto& call : trayCalls) asked.push_back(call.operation);
        EXPECT_EQ(c.asked, asked);
        EXPECT_EQ(TrayImage(IDI_READY), trayCalls.back().data.hIcon);
        EXPECT_TRUE(shell.iconThere);
    }
    for (DWORD since : { 0, 59999 }) EXPECT_EQ(2000u, TrayIcon::AddRetryMilliseconds(since));
    for (DWORD since : { 60000, 3600000 }) EXPECT_EQ(10000u, TrayIcon::AddRetryMilliseconds(since));
}

int zooms = 0;
BOOL AnimationOn(ANIMATIONINFO* info)
{
    info->iMinAnimate = 1;
    return TRUE;
}
BOOL CountZoom(HWND, int, const RECT*, const RECT*)
{
    ++zooms;
    return TRUE;
}

TEST_F(TrayTest, AClickOnTheBalloonShowsTheConsoleWithTheZoomAsAClickOnTheIconDoes)
{
    ScopedOverride animation(zoomPlatform.getAnimation, &AnimationOn);
    ScopedOverride draw(zoomPlatform.drawAnimatedRects, &CountZoom);
    zooms = 0;
    Busy();
    for (UINT other : { NIN_BALLOONSHOW, NIN_BALLOONHIDE, NIN_BALLOONTIMEOUT }) Click(other);
    EXPECT_FALSE(dialog.IsWindowVisible());
    EXPECT_EQ(0, zooms);
    Click(NIN_BALLOONUSERCLICK);
    EXPECT_TRUE(dialog.IsWindowVisible());
    EXPECT_EQ(1, zooms);
}

// Looks at the open tray menu from inside its loop, then closes it.
UINT gotoState = 0xFFFFFFFF;
UINT restartState = 0xFFFFFFFF;
void CALLBACK InspectMenu(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND menuWindow = FindWindowA("#32768", nullptr);
    if (!menuWindow) return;
    KillTimer(nullptr, timer);
    HMENU menu = reinterpret_cast<HMENU>(SendMessageA(menuWindow, MN_GETHMENU, 0, 0));
    gotoState = GetMenuState(menu, ID_TRAY_GOTO, MF_BYCOMMAND);
    restartState = GetMenuState(menu, ID_TRAY_RESTART, MF_BYCOMMAND);
    EndMenu();
}

UINT MenuGotoState(ConsoleDialog& dialog)
{
    gotoState = restartState = 0xFFFFFFFF;
    SetTimer(nullptr, 0, 50, &InspectMenu);
    dialog.SendMessage(WM_TRAY_NOTIFY, 1, WM_RBUTTONDOWN);
    return gotoState;
}

// The menu opened, and "Restart server" in it not grayed.
bool RestartOffered(ConsoleDialog& dialog)
{
    MenuGotoState(dialog);
    return restartState != 0xFFFFFFFF && !(restartState & MF_GRAYED);
}

TEST_F(TrayTest, MenuOffersGoToOnlyWhileTheServerIsReady)
{
    Busy();
    UINT state = MenuGotoState(dialog);
    ASSERT_NE(0xFFFFFFFFu, state) << "the menu did not open";
    EXPECT_TRUE(state & MF_GRAYED);

    dialog.serverReady = 1;
    state = MenuGotoState(dialog);
    ASSERT_NE(0xFFFFFFFFu, state);
    EXPECT_FALSE(state & MF_GRAYED);

    dialog.serverReady = 0;
    EXPECT_TRUE(MenuGotoState(dialog) & MF_GRAYED);
}

bool TestLocalAppData(char* path, size_t size) { return CopyText(path, size, TempPath("tray-appdata").c_str()) == 1; }

TEST_F(TrayTest, MenuCommandsOpenGoToOpenLogFolderAndExit)
{
    Busy();
    dialog.SendMessage(WM_COMMAND, ID_TRAY_OPEN, 0);
    EXPECT_TRUE(dialog.IsWindowVisible());
    dialog.SendMessage(WM_COMMAND, ID_TRAY_GOTO, 0);
    ASSERT_EQ(1u, opened.size());
    EXPECT_TRUE(dialog.IsWindowVisible()); // the menu's "Go to" leaves the console where it is

    // The installation's log folder, made if no output has been kept yet.
    RemoveTree(TempPath("tray-appdata"));
    ScopedOverride appData(consoleLogPlatform.localAppData, &TestLocalAppData);
    dialog.LoadSettings();
    dialog.SendMessage(WM_COMMAND, ID_TRAY_LOGS, 0);
    ASSERT_EQ(2u, opened.size());
    const std::string logs = TempPath("tray-appdata") + "\\Vantry\\logs\\bin.";
    EXPECT_EQ(logs, opened[1].substr(0, logs.size()));
    EXPECT_TRUE(IsFolder(opened[1]));
    RemoveTree(TempPath("tray-appdata"));
}

// "Restart server" is offered while the server runs or after it has ended; not before it has started,
// nor during a restart, which says so on a line of its own, keeps the tray busy and "Go to Vantry"
// disabled until the new server is ready, and tells no balloon of the server it stopped.
TEST_F(TrayTest, RestartServerIsOfferedWhileTheServerRunsOrHasEndedAndStartsItAgainWithoutABalloon)
{
    sharedHomeDir[0] = '\0';
    CopyText(dialog.javaExePath, StandinJavaPath().c_str());
    CopyText(dialog.homeDir, MakeServerHome("tray-restart", FreeLoopbackPort()).c_str());
    Busy(); // the console is hidden: a balloon would tell every change
    EXPECT_FALSE(RestartOffered(dialog)) << "before the server has started";
    dialog.OnStartServer();
    EXPECT_TRUE(RestartOffered(dialog)) << "while the server starts";
    ASSERT_TRUE(WaitUntil([&] { return dialog.serverReady == 1; }, 30000));
    const size_t before = dialog.console.GetWindowText().size();
    dialog.SendMessage(WM_COMMAND, ID_TRAY_RESTART, 0);
    EXPECT_EQ(before, dialog.console.GetWindowText().find("\r\nRestarting Vantry...\r\n", before));
    EXPECT_FALSE(dialog.gotoButton.IsWindowEnabled());
    EXPECT_NE(-1, dialog.tray.animFrame) << "the tray does not animate";
    EXPECT_FALSE(RestartOffered(dialog)) << "during the restart";
    ASSERT_TRUE(WaitUntil([&] { return dialog.serverReady == 1; }, 30000));
    EXPECT_TRUE(RestartOffered(dialog)) << "while the new server runs";
    EXPECT_EQ(std::string::npos, dialog.console.GetWindowText().find("terminated", before));
    EXPECT_EQ(std::vector<std::string>(2, "Vantry|Vantry is ready.\n" + dialog.serverRunner.ApplicationUrl()),
              shell.Balloons());
    dialog.serverRunner.Stop();
    ASSERT_TRUE(WaitUntil([&] { return dialog.serverReady == 0; }, 10000));
    EXPECT_TRUE(RestartOffered(dialog)) << "after the server has ended";
    EndConsole(dialog);
}

} // namespace
