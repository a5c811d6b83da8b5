// Pictures that carry a colour profile, shown in the display's colours.
// ImageMagick makes the tagged pictures and, with Little CMS, their sRGB
// references before the tests run (tests/plugins/make_colour_pictures.sh).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <tuple>

#include "image/picture_loader.h"
#include "image/picture_pipeline.h"
#include "image/plugin_host.h"
#include "tests/plugins/plugin_fixtures.h"
#include "tests/support/jpeg_test_files.h"

namespace {
const std::string kMade = "colour\\";
// The numbers blocks.png stores, 16 pixels a block.
const Rgb kBlocks[] = {{220, 40, 30}, {30, 200, 60}, {40, 60, 210}, {128, 128, 128}, {250, 240, 20}};

// A profile header of an RGB space whose tags are no tags at all.
Bytes BrokenProfile(const char* space) {
    Bytes out(400, 0x11);
    out[0] = 0, out[1] = 0, out[2] = 400 >> 8, out[3] = 400 & 0xFF;
    std::copy_n(space, 4, out.begin() + 16);
    std::copy_n("acsp", 4, out.begin() + 36);
    return out;
}

class ColourManaged : public PluginTest {
protected:
    void SetUp() override {
        if (GetFileAttributesA((kMade + "blocks.png").c_str()) == INVALID_FILE_ATTRIBUTES)
            GTEST_SKIP() << "no tagged pictures: ImageMagick or colord-data is missing";
        ASSERT_EQ(LoadPluginsFromProgramFolder(), 1);
    }
    void TearDown() override {
        UnloadPlugins();
        ResetPictureDisplayOptions();
    }
    ComThread com;
};
}  // namespace

// Each tagged picture against Little CMS's conversion of it (name.bmp), within 3 of 255 in each
// channel; off, and with a profile the colour system cannot use, the stored numbers. CMYK is read
// through its profile (or the formula) whatever the option.
TEST_F(ColourManaged, TaggedPicturesShowTheirProfilesColoursAndUntaggedNumbersStayAsStored) {
    auto blocks = [](JpegKind kind) {
        return MakeJpeg(80, 16, [](int x, int) { return kBlocks[x / 16]; }, {kind, 100});
    };
    const std::tuple<std::string, Bytes, int> cases[] = {
        // name, bytes (empty: made beforehand), 1 or 2 as above
        {"SwappedRedAndGreen.jpg", {}, 1},
        {"SwappedRedAndGreen.png", {}, 1},
        {"AdobeRGB1998.jpg", {}, 1},
        {"AdobeRGB1998.png", {}, 1},
        {"ProPhotoRGB.jpg", {}, 1},
        {"ProPhotoRGB.png", {}, 1},
        {"cmyk.jpg", {}, 2},
        {"cmyk-profiled.jpg", {}, 2},
        {"ycck.jpg", blocks(JpegKind::Ycck), 0},
        {"refused.jpg", WithSegment(blocks(JpegKind::Colour), 0xE2, IccChunks(BrokenProfile("RGB "), 400)[0]),
         0},
        {"grey.jpg", WithSegment(blocks(JpegKind::Colour), 0xE2, IccChunks(BrokenProfile("GRAY"), 400)[0]),
         0}};
    for (const auto& [name, bytes, referenced] : cases)
        for (bool manage : {true, false}) {
            SCOPED_TRACE(name + (manage ? " managed" : " as stored"));
            PictureDisplayOptions().manageColours = manage;
            const std::string path = bytes.empty() ? kMade + name : Write(name, bytes), ref = path + ".bmp";
            if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
                std::printf("[   NOTE   ] %s was not made: its profile is not installed\n", name.c_str());
                continue;
            }
            DibPixels shown, reference;
            ASSERT_EQ(LoadDisplayPicture(path.c_str(), nullptr, 0, &shown.header, &shown.pixels), 1);
            if (referenced == 2 || (manage && referenced)) {
                ASSERT_EQ(LoadPicture(ref.c_str(), nullptr, 0, &reference.header, &reference.pixels), 1);
            }
            for (int x = 8; x < shown.Width(); x += 16) {
                const Rgba got = shown.At(x, 8), want = reference.header ? reference.At(x, 8) : Rgba{};
                const Rgb stored = kBlocks[x / 16];
                const int r = reference.header ? want.r : stored.r, g = reference.header ? want.g : stored.g,
                          b = reference.header ? want.b : stored.b;
                EXPECT_LE(std::max({std::abs(got.r - r), std::abs(got.g - g), std::abs(got.b - b)}), 3) << x;
            }
            // The swapped profile shows the green block red.
            if (name.rfind("Swapped", 0) == 0) {
                EXPECT_EQ(shown.At(24, 8).r > shown.At(24, 8).g, manage);
            }
        }
}
