// Album pages of other formats on screen: a JPEG in each of the eight
// orientations, and a PNG read through the plug-in that ships beside the
// program.
#include <gtest/gtest.h>

#include "album/zub_album.h"
#include "app/album_commands.h"
#include "app/viewer_state.h"
#include "app/window_commands.h"
#include "image/plugin_host.h"
#include "tests/app/viewer_fixture.h"
#include "tests/support/jpeg_test_files.h"
#include "tests/plugins/plugin_fixtures.h"

namespace {
// Four flat quadrants, 32 x 16 pixels each, so that the JPEG keeps them.
constexpr int kWidth = 64;
constexpr int kHeight = 32;
const Rgb kQuadrants[2][2] = {{{230, 30, 30}, {30, 200, 40}}, {{30, 40, 220}, {240, 220, 30}}};
Rgb Quadrants(int x, int y) {
    return kQuadrants[y < kHeight / 2 ? 0 : 1][x < kWidth / 2 ? 0 : 1];
}

// Where the pixel (x, y) of an oriented picture comes from in the source.
POINT SourceOf(int code, int x, int y) {
    const int w = kWidth, h = kHeight;
    const POINT byCode[8] = {{x, y}, {y, h - 1 - x}, {w - 1 - x, h - 1 - y}, {w - 1 - y, x},
                             {y, x}, {w - 1 - x, y}, {w - 1 - y, h - 1 - x}, {x, h - 1 - y}};
    return byCode[code];
}

bool Near(Rgb a, Rgb b) {
    return std::abs(a.r - b.r) < 24 && std::abs(a.g - b.g) < 24 && std::abs(a.b - b.b) < 24;
}
}  // namespace

TEST_F(ViewerWindowTest, JpegPageIsShownInEachOrientation) {
    ViewerState& v = Viewer();
    ASSERT_TRUE(WriteFileBytes(dir_.File("quadrants.jpg"), MakeJpeg(kWidth, kHeight, Quadrants)));
    SetClientSize(200, 200);
    Command(kCommandFitOrTrueSize);  // true size: pixels land unscaled
    v.Album->AddPage(dir_.File("quadrants.jpg").c_str());
    for (int code = 0; code < 8; ++code) {
        SCOPED_TRACE(code);
        v.Album->SetPageOrientation(0, code);
        v.CurrentZubIndex = 0;
        SetDisplayMode(window_, kZubDisplay);
        Repaint();
        const bool swapped = code == 1 || code == 3 || code == 4 || code == 6;
        const int width = swapped ? kHeight : kWidth;
        const int height = swapped ? kWidth : kHeight;
        ASSERT_EQ(v.PictureSize.cx, width);
        ASSERT_EQ(v.PictureSize.cy, height);
        ClientPixels pixels(window_);
        const int left = (200 - width) / 2, top = (200 - height) / 2;
        // The centre of each quadrant of the shown picture.
        for (int qy = 0; qy < 2; ++qy) {
            for (int qx = 0; qx < 2; ++qx) {
                const int x = width / 4 + qx * width / 2;
                const int y = height / 4 + qy * height / 2;
                const POINT from = SourceOf(code, x, y);
                const Rgb shown = pixels.At(left + x, top + y);
                const Rgb expected = Quadrants(from.x, from.y);
                EXPECT_TRUE(Near(shown, expected)) << "quadrant " << qx << "," << qy << ": " << int(shown.r)
                                                   << " " << int(shown.g) << " " << int(shown.b);
            }
        }
    }
}

TEST_F(ViewerWindowTest, PngOpensThroughTheShippedPlugin) {
    ViewerState& v = Viewer();
    ComThread com;
    const Bytes png = EncodeWithWic(GUID_ContainerFormatPng, SolidSource(48, 40, Rgb{20, 150, 230}));
    ASSERT_FALSE(png.empty());
    ASSERT_TRUE(WriteFileBytes(dir_.File("sky.png"), png));
    // The window's creation loaded the plug-ins beside the program.
    Show(dir_.File("sky.png"));
    ASSERT_NE(v.ShownBitmap, nullptr);
    EXPECT_EQ(v.PictureSize.cx, 48);
    EXPECT_EQ(v.PictureSize.cy, 40);
    EXPECT_EQ(WindowText(window_), "sky.png");
    ClientPixels pixels(window_);
    EXPECT_TRUE(Near(pixels.At(pixels.Width() / 2, pixels.Height() / 2), Rgb{20, 150, 230}));
}
