// Where the console zooms to, and that it zooms only when the system's animations are on.
#include "support/TestSupport.h"
#include "ui/TrayZoom.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A desktop made to order: each answer of the zoom's platform calls, and a log of the calls.
struct FakeDesktop {
    bool animation = true;
    bool animationReadable = true;
    bool taskbar = true;
    bool trayNotify = true;
    bool appBarAnswers = true;
    UINT edge = ABE_BOTTOM;
    RECT taskbarRect = { 0, 760, 1280, 800 };
    RECT trayRect = { 1100, 762, 1278, 798 };
    RECT windowRect = { 100, 100, 500, 400 };
    bool workAreaReadable = true;
    RECT workArea = { 0, 0, 1280, 760 };
    std::vector<std::string> calls;
    std::vector<RECT> zooms; // from, to pairs
};
FakeDesktop desk;

const HWND kTaskbar = reinterpret_cast<HWND>(0x1001);
const HWND kTray = reinterpret_cast<HWND>(0x1002);

BOOL FakeAnimation(ANIMATIONINFO* info)
{
    desk.calls.push_back("animation");
    info->iMinAnimate = desk.animation ? 1 : 0;
    return desk.animationReadable;
}
HWND FakeFind(HWND parent, HWND, const char* className, const char*)
{
    desk.calls.push_back(std::string("find ") + className);
    if (!parent && std::string(className) == "Shell_TrayWnd") return desk.taskbar ? kTaskbar : nullptr;
    if (parent == kTaskbar && std::string(className) == "TrayNotifyWnd") return desk.trayNotify ? kTray : nullptr;
    return nullptr;
}
BOOL FakeRect(HWND window, RECT* rect)
{
    *rect = window == kTray ? desk.trayRect : window == kTaskbar ? desk.taskbarRect : desk.windowRect;
    return TRUE;
}
UINT_PTR FakeAppBar(DWORD message, APPBARDATA* data)
{
    desk.calls.push_back("appbar");
    if (message != ABM_GETTASKBARPOS || !desk.appBarAnswers) return 0;
    data->uEdge = desk.edge;
    data->rc = desk.taskbarRect;
    return 1;
}
BOOL FakeWorkArea(RECT* rect)
{
    desk.calls.push_back("workarea");
    *rect = desk.workArea;
    return desk.workAreaReadable;
}
BOOL FakeDraw(HWND, int animation, const RECT* from, const RECT* to)
{
    desk.calls.push_back("draw " + std::to_string(animation));
    desk.zooms.push_back(*from);
    desk.zooms.push_back(*to);
    return TRUE;
}

bool Same(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

class ZoomTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        desk = FakeDesktop();
        window = CreateWindowA("STATIC", "zoom", WS_POPUP, 100, 100, 400, 300, nullptr, nullptr, nullptr, nullptr);
    }
    void TearDown() override { DestroyWindow(window); }
    RECT TrayRect()
    {
        RECT r = {};
        EXPECT_EQ(1, GetTrayRect(&r));
        return r;
    }
    ScopedOverride<ZoomPlatform> platform{ zoomPlatform, ZoomPlatform{ &FakeAnimation, &FakeFind, &FakeRect,
                                                                       &FakeAppBar, &FakeWorkArea, &FakeDraw } };
    HWND window = nullptr;
};

TEST_F(ZoomTest, TheNotificationWindowIsTakenAsItIs) { EXPECT_TRUE(Same(desk.trayRect, TrayRect())); }

TEST_F(ZoomTest, WithoutTheNotificationWindowAStripAtTheTaskbarsFarEndByItsEdge)
{
    desk.trayNotify = false;
    desk.edge = ABE_BOTTOM;
    RECT bottom = TrayRect();
    EXPECT_TRUE(Same(RECT{ 1180, 760, 1264, 800 }, bottom)); // 84 wide, 16 short of the right end

    desk.edge = ABE_TOP;
    desk.taskbarRect = { 0, 0, 1280, 40 };
    EXPECT_TRUE(Same(RECT{ 1180, 0, 1264, 40 }, TrayRect()));

    desk.edge = ABE_LEFT;
    desk.taskbarRect = { 0, 0, 60, 800 };
    EXPECT_TRUE(Same(RECT{ 0, 700, 60, 784 }, TrayRect())); // 84 high, 16 above the bottom

    desk.edge = ABE_RIGHT;
    desk.taskbarRect = { 1220, 0, 1280, 800 };
    EXPECT_TRUE(Same(RECT{ 1220, 700, 1280, 784 }, TrayRect()));
}

TEST_F(ZoomTest, WithoutTheShellsAnswerTheTaskbarsBottomRightCorner)
{
    desk.trayNotify = false;
    desk.appBarAnswers = false;
    EXPECT_TRUE(Same(RECT{ 1130, 770, 1280, 800 }, TrayRect()));
    desk.taskbarRect = { 10, 10, 110, 30 }; // small enough to be taken whole
    EXPECT_TRUE(Same(RECT{ 10, 10, 110, 30 }, TrayRect()));
}

TEST_F(ZoomTest, WithoutAnyTaskbarTheWorkAreasCorner)
{
    desk.taskbar = false;
    desk.appBarAnswers = false;
    EXPECT_TRUE(Same(RECT{ 1130, 730, 1280, 760 }, TrayRect()));
}

TEST_F(ZoomTest, AnUnknownEdgeOrAnUnreadableWorkAreaMeansNoZoom)
{
    desk.trayNotify = false;
    desk.edge = 7;
    RECT r;
    EXPECT_EQ(0, GetTrayRect(&r));
    HideToTray(window);
    EXPECT_TRUE(desk.zooms.empty());

    desk.taskbar = false;
    desk.appBarAnswers = false;
    desk.workAreaReadable = false;
    EXPECT_EQ(0, GetTrayRect(&r));
    ShowConsole(window);
    EXPECT_TRUE(desk.zooms.empty());
    EXPECT_TRUE(IsWindowVisible(window));
}

TEST_F(ZoomTest, HideZoomsFromTheWindowToTheTrayThenHides)
{
    ShowWindow(window, SW_SHOW);
    HideToTray(window);
    ASSERT_EQ(2u, desk.zooms.size());
    EXPECT_TRUE(Same(desk.windowRect, desk.zooms[0]));
    EXPECT_TRUE(Same(desk.trayRect, desk.zooms[1]));
    EXPECT_EQ("draw 3", desk.calls.back()); // IDANI_CAPTION
    EXPECT_FALSE(IsWindowVisible(window));
}

TEST_F(ZoomTest, ShowZoomsFromTheTrayToTheWindowEvenWhenAlreadyVisible)
{
    ShowConsole(window);
    ShowConsole(window);
    ASSERT_EQ(4u, desk.zooms.size());
    EXPECT_TRUE(Same(desk.trayRect, desk.zooms[2]));
    EXPECT_TRUE(Same(desk.windowRect, desk.zooms[3]));
    EXPECT_TRUE(IsWindowVisible(window));
}

TEST_F(ZoomTest, WithAnimationsOffHidingAndShowingAskNothingOfTheTaskbar)
{
    desk.animation = false;
    ShowConsole(window);
    HideToTray(window);
    EXPECT_EQ((std::vector<std::string>{ "animation", "animation" }), desk.calls);
    EXPECT_FALSE(IsWindowVisible(window));

    desk.animation = true;
    desk.animationReadable = false; // cannot tell: no zoom
    ShowConsole(window);
    EXPECT_TRUE(desk.zooms.empty());
    EXPECT_TRUE(IsWindowVisible(window));
}

} // namespace
