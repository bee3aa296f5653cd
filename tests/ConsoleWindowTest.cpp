// The console window: its template, its buttons and what they open, closing into the tray.
#include "app/ConsoleDialog.h"
#include "app/SingleInstance.h"
#include "java/StartWithWindows.h"
#include "app/ExitPlatform.h"
#include "framework/Shell.h"
#include "framework/Text.h"
#include "res/resource.h"
#include "support/DialogTemplate.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST(ConsoleTemplate, IsTheExtendedLayoutWithItsNineControlsInTabOrder)
{
    const BYTE* start = FindDialogTemplate(IDD_CONSOLE);
    ASSERT_NE(nullptr, start);
    TemplateReader r = { start };
    ASSERT_EQ(1, r.Word());      // version
    ASSERT_EQ(0xFFFF, r.Word()); // an extended template
    EXPECT_EQ(0u, r.Dword());    // help id
    EXPECT_EQ(static_cast<DWORD>(WS_EX_APPWINDOW), r.Dword());
    EXPECT_EQ(static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_3DLOOK),
              r.Dword());
    ASSERT_EQ(9, r.Word());
    EXPECT_EQ(0, r.Short());
    EXPECT_EQ(0, r.Short());
    EXPECT_EQ(342, r.Short());
    EXPECT_EQ(210, r.Short());
    EXPECT_EQ("", r.NameOrOrdinal()); // no menu
    EXPECT_EQ("", r.NameOrOrdinal()); // the default dialog class
    EXPECT_EQ("Vantry", r.NameOrOrdinal());
    EXPECT_EQ(8, r.Word());   // points
    EXPECT_EQ(400, r.Word()); // weight
    EXPECT_EQ(0, *r.at++);    // not italic
    EXPECT_EQ(1, *r.at++);    // DEFAULT_CHARSET
    EXPECT_EQ("Arial", r.NameOrOrdinal());

    const DWORD child = WS_CHILD | WS_VISIBLE;
    const DWORD button = child | BS_PUSHBUTTON | WS_TABSTOP;
    const struct {
        int id;
        const char* cls; // #128 button, #129 edit, #130 static
        const char* text;
        short x, y, cx, cy;
        DWORD style;
    } expected[] = {
        { IDC_GOTO, "#128", "Go to Vantry", 93, 166, 68, 14, button | WS_DISABLED },
        { IDC_HIDE, "#128", "Hide", 7, 189, 68, 14, button },
        { IDC_HELP_DOC, "#128", "Help", 93, 189, 68, 14, button },
        { IDC_VIEW_LOG, "#128", "View log", 179, 189, 68, 14, button },
        { IDCANCEL, "#128", "Exit", 267, 189, 68, 14, button },
        { IDC_CONSOLE, "#129", "", 7, 23, 328, 125,
          child | ES_LEFT | ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_READONLY | ES_NOHIDESEL | WS_BORDER |
              WS_VSCROLL | WS_HSCROLL | WS_TABSTOP },
        { -1, "#130", "Vantry Console", 138, 7, 65, 11, child | SS_LEFT | WS_GROUP },
        { IDC_JAVADOC, "#128", "Generate Javadoc", 179, 166, 68, 14, button | WS_DISABLED },
        { IDC_HIDE_ON_STARTUP, "#128", "Hide on startup", 10, 152, 70, 8,
          child | BS_AUTOCHECKBOX | BS_LEFT | BS_VCENTER | WS_TABSTOP },
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.text);
        r.AlignToDword(start);
        EXPECT_EQ(0u, r.Dword()); // help id
        EXPECT_EQ(0u, r.Dword()); // extended style
        EXPECT_EQ(e.style, r.Dword());
        EXPECT_EQ(e.x, r.Short());
        EXPECT_EQ(e.y, r.Short());
        EXPECT_EQ(e.cx, r.Short());
        EXPECT_EQ(e.cy, r.Short());
        EXPECT_EQ(static_cast<DWORD>(e.id), r.Dword());
        EXPECT_EQ(e.cls, r.NameOrOrdinal());
        EXPECT_EQ(e.text, r.NameOrOrdinal());
        r.at += r.Word();
    }
}

TEST(TrayMenuResource, OffersEachCommandInItsPlaceWithGoToAndRestartGrayed)
{
    HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_TRAY_MENU));
    ASSERT_NE(nullptr, menu);
    HMENU popup = GetSubMenu(menu, 0);
    const struct {
        UINT id; // 0: a separator
        const char* text;
        bool grayed;
    } items[] = { { ID_TRAY_OPEN, "Open", false },
                  { ID_TRAY_GOTO, "Go to Vantry... [Ctrl+Click]", true },
                  { ID_TRAY_RESTART, "Restart server", true },
                  { 0, "", false },
                  { ID_TRAY_AUTOSTART, "Start with Windows", false },
                  { ID_TRAY_LOGS, "Open log folder", false },
                  { ID_TRAY_SETTINGS, "Settings...", false },
                  { 0, "", false },
                  { ID_TRAY_EXIT, "Exit", false } };
    ASSERT_EQ(static_cast<int>(std::size(items)), GetMenuItemCount(popup));
    for (int i = 0; i < GetMenuItemCount(popup); ++i) {
        SCOPED_TRACE(items[i].text);
        char text[64] = "";
        GetMenuStringA(popup, i, text, sizeof text, MF_BYPOSITION);
        EXPECT_STREQ(items[i].text, text);
        if (!items[i].id) {
            EXPECT_TRUE(GetMenuState(popup, i, MF_BYPOSITION) & MF_SEPARATOR);
            continue;
        }
        EXPECT_EQ(items[i].id, GetMenuItemID(popup, i));
        EXPECT_EQ(items[i].grayed, (GetMenuState(popup, i, MF_BYPOSITION) & MF_GRAYED) != 0);
    }
    DestroyMenu(menu);
}

std::vector<std::string> opened;
void RecordOpen(const char* target) { opened.push_back(target); }
int exits = 0;
void RecordExit(int) { ++exits; }

class ConsoleWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        opened.clear();
        exits = 0;
        sharedHomeDir[0] = '\0';
        ASSERT_TRUE(dialog.Create(IDD_CONSOLE, nullptr));
        CopyText(dialog.homeDir, "C:\\Vantry Home");
        dialog.ShowWindow(SW_SHOW);
    }
    void TearDown() override { sharedHomeDir[0] = '\0'; }
    void Press(int id) { dialog.SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

    ScopedOverride<decltype(shellPlatform.open)> open{ shellPlatform.open, &RecordOpen };
    ScopedOverride<decltype(exitPlatform.endProcess)> ending{ exitPlatform.endProcess, &RecordExit };
    ConsoleDialog dialog;
};

TEST_F(ConsoleWindowTest, HelpLogAndTheHelpKeyOpenTheLaunchersOwnFilesBeforeTheServerStarts)
{
    Press(IDC_HELP_DOC);
    Press(IDC_VIEW_LOG);
    dialog.WinHelp(0, HELP_CONTEXT);
    ASSERT_EQ(3u, opened.size());
    EXPECT_EQ("C:\\Vantry Home\\doc\\index.html", opened[0]);
    EXPECT_EQ("C:\\Vantry Home\\log\\Vantry.log", opened[1]);
    EXPECT_EQ(opened[0], opened[2]);

    CopyText(sharedHomeDir, "D:\\Server Home");
    Press(IDC_HELP_DOC);
    Press(IDC_VIEW_LOG);
    EXPECT_EQ("D:\\Server Home\\doc\\index.html", opened[3]);
    EXPECT_EQ("D:\\Server Home\\log\\Vantry.log", opened[4]);
}

TEST_F(ConsoleWindowTest, GoToHidesTheConsoleThenOpensTheApplication)
{
    Press(IDC_GOTO);
    EXPECT_FALSE(dialog.IsWindowVisible());
    ASSERT_EQ(1u, opened.size());
    EXPECT_EQ("http://localhost/Vantry", opened[0]);
}

TEST_F(ConsoleWindowTest, HideAndTheCloseBoxOnlyHideWhileExitAndEscEndTheLauncher)
{
    Press(IDC_HIDE);
    EXPECT_FALSE(dialog.IsWindowVisible());
    dialog.ShowWindow(SW_SHOW);
    dialog.SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(dialog.IsWindowVisible());
    EXPECT_TRUE(IsWindow(dialog.m_hWnd));
    EXPECT_EQ(0, exits);

    Press(IDCANCEL); // the Exit button, and what Esc sends
    EXPECT_EQ(1, exits);
    Press(ID_TRAY_EXIT); // the launcher has ended: no second exit
    EXPECT_EQ(1, exits);
}

// The value is named after this installation and names this program; a second click takes it away.
TEST_F(ConsoleWindowTest, StartWithWindowsTurnsThisInstallationsRunValueOnAndOff)
{
    RegistrySandbox sandbox;
    char exe[MAX_PATH], name[32] = "Vantry.";
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    ASSERT_TRUE(InstallationHash(name + 7, sizeof name - 7));
    EXPECT_FALSE(StartsWithWindows(name, exe));
    Press(ID_TRAY_AUTOSTART);
    EXPECT_TRUE(StartsWithWindows(name, exe));
    Press(ID_TRAY_AUTOSTART);
    EXPECT_FALSE(StartsWithWindows(name, exe));
}

TEST_F(ConsoleWindowTest, TheHideOnStartupBoxStoresEachClick)
{
    RegistrySandbox sandbox;
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vantry\\Vantrybench", 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    auto stored = [&] {
        char value[16] = "";
        DWORD size = sizeof value;
        RegQueryValueExA(key, "HideOnStartup", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
        return std::string(value);
    };
    SendMessageA(dialog.hideOnStartup.m_hWnd, BM_CLICK, 0, 0);
    EXPECT_EQ("true", stored());
    SendMessageA(dialog.hideOnStartup.m_hWnd, BM_CLICK, 0, 0);
    EXPECT_EQ("false", stored());
    RegCloseKey(key);
}

// The window's icons are the ready icon at the sizes the system asks for: nothing is stretched.
TEST_F(ConsoleWindowTest, BothWindowIconsAndTheDragIconAreTheMainIconAtTheSystemsSizes)
{
    HICON big = reinterpret_cast<HICON>(dialog.SendMessage(WM_GETICON, ICON_BIG, 0));
    HICON small = reinterpret_cast<HICON>(dialog.SendMessage(WM_GETICON, ICON_SMALL, 0));
    EXPECT_EQ(dialog.tray.BigIcon(IDI_READY), big);
    EXPECT_EQ(dialog.tray.SmallIcon(IDI_READY), small);
    EXPECT_EQ(big, reinterpret_cast<HICON>(dialog.SendMessage(WM_QUERYDRAGICON, 0, 0)));
    auto width = [](HICON icon) {
        ICONINFO info = {};
        BITMAP bitmap = {};
        if (!icon || !GetIconInfo(icon, &info)) return 0;
        GetObjectA(info.hbmColor, sizeof bitmap, &bitmap);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        return static_cast<int>(bitmap.bmWidth);
    };
    EXPECT_EQ(GetSystemMetrics(SM_CXICON), width(big));
    EXPECT_EQ(GetSystemMetrics(SM_CXSMICON), width(small));
}

TEST_F(ConsoleWindowTest, StartsWithGoToAndJavadocDisabledAndTheFocusOnHide)
{
    EXPECT_FALSE(dialog.gotoButton.IsWindowEnabled());
    EXPECT_FALSE(dialog.javadocButton.IsWindowEnabled());
    EXPECT_EQ(GetDlgItem(dialog.m_hWnd, IDC_HIDE), GetFocus());
}

// Counts the paints of one control, through a subclass of its window procedure.
class PaintCounter {
public:
    explicit PaintCounter(HWND control) : control_(control)
    {
        SetPropA(control, "PaintCounter", this);
        previous_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PaintCounter::Proc)));
    }
    ~PaintCounter()
    {
        SetWindowLongPtrA(control_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
        RemovePropA(control_, "PaintCounter");
    }
    int paints = 0;

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = static_cast<PaintCounter*>(GetPropA(window, "PaintCounter"));
        if (message == WM_PAINT) ++self->paints;
        return CallWindowProcA(self->previous_, window, message, wParam, lParam);
    }
    HWND control_;
    WNDPROC previous_ = nullptr;
};

TEST_F(ConsoleWindowTest, OutputNeverCostsTheOtherControlsAPaintTheyWereWaitingFor)
{
    PumpFor(300);
    HWND exitButton = GetDlgItem(dialog.m_hWnd, IDCANCEL);
    HWND label = GetDlgItem(dialog.m_hWnd, IDC_HIDE_ON_STARTUP);
    PaintCounter exitPaints(exitButton), labelPaints(label);
    // As when another window has just uncovered them: they wait for their paint when output comes.
    InvalidateRect(exitButton, nullptr, TRUE);
    InvalidateRect(label, nullptr, TRUE);
    dialog.AppendConsoleText("output while the buttons wait for their paint\r\n");
    EXPECT_TRUE(WaitUntil(
        [&] { return dialog.console.GetWindowText().find("while the buttons wait") != std::string::npos; }, 10000));
    EXPECT_TRUE(WaitUntil([&] { return exitPaints.paints > 0 && labelPaints.paints > 0; }, 10000))
        << "the Exit button painted " << exitPaints.paints << " times, the label " << labelPaints.paints;
}

TEST_F(ConsoleWindowTest, DuringAFloodTheTextIsRepaintedAgainAndAgainNotOnlyAtTheEnd)
{
    PumpFor(300);
    PaintCounter textPaints(dialog.console.m_hWnd);
    std::atomic<bool> stop{ false };
    std::thread writer([&] {
        std::string line = std::string(90, 'x') + "\r\n";
        while (!stop) dialog.AppendConsoleText(line.c_str());
    });
    // The flood has no end while the paints are counted: each one came while text kept arriving.
    bool repainted = WaitUntil([&] { return textPaints.paints >= 3; }, 30000);
    stop = true;
    writer.join();
    EXPECT_TRUE(repainted) << textPaints.paints << " paints";
}

} // namespace
