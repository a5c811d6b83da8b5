// Transparency: coverage made premultiplied, the all-zero rule, shrinking
// without fringes, and the background under clear parts.
#include <gtest/gtest.h>

#include "image/picture_pipeline.h"
#include "tests/image/dib_test_helpers.h"

namespace {
// A 32-bit BMP (bottom row first) of straight alpha: pixel (x, y) is argb(x, y).
Bytes AlphaBmp(int width, int height, uint32_t (*argb)(int x, int y)) {
    Bytes data;
    for (int y = height - 1; y >= 0; --y)
        for (int x = 0; x < width; ++x) PutU32(data, argb(x, y));
    return BmpFile(40, width, height, 32, BI_RGB, {}, {}, data);
}
uint32_t RedThenClearGreen(int x, int) {
    return x < 8 ? 0xFFFF0000u : 0x0000FF00u;
}
uint32_t HalfRed(int, int) {
    return 0x80FF0000u;
}
uint32_t NoAlpha(int x, int) {
    return x < 8 ? 0x00FF0000u : 0x0000FF00u;
}

class Transparency : public ImageTest {
protected:
    void TearDown() override { ResetPictureDisplayOptions(), ImageTest::TearDown(); }
    // The picture through the pipeline, then shrunk to width x 1 and composited.
    std::vector<Rgb> Shown(uint32_t (*argb)(int, int), int width) {
        HLOCAL h, p;
        EXPECT_TRUE(
            LoadDisplayPicture(Write("alpha.bmp", AlphaBmp(16, 1, argb)).c_str(), nullptr, 0, &h, &p));
        LockedDib dib(h, p);
        EXPECT_EQ(ScaleForDisplay(PictureDisplayOptions(), dib.header, dib.pixels, width, 1), 1);
        std::vector<Rgb> row;
        for (int x = 0; x < width; ++x) row.push_back(PixelAt(dib, x, 0));
        return row;
    }
};
}  // namespace

TEST_F(Transparency, CoverageOverTheBackgroundWithoutFringesAndAllZeroAlphaIsOpaque) {
    const Rgb red{255, 0, 0}, green{0, 255, 0}, light{238, 238, 238}, dark{204, 204, 204}, blue{0, 0, 255};
    const Rgb halfOverLight{247, 119, 119}, halfOverDark{230, 102, 102};
    // Full size over the checkerboard: cells of 8 pixels from the corner.
    const std::vector<Rgb> full = Shown(RedThenClearGreen, 16), half = Shown(HalfRed, 16);
    EXPECT_EQ((std::vector<Rgb>{full[0], full[7], full[8], full[15]}),
              (std::vector<Rgb>{red, red, dark, dark}));
    EXPECT_EQ((std::vector<Rgb>{half[0], half[8]}), (std::vector<Rgb>{halfOverLight, halfOverDark}));
    EXPECT_EQ(Shown(NoAlpha, 2), (std::vector<Rgb>{red, green}));  // all alpha 0: opaque
    // Shrunk to 2 and then 1 pixel: the clear green adds nothing to the edge.
    EXPECT_EQ(Shown(RedThenClearGreen, 2), (std::vector<Rgb>{red, light}));
    EXPECT_TRUE(Near(Shown(RedThenClearGreen, 1)[0], halfOverLight, 2));
    PictureDisplayOptions().background = Background{false, RGB(0, 0, 255)};
    EXPECT_EQ(Shown(RedThenClearGreen, 2), (std::vector<Rgb>{red, blue}));
    ASSERT_NE(SaveDisplayPictureAsBmp(dir_.File("alpha.bmp").c_str(), dir_.File("wall.bmp").c_str()), 0);
    EXPECT_EQ(PixelAt(LoadDib(dir_.File("wall.bmp")), 15, 0), blue);  // the wallpaper takes the colour
    PictureDisplayOptions().keepTransparency = false;                 // off: the stored colours, as before
    EXPECT_EQ(Shown(RedThenClearGreen, 16)[15], green);
}
