// The viewer window showing pictures: the layout arithmetic, then real
// windows on the test display, checked in captured pixels and the state:
// BMP pictures and a JPEG page turned by its album orientation.
#include <algorithm>
#include <cstdlib>
#include <thread>
#include <tuple>

#include "album/zub_album.h"
#include "app/album_commands.h"
#include "app/display_layout.h"
#include "app/picture_display.h"
#include "app/viewer_state.h"
#include "app/window_commands.h"
#include "image/dib_image.h"
#include "image/picture_pipeline.h"
#include "image/plugin_host.h"
#include "image/transforms.h"
#include "tests/app/viewer_fixture.h"
#include "tests/plugins/plugin_fixtures.h"
#include "tests/support/jpeg_test_files.h"

namespace {
// A picture whose pixels say where they are: red grows with x, green with y.
Rgb Coordinates(int x, int y) {
    return Rgb{static_cast<uint8_t>(x % 251), static_cast<uint8_t>(y % 241), static_cast<uint8_t>(200)};
}
DWORD Style(HWND window, int which = GWL_STYLE) {
    return static_cast<DWORD>(GetWindowLongA(window, which));
}

// Four flat quadrants, 32 x 16 pixels each, so that the JPEG keeps them.
constexpr int kWidth = 64;
constexpr int kHeight = 32;
Rgb Quadrants(int x, int y) {
    const Rgb quadrants[2][2] = {{{230, 30, 30}, {30, 200, 40}}, {{30, 40, 220}, {240, 220, 30}}};
    return quadrants[y < kHeight / 2 ? 0 : 1][x < kWidth / 2 ? 0 : 1];
}

void IgnoreNotice(const char*) {}
}  // namespace

// 640 x 480 in 640 x 483: both whole percentages are 100, so the height
// limits and two columns are cut off at each side.
TEST_F(ViewerWindowTest, FitDisplayScalesAndCentresThePicture) {
    WriteBmp(dir_.File("wide.bmp"), 640, 480, 24, false, Coordinates);
    for (const auto& [client, drawn] : {std::pair{SIZE{640, 483}, std::vector<int>{-2, 0, 644, 483}},
                                        std::pair{SIZE{636, 480}, std::vector<int>{0, 1, 636, 477}}}) {
        const DrawRect r = FitDrawRect(SIZE{640, 480}, client, false, 0);
        EXPECT_EQ((std::vector<int>{r.x, r.y, r.width, r.height}), drawn);
        SetClientSize(client.cx, client.cy);
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
    ViewerState& v = Viewer();
    SetClientSize(500, 400);
    Command(kCommandFitOrTrueSize);
    // The picture, its origin, whether it overflows across.
    for (const auto& [picture, origin, overflowX] :
         {std::tuple{SIZE{300, 200}, POINT{100, 100}, 0}, std::tuple{SIZE{1000, 300}, POINT{0, 50}, 1}}) {
        SCOPED_TRACE(picture.cx);
        const POINT o = TrueSizeOrigin(picture, SIZE{500, 400});
        EXPECT_EQ((std::vector<LONG>{o.x, o.y}), (std::vector<LONG>{origin.x, origin.y}));
        const std::string name = dir_.File(std::to_string(picture.cx) + ".bmp");
        WriteBmp(name, picture.cx, picture.cy, 24, false, Coordinates);
        Show(name);
        EXPECT_EQ((std::vector<int>{v.OverflowX, v.OverflowY, v.ScrollX, v.ScrollY}),
                  (std::vector<int>{overflowX, 0, 0, 0}));
        ClientPixels p(window_);
        const int seenX = std::min<int>(picture.cx, 500), seenY = std::min<int>(picture.cy, 400);
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
    for (const auto& [dx, scrollX] : {std::pair{-200, 200}, {-700, 500}}) {
        MouseAt(WM_MOUSEMOVE, MK_LBUTTON, 300 + dx, 340);
        EXPECT_EQ(v.ScrollX, scrollX);
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
    // The picture, whether the size is the window's rather than the client's, the size.
    Viewer().Settings.KeepWindowSize = 0;
    for (const auto& [picture, outer, size] : {std::tuple{SIZE{2000, 1500}, true, SIZE{screenX, screenY}},
                                               std::tuple{SIZE{200, 120}, false, SIZE{200, 120}}}) {
        const std::string name = dir_.File(std::to_string(picture.cx) + ".bmp");
        WriteBmp(name, picture.cx, picture.cy, 8);
        Show(name);
        RECT r;
        outer ? GetWindowRect(window_, &r) : GetClientRect(window_, &r);
        EXPECT_EQ((std::vector<LONG>{r.right - r.left, r.bottom - r.top, Viewer().PictureSize.cx,
                                     Viewer().PictureSize.cy}),
                  (std::vector<LONG>{size.cx, size.cy, picture.cx, picture.cy}));
    }
}

// A picture that cannot be shown changes nothing but the picture: the
// window keeps its size (also where it would follow the picture, as at
// start-up), its title and the picture size; the client area turns black.
// The title is the name after the last separator: "表" is 0x95 0x5C in
// Shift-JIS, and its second byte is no separator.
TEST_F(ViewerWindowTest, AFailedLoadLeavesSizeTitleAndPictureSizeAndShowsBlack) {
    ViewerState& v = Viewer();
    const std::string first = "\x95\x5C紙.bmp";
    WriteBmp(dir_.File(first), 64, 48, 24, false, Coordinates);
    ASSERT_TRUE(WriteFileBytes(dir_.File("damaged.bmp"), Bytes{'B', 'M', 1, 2, 3}));
    for (const char* failing : {"missing.bmp", "damaged.bmp", ""}) {
        for (int keepSize : {1, 0}) {
            SCOPED_TRACE(std::string(failing) + (keepSize ? " keep" : " follow"));
            v.Settings.KeepWindowSize = keepSize;
            Show(dir_.File(first));
            ASSERT_EQ(WindowText(window_), first);
            RECT before, after;
            GetWindowRect(window_, &before);
            Show(failing[0] ? dir_.File(failing) : std::string());
            GetWindowRect(window_, &after);
            EXPECT_EQ(v.ShownBitmap, nullptr);
            EXPECT_EQ(WindowText(window_), first);
            EXPECT_TRUE(EqualRect(&before, &after));
            EXPECT_EQ((std::vector<LONG>{v.PictureSize.cx, v.PictureSize.cy}), (std::vector<LONG>{64, 48}));
            ClientPixels pixels(window_);
            EXPECT_TRUE(pixels.IsBlack(pixels.Width() / 2, pixels.Height() / 2));
        }
    }
}

// Each step runs on the window the previous one left: a maximise and
// restore bring back the place and the title bar as they were.
TEST_F(ViewerWindowTest, MaximiseAndRestoreKeepThePlaceAndTheTitleBar) {
    RECT r, kept{};
    // The command, the style under 0x00CF0000, the title bar flag, whether the place is the one kept.
    const std::tuple<int, DWORD, int, bool> steps[] = {
        {kCommandTitleBar, 0x00040000u, 0, false}, {kCommandMaximise, 0x00040000u, 0, false},
        {kCommandRestore, 0x00040000u, 0, true},   {kCommandTitleBar, 0x00CE0000u, 1, false},
        {kCommandMaximise, 0x00040000u, 0, false}, {kCommandRestore, 0x00CE0000u, 1, false},
    };
    for (const auto& [command, style, titleBar, keptPlace] : steps) {
        SCOPED_TRACE(command);
        Command(command);
        EXPECT_EQ(Style(window_) & 0x00CF0000u, style);
        EXPECT_EQ(Viewer().TitleBarOn, titleBar);
        GetWindowRect(window_, &r);
        if (command == kCommandTitleBar && !titleBar) kept = r;  // the place a restore comes back to
        if (keptPlace) {
            EXPECT_EQ(std::make_pair(r.left, r.right - r.left),
                      std::make_pair(kept.left, kept.right - kept.left));
        }
    }
}

// The numbers are worked by hand: sin(4.0) x 400 = -302.7, cut to -302;
// x = (400 + 302) >> 1 = 351, right of centre for a mirrored drawing;
// sin(0.5) x 300 = 143.8.
// The fitted spin is seen in pixels by the tick's tests.
TEST(DisplayLayout, TrueSizeSpinWidths) {
    const DrawRect still = TrueSizeSpinRect(SIZE{300, 200}, SIZE{500, 400}, 7, 0);
    EXPECT_EQ((std::vector<int>{still.width, still.y}), (std::vector<int>{300, 100}));
    EXPECT_EQ(TrueSizeSpinRect(SIZE{300, 200}, SIZE{500, 400}, 5, 10).width, 143);
}

// Every page orientation, and every EXIF orientation turned upright first
// and then by a page orientation; the option off shows the stored pixels.
TEST_F(ViewerWindowTest, JpegPageIsShownInEachOrientation) {
    ViewerState& v = Viewer();
    SetClientSize(200, 200);
    Command(kCommandFitOrTrueSize);  // true size: pixels land unscaled
    v.Album->AddPage(dir_.File("quadrants.jpg").c_str());
    struct Row {
        int exif, code;
        bool upright;
    };  // exif 0: no EXIF segment
    std::vector<Row> rows = {{6, 1, false}};
    for (int code = 0; code < 8; ++code)
        rows.push_back({0, code, true}), rows.push_back({code + 1, code * 3 % 8, true});
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.exif << " " << row.code << " " << row.upright);
        const Bytes jpeg = MakeJpeg(kWidth, kHeight, Quadrants);
        ASSERT_TRUE(WriteFileBytes(dir_.File("quadrants.jpg"),
                                   row.exif ? WithSegment(jpeg, 0xE1, ExifBody(row.exif)) : jpeg));
        PictureDisplayOptions().uprightByExif = row.upright;
        v.Album->SetPageOrientation(0, row.code);
        v.CurrentZubIndex = 0;
        SetDisplayMode(window_, kZubDisplay);
        Repaint();
        const int exif = row.upright ? row.exif : 0;
        const int uw = exif >= 5 ? kHeight : kWidth, uh = exif >= 5 ? kWidth : kHeight;
        const bool swapped = OrientationSwapsSides(row.code);
        const int width = swapped ? uh : uw, height = swapped ? uw : uh;
        ASSERT_EQ((std::vector<LONG>{v.PictureSize.cx, v.PictureSize.cy}),
                  (std::vector<LONG>{width, height}));
        ClientPixels pixels(window_);
        // The centre of each quadrant of the shown picture, where it lies in the upright picture
        // (by page code), and where that lies in the stored one (by EXIF's definition).
        for (int q = 0; q < 4; ++q) {
            const int x = width / 4 + (q % 2) * width / 2, y = height / 4 + (q / 2) * height / 2;
            const int w = uw, h = uh;
            const POINT byCode[8] = {{x, y}, {y, h - 1 - x}, {w - 1 - x, h - 1 - y}, {w - 1 - y, x},
                                     {y, x}, {w - 1 - x, y}, {w - 1 - y, h - 1 - x}, {x, h - 1 - y}};
            const int ux = byCode[row.code].x, uy = byCode[row.code].y, sw = kWidth, sh = kHeight;
            const POINT byExif[9] = {
                {ux, uy},          {ux, uy}, {sw - 1 - ux, uy}, {sw - 1 - ux, sh - 1 - uy},
                {ux, sh - 1 - uy}, {uy, ux}, {uy, sh - 1 - ux}, {sw - 1 - uy, sh - 1 - ux},
                {sw - 1 - uy, ux}};
            const POINT from = byExif[exif];
            const Rgb shown = pixels.At((200 - width) / 2 + x, (200 - height) / 2 + y);
            EXPECT_TRUE(Near(shown, Quadrants(from.x, from.y), 23))
                << "quadrant " << q << ": " << int(shown.r) << " " << int(shown.g) << " " << int(shown.b);
        }
    }
}

// Clear parts over 8 x 8 screen cells or a chosen colour, at true size and
// fitted (the cells stay 8 screen pixels); alpha all 0 is opaque; the
// option off draws the stored colours.
TEST_F(ViewerWindowTest, TransparentPartsShowTheBackground) {
    Bytes clear, none;  // 32 x 32, bottom row first: left half clear green, right half red
    for (int i = 0; i < 32 * 32; ++i)
        PutU32(clear, i % 32 < 16 ? 0x0000FF00u : 0xFFFF0000u),
            PutU32(none, i % 32 < 16 ? 0x0000FF00u : 0x00FF0000u);
    WriteFileBytes(dir_.File("clear.bmp"), BmpFile(40, 32, 32, 32, BI_RGB, {}, {}, clear));
    WriteFileBytes(dir_.File("none.bmp"), BmpFile(40, 32, 32, 32, BI_RGB, {}, {}, none));
    const Rgb red{255, 0, 0}, green{0, 255, 0}, light{238, 238, 238}, dark{204, 204, 204}, blue{0, 0, 255};
    SetClientSize(128, 128);  // fitted: the picture four times larger
    // Rows: file, true size, options; three pixels of the top cells' row.
    // clang-format off
    struct Row { const char* file; bool trueSize; Background background; bool keep; std::vector<Rgb> want; };
    // clang-format on
    const Row rows[] = {{"clear.bmp", false, {}, true, {light, dark, red}},
                        {"clear.bmp", false, {false, RGB(0, 0, 255)}, true, {blue, blue, red}},
                        {"none.bmp", false, {}, true, {green, green, red}},
                        {"clear.bmp", false, {}, false, {green, green, red}},
                        {"clear.bmp", true, {}, true, {light, dark, red}}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.file << row.trueSize << row.keep);
        PictureDisplayOptions().background = row.background;
        PictureDisplayOptions().keepTransparency = row.keep;
        if (row.trueSize) Command(kCommandFitOrTrueSize);
        Show(dir_.File(row.file));
        ClientPixels pixels(window_);
        // True size: centred at (48, 48), the cells from its corner.
        const int x = row.trueSize ? 48 : 0, y = row.trueSize ? 50 : 2;
        EXPECT_EQ((std::vector<Rgb>{pixels.At(x + 2, y), pixels.At(x + 10, y),
                                    pixels.At(row.trueSize ? 78 : 100, y)}),
                  row.want);
    }
}

// While a plug-in hangs the window answers what another program sends; a
// close sent meanwhile waits until the load has returned.
TEST_F(ViewerWindowTest, WhileAPluginHangsTheWindowAnswersAndACloseWaitsForTheLoad) {
    SetPluginHangTimeout(700);
    SetPluginNoticeProc(IgnoreNotice);
    ASSERT_EQ(LoadPlugins(TestPluginFolder("unruly").c_str()), 1);
    const std::string hang = dir_.File("hang.tpc");
    WriteFileBytes(hang, MakeTinyPicture(5, 3, "hang"));
    lstrcpynA(Viewer().CurrentPath, hang.c_str(), MAX_PATH);
    bool answered = false;
    std::thread other([&] {
        Sleep(100);
        DWORD_PTR result = 0;
        answered = SendMessageTimeoutA(window_, WM_CLOSE, 0, 0, SMTO_NORMAL, 400, &result) != 0;
    });
    ShowPicture(window_);
    other.join();
    EXPECT_TRUE(answered);
    EXPECT_TRUE(IsWindow(window_));
    Pump();
    EXPECT_FALSE(IsWindow(window_));
    SetPluginHangTimeout(kPluginHangTimeout);
    SetPluginNoticeProc(nullptr);
}

// 60,000 x 60,000 pixels declared in a file of a few hundred bytes: every
// reader, and the host for a plug-in's picture, refuses it before asking for
// a block; the title says why (or, with the option off, stays), and the
// next picture shows.
TEST_F(ViewerWindowTest, APictureLargerThanMemoryIsRefusedUnreadAndTheTitleSaysWhy) {
    ViewerState& v = Viewer();
    auto patch = [](Bytes bytes, size_t at, std::initializer_list<uint8_t> values) {
        std::copy(values.begin(), values.end(), bytes.begin() + at);
        return bytes;
    };
    Bytes jpeg = MakeJpeg(16, 16, Coordinates);
    const uint8_t frame[] = {0xFF, 0xC0};
    jpeg = patch(jpeg, std::search(jpeg.begin(), jpeg.end(), frame, frame + 2) - jpeg.begin() + 5,
                 {0xEA, 0x60, 0xEA, 0x60});
    const std::pair<std::string, Bytes> files[] = {
        {"huge.bmp", patch(MakeBmp(4, 3, 24), 18, {0x60, 0xEA, 0, 0, 0x60, 0xEA, 0, 0})},
        {"huge.jpg", jpeg},
        {"huge.pmp", MakePmp(jpeg, 64)},
        {"huge.tpc", MakeTinyPicture(5, 3, "huge")}};
    ASSERT_EQ(LoadPlugins(TestPluginFolder("unruly").c_str()), 1);
    WriteBmp(dir_.File("next.bmp"), 8, 8);
    for (const auto& [name, bytes] : files) {
        for (int tell : {1, 0}) {
            SCOPED_TRACE(name + std::to_string(tell));
            ASSERT_TRUE(WriteFileBytes(dir_.File(name), bytes) && bytes.size() < 1024);
            v.Settings.TellRefusedPictures = tell;
            Show(dir_.File("next.bmp"));
            const uint64_t asked = DibBytesRequested();
            Show(dir_.File(name));
            EXPECT_EQ(DibBytesRequested(), asked);
            EXPECT_EQ(v.ShownBitmap, nullptr);
            EXPECT_EQ(WindowText(window_), tell ? name + " - 画像が大きすぎて表示できません" : "next.bmp");
        }
    }
    Show(dir_.File("next.bmp"));
    EXPECT_NE(v.ShownBitmap, nullptr);
}
