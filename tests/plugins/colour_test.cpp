// Pictures that carry a colour profile, shown in the display's colours.
// ImageMagick makes the tagged pictures and, with Little CMS, their sRGB
// references before the tests run (tests/plugins/make_colour_pictures.sh).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

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

// Each tagged picture against Little CMS's conversion of it, within 3 of 255 in each channel;
// off, and with a profile the colour system cannot use, the stored numbers.
TEST_F(ColourManaged, TaggedPicturesShowTheirProfilesColoursAndUntaggedNumbersStayAsStored) {
    const Bytes jpeg = MakeJpeg(80, 16, [](int x, int) { return kBlocks[x / 16]; }, JpegOptions{JpegKind::Colour, 100});
    struct Case {
        std::string name;
        Bytes bytes;       // written by the test; empty: made beforehand
        int referenced;    // against name's sRGB reference: 1 when managed, 2 always (CMYK is read so)
    };
    const Case cases[] = {
        {"swapped.jpg", {}, 1},      {"swapped.png", {}, 1},     {"AdobeRGB1998.jpg", {}, 1},
        {"AdobeRGB1998.png", {}, 1}, {"ProPhotoRGB.jpg", {}, 1}, {"ProPhotoRGB.png", {}, 1},
        {"cmyk.jpg", {}, 2},         {"cmyk-profiled.jpg", {}, 2},
        {"ycck.jpg", MakeJpeg(80, 16, [](int x, int) { return kBlocks[x / 16]; }, {JpegKind::Ycck, 100}), 0},
        {"refused.jpg", WithSegment(jpeg, 0xE2, IccChunks(BrokenProfile("RGB "), 400)[0]), 0},
        {"grey.jpg", WithSegment(jpeg, 0xE2, IccChunks(BrokenProfile("GRAY"), 400)[0]), 0},
    };
    for (const Case& c : cases)
        for (bool manage : {true, false}) {
            SCOPED_TRACE(c.name + (manage ? " managed" : " as stored"));
            PictureDisplayOptions().manageColours = manage;
            const std::string path = c.bytes.empty() ? kMade + c.name : Write(c.name, c.bytes);
            if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
                std::printf("[   NOTE   ] %s was not made: its profile is not installed\n", c.name.c_str());
                continue;
            }
            DibPixels shown, reference;
            ASSERT_EQ(LoadDisplayPicture(path.c_str(), nullptr, 0, &shown.header, &shown.pixels), 1);
            const bool swapped = c.name.rfind("swapped", 0) == 0;
            if (c.referenced == 2 || (manage && c.referenced)) {
                const std::string stem = c.name.substr(0, c.name.find('.'));
                const std::string kind = c.name.substr(c.name.find('.') + 1);
                const std::string ref = kMade + stem + "-" + kind + "-srgb.bmp";
                ASSERT_EQ(LoadPicture(ref.c_str(), nullptr, 0, &reference.header, &reference.pixels), 1);
            }
            for (int x = 8; x < shown.Width(); x += 16) {
                const Rgba got = shown.At(x, 8);
                const Rgb want = reference.header ? Rgb{uint8_t(reference.At(x, 8).r), uint8_t(reference.At(x, 8).g),
                                                        uint8_t(reference.At(x, 8).b)}
                                 : swapped        ? Rgb{0, 200, 0}
                                                  : kBlocks[x / 16];
                EXPECT_LE(std::max({std::abs(got.r - want.r), std::abs(got.g - want.g), std::abs(got.b - want.b)}), 3)
                    << x << ": " << got.r << "," << got.g << "," << got.b;
                // The swapped profile shows red where the numbers say green.
                if (swapped) {
                    EXPECT_EQ(got.r > 150 && got.g < 60, manage);
                }
            }
        }
}
