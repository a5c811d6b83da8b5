// The viewer window showing pictures: real windows on the test display,
// checked in captured pixels and in the shared viewer state.
#include <gtest/gtest.h>

#include "app/picture_display.h"
#include "app/viewer_state.h"
#include "app/window_commands.h"
#include "tests/app/viewer_fixture.h"

namespace {
// A picture whose pixels say where they are: red grows with x, green with y.
Rgb Coordinates(int x, int y) {
    return Rgb{static_cast<uint8_t>(x % 251), static_cast<uint8_t>(y % 241), static_cast<uint8_t>(200)};
}
Rgb Solid(int, int) {
    return Rgb{200, 180, 40};
}
}  // namespace

TEST_F(ViewerWindowTest, FitDisplayGivesTiesToTheHeightAndCutsTheSides) {
    WriteBmp(dir_.File("wide.bmp"), 640, 480, 24, false, Solid);
    SetClientSize(640, 483);
    Show(dir_.File("wide.bmp"));
    ClientPixels pixels(window_);
    // Drawn 644 x 483 at x = -2: no black column at either side, no black row.
    EXPECT_FALSE(pixels.IsBlack(0, 0));
    EXPECT_FALSE(pixels.IsBlack(639, 482));
    EXPECT_FALSE(pixels.IsBlack(0, 482));
}

TEST_F(ViewerWindowTest, FitDisplayLimitedByWidthLeavesBlackBands) {
    WriteBmp(dir_.File("wide.bmp"), 640, 480, 24, false, Solid);
    SetClientSize(636, 480);
    Show(dir_.File("wide.bmp"));
    ClientPixels pixels(window_);
    // 636 x 477 at y = 1: row 0 and rows 478, 479 stay black.
    EXPECT_TRUE(pixels.IsBlack(300, 0));
    EXPECT_FALSE(pixels.IsBlack(300, 1));
    EXPECT_FALSE(pixels.IsBlack(300, 477));
    EXPECT_TRUE(pixels.IsBlack(300, 478));
    EXPECT_TRUE(pixels.IsBlack(300, 479));
}

TEST_F(ViewerWindowTest, TrueSizeCentresASmallPictureUnscaled) {
    WriteBmp(dir_.File("small.bmp"), 300, 200, 24, false, Coordinates);
    SetClientSize(500, 400);
    Command(kCommandFitOrTrueSize);
    Show(dir_.File("small.bmp"));
    ClientPixels pixels(window_);
    EXPECT_TRUE(pixels.IsBlack(99, 99));
    EXPECT_EQ(pixels.At(100, 100), Coordinates(0, 0));
    EXPECT_EQ(pixels.At(100 + 123, 100 + 45), Coordinates(123, 45));
    EXPECT_EQ(pixels.At(399, 299), Coordinates(299, 199));
    EXPECT_TRUE(pixels.IsBlack(400, 300));
    EXPECT_EQ(Viewer().ScrollX, 0);
    EXPECT_EQ(Viewer().ScrollY, 0);
}

TEST_F(ViewerWindowTest, TrueSizeWidePictureScrollsHorizontallyOnlyAndStopsAtTheEdge) {
    WriteBmp(dir_.File("panorama.bmp"), 1000, 300, 24, false, Coordinates);
    SetClientSize(500, 400);
    Command(kCommandFitOrTrueSize);
    Show(dir_.File("panorama.bmp"));
    ViewerState& v = Viewer();
    EXPECT_EQ(v.OverflowX, 1);
    EXPECT_EQ(v.OverflowY, 0);
    {
        ClientPixels pixels(window_);
        EXPECT_TRUE(pixels.IsBlack(10, 49));
        EXPECT_EQ(pixels.At(0, 50), Coordinates(0, 0));
        EXPECT_EQ(pixels.At(499, 349), Coordinates(499, 299));
    }

    // Drag to the left by 700 pixels and down by 40: the view moves right,
    // stops at column 500, and does not move vertically. The window moves
    // right first, so that the cursor has room on the screen.
    SetWindowPos(window_, nullptr, 500, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    Pump();
    POINT start{300, 300};
    ClientToScreen(window_, &start);
    SetCursorPos(start.x, start.y);
    SendMessageA(window_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(300, 300));
    EXPECT_EQ(v.TickActive, 0);
    SetCursorPos(start.x - 200, start.y + 40);
    SendMessageA(window_, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(100, 340));
    EXPECT_EQ(v.ScrollX, 200);
    EXPECT_EQ(v.ScrollY, 0);
    SetCursorPos(start.x - 700, start.y + 40);
    SendMessageA(window_, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(0, 340));
    SendMessageA(window_, WM_LBUTTONUP, 0, MAKELPARAM(0, 340));
    EXPECT_EQ(v.ScrollX, 500);
    EXPECT_EQ(v.ScrollY, 0);
    EXPECT_EQ(v.TickActive, 1);
    Pump();
    ClientPixels pixels(window_);
    EXPECT_EQ(pixels.At(0, 50), Coordinates(500, 0));
    EXPECT_EQ(pixels.At(499, 100), Coordinates(999, 50));
}

TEST_F(ViewerWindowTest, WindowFollowingThePictureIsCappedAtTheScreen) {
    WriteBmp(dir_.File("huge.bmp"), 2000, 1500, 8);
    ViewerState& v = Viewer();
    v.Settings.KeepWindowSize = 0;
    Show(dir_.File("huge.bmp"));
    RECT outer;
    GetWindowRect(window_, &outer);
    EXPECT_EQ(outer.right - outer.left, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(outer.bottom - outer.top, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(v.PictureSize.cx, 2000);
    EXPECT_EQ(v.PictureSize.cy, 1500);
}

TEST_F(ViewerWindowTest, WindowFollowsASmallPictureWithItsFrame) {
    WriteBmp(dir_.File("small.bmp"), 200, 120);
    Viewer().Settings.KeepWindowSize = 0;
    Show(dir_.File("small.bmp"));
    RECT client;
    GetClientRect(window_, &client);
    EXPECT_EQ(client.right, 200);
    EXPECT_EQ(client.bottom, 120);
}

// A picture that cannot be shown changes nothing but the picture: the
// window keeps its size (also where it would follow the picture, as at
// start-up), its title and the picture size; the client area turns black.
TEST_F(ViewerWindowTest, AFailedLoadLeavesSizeTitleAndPictureSizeAndShowsBlack) {
    ViewerState& v = Viewer();
    WriteBmp(dir_.File("first.bmp"), 64, 48, 24, false, Solid);
    ASSERT_TRUE(WriteFileBytes(dir_.File("damaged.bmp"), Bytes{'B', 'M', 1, 2, 3}));
    for (const char* failing : {"missing.bmp", "damaged.bmp", ""}) {
        for (int keepSize : {1, 0}) {
            v.Settings.KeepWindowSize = keepSize;
            Show(dir_.File("first.bmp"));
            char title[MAX_PATH];
            GetWindowTextA(window_, title, MAX_PATH);
            ASSERT_STREQ(title, "first.bmp");
            RECT before, after;
            GetWindowRect(window_, &before);
            Show(failing[0] ? dir_.File(failing) : std::string());
            GetWindowRect(window_, &after);
            GetWindowTextA(window_, title, MAX_PATH);
            EXPECT_EQ(v.ShownBitmap, nullptr) << failing;
            EXPECT_STREQ(title, "first.bmp") << failing;
            EXPECT_TRUE(EqualRect(&before, &after)) << failing << " keep " << keepSize;
            EXPECT_EQ(v.PictureSize.cx, 64) << failing;
            EXPECT_EQ(v.PictureSize.cy, 48) << failing;
            ClientPixels pixels(window_);
            EXPECT_TRUE(pixels.IsBlack(pixels.Width() / 2, pixels.Height() / 2)) << failing;
        }
    }
}

TEST_F(ViewerWindowTest, TitleSkipsAShiftJisTrailByteThatLooksLikeASeparator) {
    // "表" is 0x95 0x5C in Shift-JIS: its second byte is no separator.
    const std::string name =
        "\x95\x5C"
        "紙.bmp";
    WriteBmp(dir_.File(name), 16, 16);
    Show(dir_.File(name));
    char title[MAX_PATH];
    GetWindowTextA(window_, title, MAX_PATH);
    EXPECT_EQ(std::string(title), name);
}

TEST_F(ViewerWindowTest, MaximiseAndRestoreKeepTheTitleBarState) {
    ViewerState& v = Viewer();
    Command(kCommandTitleBar);
    EXPECT_EQ(v.TitleBarOn, 0);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(window_, GWL_STYLE)) & 0x00CF0000u, 0x00040000u);
    RECT before;
    GetWindowRect(window_, &before);

    Command(kCommandMaximise);
    RECT maximised;
    GetWindowRect(window_, &maximised);
    EXPECT_EQ(maximised.left, -4);
    EXPECT_EQ(maximised.top, -4);
    EXPECT_EQ(maximised.right - maximised.left, GetSystemMetrics(SM_CXSCREEN) + 8);

    Command(kCommandRestore);
    EXPECT_EQ(v.TitleBarOn, 0);
    RECT after;
    GetWindowRect(window_, &after);
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.right - after.left, before.right - before.left);

    // With the title bar on before maximising, it comes back.
    Command(kCommandTitleBar);
    EXPECT_EQ(v.TitleBarOn, 1);
    Command(kCommandMaximise);
    EXPECT_EQ(v.TitleBarOn, 0);
    Command(kCommandRestore);
    EXPECT_EQ(v.TitleBarOn, 1);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(window_, GWL_STYLE)) & 0x00CF0000u, 0x00CE0000u);
}

TEST_F(ViewerWindowTest, StackingPositionsReachTheWindow) {
    Command(kCommandTopmost);
    EXPECT_TRUE(GetWindowLongA(window_, GWL_EXSTYLE) & WS_EX_TOPMOST);
    Command(kCommandNotTopmost);
    EXPECT_FALSE(GetWindowLongA(window_, GWL_EXSTYLE) & WS_EX_TOPMOST);
    Command(kCommandBottom);
    EXPECT_FALSE(GetWindowLongA(window_, GWL_EXSTYLE) & WS_EX_TOPMOST);
}

TEST_F(ViewerWindowTest, NewWindowHasTheGivenClassStylesAndSize) {
    char className[64];
    GetClassNameA(window_, className, sizeof className);
    EXPECT_STREQ(className, "Piltrin V1.81");
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(window_, GWL_STYLE)) & 0x00FF0000u, 0x00CE0000u);
    EXPECT_TRUE(GetWindowLongA(window_, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
    RECT outer;
    GetWindowRect(window_, &outer);
    EXPECT_EQ(outer.right - outer.left, 320);
    EXPECT_EQ(outer.bottom - outer.top, 216);
    EXPECT_EQ(Viewer().ScreenSize.cx, GetSystemMetrics(SM_CXSCREEN));
}

TEST(ViewerStateDefaults, EveryOptionStartsAtItsDefault) {
    ResetViewerState();
    const ViewerState& v = Viewer();
    EXPECT_EQ(v.Settings.FitToWindow, 1);
    EXPECT_EQ(v.Settings.KeepWindowSize, 1);
    EXPECT_EQ(v.Settings.Animate, 0);
    EXPECT_EQ(v.Settings.AutoSwitch, 0);
    EXPECT_EQ(v.Settings.AutoAddDropped, 0);
    EXPECT_EQ(v.Settings.RotationParam, 10);
    EXPECT_EQ(v.Settings.MoveStepX, 5);
    EXPECT_EQ(v.Settings.MoveStepY, 5);
    EXPECT_EQ(v.Settings.SwitchTicks, 150);
    EXPECT_EQ(v.DisplayMode, 14);
    EXPECT_EQ(v.ScreenSize.cx, 640);
    EXPECT_EQ(v.ScreenSize.cy, 400);
    EXPECT_EQ(v.TitleBarOn, 1);
    EXPECT_EQ(v.TickActive, 1);
    EXPECT_EQ(v.ZubBOXPage, 1);
}
