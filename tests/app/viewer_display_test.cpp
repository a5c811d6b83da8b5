// The viewer window showing pictures: the layout arithmetic, then real
// windows on the test display, checked in captured pixels and the state.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/display_layout.h"
#include "app/picture_display.h"
#include "app/viewer_state.h"
#include "app/window_commands.h"
#include "tests/app/viewer_fixture.h"

namespace {
// A picture whose pixels say where they are: red grows with x, green with y.
Rgb Coordinates(int x, int y) {
    return Rgb{static_cast<uint8_t>(x % 251), static_cast<uint8_t>(y % 241), static_cast<uint8_t>(200)};
}
DWORD Style(HWND window, int which = GWL_STYLE) {
    return static_cast<DWORD>(GetWindowLongA(window, which));
}
}  // namespace

// 640 x 480 in 640 x 483: both whole percentages are 100, so the height
// limits and two columns are cut off at each side.
TEST_F(ViewerWindowTest, FitDisplayScalesAndCentresThePicture) {
    const struct {
        SIZE client;
        DrawRect drawn;
    } rows[] = {{{640, 483}, {-2, 0, 644, 483}}, {{636, 480}, {0, 1, 636, 477}}};
    WriteBmp(dir_.File("wide.bmp"), 640, 480, 24, false, Coordinates);
    for (const auto& row : rows) {
        const DrawRect r = FitDrawRect(SIZE{640, 480}, row.client, false, 0);
        EXPECT_EQ((std::vector<int>{r.x, r.y, r.width, r.height}),
                  (std::vector<int>{row.drawn.x, row.drawn.y, row.drawn.width, row.drawn.height}));
        SetClientSize(row.client.cx, row.client.cy);
        Show(dir_.File("wide.bmp"));
        ClientPixels p(window_);
        const int left = std::max(r.x, 0), top = std::max(r.y, 0);
        const int right = std::min(r.x + r.width, p.Width()) - 1,
                  bottom = std::min(r.y + r.height, p.Height()) - 1;
        for (POINT inside : {POINT{left, top}, POINT{right, top}, POINT{left, bottom}, POINT{right, bottom}})
            EXPECT_FALSE(p.IsBlack(inside.x, inside.y)) << inside.x << "," << inside.y;
        // Black bands above and below, where the picture leaves room.
        EXPECT_TRUE(top == 0 || p.IsBlack(300, top - 1));
        EXPECT_TRUE(bottom == p.Height() - 1 ||
                    (p.IsBlack(300, bottom + 1) && p.IsBlack(300, p.Height() - 1)));
    }
}

// True size: a smaller picture is centred unscaled, a wider one only
// vertically; a left drag then scrolls it horizontally only, up to its edge.
TEST_F(ViewerWindowTest, TrueSizeCentresWhatIsSmallerAndADragScrollsWhatOverflows) {
    const struct {
        SIZE picture;
        POINT origin;
        int overflowX, overflowY;
    } rows[] = {{{300, 200}, {100, 100}, 0, 0}, {{1000, 300}, {0, 50}, 1, 0}};
    ViewerState& v = Viewer();
    SetClientSize(500, 400);
    Command(kCommandFitOrTrueSize);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.picture.cx);
        const POINT o = TrueSizeOrigin(row.picture, SIZE{500, 400});
        EXPECT_EQ(o.x, row.origin.x);
        EXPECT_EQ(o.y, row.origin.y);
        const std::string name = dir_.File(std::to_string(row.picture.cx) + ".bmp");
        WriteBmp(name, row.picture.cx, row.picture.cy, 24, false, Coordinates);
        Show(name);
        EXPECT_EQ((std::vector<int>{v.OverflowX, v.OverflowY, v.ScrollX, v.ScrollY}),
                  (std::vector<int>{row.overflowX, row.overflowY, 0, 0}));
        ClientPixels p(window_);
        const int seenX = std::min<int>(row.picture.cx, 500), seenY = std::min<int>(row.picture.cy, 400);
        EXPECT_EQ(p.At(o.x, o.y), Coordinates(0, 0));
        EXPECT_EQ(p.At(o.x + 123, o.y + 45), Coordinates(123, 45));
        EXPECT_EQ(p.At(o.x + seenX - 1, o.y + seenY - 1), Coordinates(seenX - 1, seenY - 1));
        EXPECT_TRUE(p.IsBlack(std::max<int>(o.x - 1, 0), o.y - 1));
        EXPECT_TRUE(p.IsBlack(std::min<int>(o.x + seenX, 499), o.y + seenY));
    }
    for (const auto& clamp : {std::vector<int>{0, -10, 0}, {450, 100, 500}, {100, 50, 150}})
        EXPECT_EQ(ClampScroll(clamp[0], clamp[1], 1000, 500), clamp[2]);

    // Drag the panorama left by 700 pixels and down by 40: the view stops at
    // column 500 and does not move vertically. The window moves right first,
    // so that the cursor has room on the screen.
    SetWindowPos(window_, nullptr, 500, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    Pump();
    MouseAt(WM_LBUTTONDOWN, MK_LBUTTON, 300, 300);
    EXPECT_EQ(v.TickActive, 0);
    const struct { int dx, scrollX; } moves[] = {{-200, 200}, {-700, 500}};
    for (const auto& move : moves) {
        MouseAt(WM_MOUSEMOVE, MK_LBUTTON, 300 + move.dx, 340);
        EXPECT_EQ(v.ScrollX, move.scrollX);
        EXPECT_EQ(v.ScrollY, 0);
    }
    SendMessageA(window_, WM_LBUTTONUP, 0, MAKELPARAM(0, 340));
    EXPECT_EQ(v.TickActive, 1);
    Pump();
    ClientPixels p(window_);
    EXPECT_EQ(p.At(0, 50), Coordinates(500, 0));
    EXPECT_EQ(p.At(499, 100), Coordinates(999, 50));
}

// Where the window follows the picture, the client takes the picture's size
// up to the screen's.
TEST_F(ViewerWindowTest, WindowFollowingThePictureIsCappedAtTheScreen) {
    const int screenX = GetSystemMetrics(SM_CXSCREEN), screenY = GetSystemMetrics(SM_CYSCREEN);
    const struct {
        SIZE picture;
        bool outer;  // the size below is the window's, not the client's
        SIZE size;
    } rows[] = {{{2000, 1500}, true, {screenX, screenY}}, {{200, 120}, false, {200, 120}}};
    Viewer().Settings.KeepWindowSize = 0;
    for (const auto& row : rows) {
        const std::string name = dir_.File(std::to_string(row.picture.cx) + ".bmp");
        WriteBmp(name, row.picture.cx, row.picture.cy, 8);
        Show(name);
        RECT r;
        row.outer ? GetWindowRect(window_, &r) : GetClientRect(window_, &r);
        EXPECT_EQ(r.right - r.left, row.size.cx);
        EXPECT_EQ(r.bottom - r.top, row.size.cy);
        EXPECT_EQ(Viewer().PictureSize.cx, row.picture.cx);
        EXPECT_EQ(Viewer().PictureSize.cy, row.picture.cy);
    }
}

// A picture that cannot be shown changes nothing but the picture: the
// window keeps its size (also where it would follow the picture, as at
// start-up), its title and the picture size; the client area turns black.
TEST_F(ViewerWindowTest, AFailedLoadLeavesSizeTitleAndPictureSizeAndShowsBlack) {
    ViewerState& v = Viewer();
    WriteBmp(dir_.File("first.bmp"), 64, 48, 24, false, Coordinates);
    ASSERT_TRUE(WriteFileBytes(dir_.File("damaged.bmp"), Bytes{'B', 'M', 1, 2, 3}));
    for (const char* failing : {"missing.bmp", "damaged.bmp", ""}) {
        for (int keepSize : {1, 0}) {
            SCOPED_TRACE(std::string(failing) + (keepSize ? " keep" : " follow"));
            v.Settings.KeepWindowSize = keepSize;
            Show(dir_.File("first.bmp"));
            ASSERT_EQ(WindowText(window_), "first.bmp");
            RECT before, after;
            GetWindowRect(window_, &before);
            Show(failing[0] ? dir_.File(failing) : std::string());
            GetWindowRect(window_, &after);
            EXPECT_EQ(v.ShownBitmap, nullptr);
            EXPECT_EQ(WindowText(window_), "first.bmp");
            EXPECT_TRUE(EqualRect(&before, &after));
            EXPECT_EQ(v.PictureSize.cx, 64);
            EXPECT_EQ(v.PictureSize.cy, 48);
            ClientPixels pixels(window_);
            EXPECT_TRUE(pixels.IsBlack(pixels.Width() / 2, pixels.Height() / 2));
        }
    }
}

TEST_F(ViewerWindowTest, TitleSkipsAShiftJisTrailByteThatLooksLikeASeparator) {
    // "表" is 0x95 0x5C in Shift-JIS: its second byte is no separator.
    const std::string name = "\x95\x5C紙.bmp";
    WriteBmp(dir_.File(name), 16, 16);
    Show(dir_.File(name));
    EXPECT_EQ(WindowText(window_), name);
}

// Each step runs on the window the previous one left: the class, styles and
// size of a new window, the stacking positions, and a maximise and restore
// that bring back the place and the title bar as they were.
TEST_F(ViewerWindowTest, WindowCommandsReachTheRealWindow) {
    char className[64];
    GetClassNameA(window_, className, sizeof className);
    EXPECT_STREQ(className, "Piltrin V1.81");
    EXPECT_TRUE(Style(window_, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
    EXPECT_EQ(Style(window_) & 0x00FF0000u, 0x00CE0000u);
    EXPECT_EQ(Viewer().ScreenSize.cx, GetSystemMetrics(SM_CXSCREEN));
    RECT r, kept{};
    GetWindowRect(window_, &r);
    EXPECT_EQ(r.right - r.left, 320);
    EXPECT_EQ(r.bottom - r.top, 216);
    enum Place { kAny, kKeep, kKept, kMaximised };
    const struct {
        int command;
        DWORD style;  // under 0x00CF0000
        bool topmost;
        int titleBar;
        Place place;
    } steps[] = {
        {0, 0x00CE0000u, false, 1, kAny},
        {kCommandTopmost, 0x00CE0000u, true, 1, kAny},
        {kCommandNotTopmost, 0x00CE0000u, false, 1, kAny},
        {kCommandBottom, 0x00CE0000u, false, 1, kAny},
        {kCommandTitleBar, 0x00040000u, false, 0, kKeep},
        {kCommandMaximise, 0x00040000u, false, 0, kMaximised},
        {kCommandRestore, 0x00040000u, false, 0, kKept},
        {kCommandTitleBar, 0x00CE0000u, false, 1, kAny},
        {kCommandMaximise, 0x00040000u, false, 0, kMaximised},
        {kCommandRestore, 0x00CE0000u, false, 1, kAny},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.command);
        if (step.command) Command(step.command);
        EXPECT_EQ(Style(window_) & 0x00CF0000u, step.style);
        EXPECT_EQ((Style(window_, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0, step.topmost);
        EXPECT_EQ(Viewer().TitleBarOn, step.titleBar);
        GetWindowRect(window_, &r);
        if (step.place == kKeep) kept = r;
        if (step.place == kKept) {
            EXPECT_EQ((std::vector<LONG>{r.left, r.right - r.left}),
                      (std::vector<LONG>{kept.left, kept.right - kept.left}));
        }
        if (step.place == kMaximised) {
            EXPECT_EQ((std::vector<LONG>{r.left, r.top, r.right - r.left}),
                      (std::vector<LONG>{-4, -4, GetSystemMetrics(SM_CXSCREEN) + 8}));
        }
    }
}

// The numbers are worked by hand: sin(4.0) x 400 = -302.7, cut to -302;
// x = (400 + 302) >> 1 = 351; sin(0.5) x 300 = 143.8.
TEST(DisplayLayout, SpinWidthsCentresAndBands) {
    DrawRect r = FitDrawRect(SIZE{400, 300}, SIZE{400, 300}, true, 40);
    EXPECT_EQ(r.width, -302);  // mirrored for half a turn
    EXPECT_EQ(r.x, 351);       // a negative width puts x right of centre
    SideBands bands = SpinSideBands(r);
    EXPECT_EQ(bands.left, 49);
    EXPECT_EQ(bands.right, 351);
    DrawRect still = TrueSizeSpinRect(SIZE{300, 200}, SIZE{500, 400}, 7, 0);
    EXPECT_EQ(still.width, 300);
    EXPECT_EQ(still.y, 100);
    EXPECT_EQ(TrueSizeSpinRect(SIZE{300, 200}, SIZE{500, 400}, 5, 10).width, 143);
}
