// Transparency: coverage made premultiplied, the all-zero rule, shrinking
// without fringes, and the background under clear parts.
#include <gtest/gtest.h>

#include "image/picture_pipeline.h"
#include "tests/image/dib_test_helpers.h"

namespace {
// A 16 x 1 BMP of 32 bits, straight alpha: left half left, right half right (0xAARRGGBB).
Bytes AlphaBmp(uint32_t left, uint32_t right) {
    Bytes data;
    for (int x = 0; x < 16; ++x) PutU32(data, x < 8 ? left : right);
    return BmpFile(40, 16, 1, 32, BI_RGB, {}, {}, data);
}
constexpr uint32_t kRed = 0xFFFF0000u, kClearGreen = 0x0000FF00u, kHalfRed = 0x80FF0000u,
                   kNoAlphaRed = 0x00FF0000u;

class Transparency : public ImageTest {
protected:
    void TearDown() override { ResetPictureDisplayOptions(), ImageTest::TearDown(); }
    // The picture through the pipeline, then shrunk to width x 1 and composited.
    std::vector<Rgb> Shown(uint32_t left, uint32_t right, int width) {
        HLOCAL h, p;
        EXPECT_TRUE(
            LoadDisplayPicture(Write("alpha.bmp", AlphaBmp(left, right)).c_str(), nullptr, 0, &h, &p));
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
    const std::vector<Rgb> full = Shown(kRed, kClearGreen, 16), half = Shown(kHalfRed, kHalfRed, 16);
    EXPECT_EQ((std::vector<Rgb>{full[0], full[7], full[8], full[15]}),
              (std::vector<Rgb>{red, red, dark, dark}));
    EXPECT_EQ((std::vector<Rgb>{half[0], half[8]}), (std::vector<Rgb>{halfOverLight, halfOverDark}));
    EXPECT_EQ(Shown(kNoAlphaRed, kClearGreen, 2), (std::vector<Rgb>{red, green}));  // all alpha 0: opaque
    // Shrunk to 2 and then 1 pixel: the clear green adds nothing to the edge.
    EXPECT_EQ(Shown(kRed, kClearGreen, 2), (std::vector<Rgb>{red, light}));
    EXPECT_TRUE(Near(Shown(kRed, kClearGreen, 1)[0], halfOverLight, 2));
    PictureDisplayOptions().background = Background{false, RGB(0, 0, 255)};
    EXPECT_EQ(Shown(kRed, kClearGreen, 2), (std::vector<Rgb>{red, blue}));
    ASSERT_NE(SaveDisplayPictureAsBmp(dir_.File("alpha.bmp").c_str(), dir_.File("wall.bmp").c_str()), 0);
    EXPECT_EQ(PixelAt(LoadDib(dir_.File("wall.bmp")), 15, 0), blue);  // the wallpaper takes the colour
    PictureDisplayOptions().keepTransparency = false;                 // off: the stored colours, as before
    EXPECT_EQ(Shown(kRed, kClearGreen, 16)[15], green);
}
