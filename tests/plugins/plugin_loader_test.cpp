// The plug-ins as the rest of the program meets them: through the picture
// loader's dispatch, name and content tests and picture facts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <tuple>

#include "image/picture_loader.h"
#include "image/picture_pipeline.h"
#include "image/plugin_host.h"
#include "tests/plugins/plugin_fixtures.h"
#include "tests/support/jpeg_test_files.h"

namespace {
// The numbers blocks.png of the colour tests stores, 16 pixels a block.
const Rgb kBlocks[] = {{220, 40, 30}, {30, 200, 60}, {40, 60, 210}, {128, 128, 128}, {250, 240, 20}};

class PluginLoading : public PluginTest {
protected:
    void TearDown() override {
        UnloadPlugins();
        ResetPictureDisplayOptions();
    }
    TempDir filters;
    ComThread com;
};

TEST_F(PluginLoading, WithoutAnyPluginBmpAndJpegStillOpenAndAPngDoesNot) {
    EXPECT_EQ(LoadPlugins(filters.Path().c_str()), 0);
    struct Case {
        const char* name;
        Bytes bytes;
        int width;  // 0: not a picture
    };
    const Case cases[] = {
        {"picture.bmp", MakeBmp(6, 4, 24), 6},
        {"picture.jpg", EncodeWithWic(GUID_ContainerFormatJpeg, Bgr24Source(16, 8)), 16},
        {"picture.png", EncodeWithWic(GUID_ContainerFormatPng, Bgr24Source(7, 5)), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.bytes.empty());
        std::string path = Write(c.name, c.bytes);
        DibPixels dib;
        ASSERT_EQ(LoadPicture(path.c_str(), nullptr, 0, &dib.header, &dib.pixels), c.width ? 1 : 0);
        EXPECT_EQ(IsPictureName(path.c_str()), c.width ? 1 : 0);
        if (c.width) {
            EXPECT_EQ(dib.Width(), c.width);
        } else {
            EXPECT_EQ(LastLoadError, kLoadNotThisFormat);
            EXPECT_EQ(IsPictureFile(path.c_str()), 0);
        }
    }
}

TEST_F(PluginLoading, AnUpperCasePatternMakesAnyCaseAPictureName) {
    ASSERT_EQ(LoadPlugins(TestPluginFolder("upperpic").c_str()), 1);  // "*.TPC;*.PIC"
    for (const char* yes : {"C:\\pictures\\x.Pic", "x.pic", "x.PIC"}) EXPECT_EQ(IsPictureName(yes), 1) << yes;
    EXPECT_EQ(IsPictureName("x.pix"), 0);
    EXPECT_EQ(IsPictureName("C:\\my.pic\\x"), 0);  // the "." of a folder is no extension
}

TEST_F(PluginLoading, AFailingPluginIsFollowedByTheBmpReader) {
    ASSERT_EQ(LoadPlugins(TestPluginFolder("failall").c_str()), 1);
    DibPixels dib, none;
    ASSERT_EQ(
        LoadPicture(Write("picture.bmp", MakeBmp(6, 4, 24)).c_str(), nullptr, 0, &dib.header, &dib.pixels),
        1);
    EXPECT_EQ(dib.Width(), 6);
    EXPECT_EQ(dib.At(2, 1).r, DistinctPixel(2, 1).r);
    // Under another name the BMP reader is not asked: the plug-in's failure
    // ends as "no reader".
    EXPECT_EQ(
        LoadPicture(Write("picture.dib", MakeBmp(6, 4, 24)).c_str(), nullptr, 0, &none.header, &none.pixels),
        0);
    EXPECT_EQ(LastLoadError, kLoadNotThisFormat);
}

TEST_F(PluginLoading, APluginsPictureIsAPictureByNameAndContentAndOpensWithItsFactsAndAsABitmap) {
    // A tiny picture through its test plug-in, PNGs through the WIC filter
    // beside the program; a preview of a picture smaller than the preview
    // size is the plug-in's own preview, a larger one comes at that size.
    struct Case {
        const char* name;
        const char* plugins;  // null: the program's folder
        Bytes bytes;
        int width, height, previewWidth, previewHeight;
        const char* text;
    };
    const Case cases[] = {
        {"picture.tpc", "tinypic", MakeTinyPicture(6, 4, "note"), 6, 4, 3, 2, "note"},
        {"Picture.PNG", nullptr, EncodeWithWic(GUID_ContainerFormatPng, Bgr24Source(7, 5)), 7, 5, 7, 5,
         nullptr},
        {"large.png", nullptr, EncodeWithWic(GUID_ContainerFormatPng, Bgr24Source(900, 600)), 900, 600, 300,
         200, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UnloadPlugins();
        ASSERT_EQ(
            c.plugins ? LoadPlugins(TestPluginFolder(c.plugins).c_str()) : LoadPluginsFromProgramFolder(), 1);
        std::string path = Write(c.name, c.bytes);
        EXPECT_EQ(IsPictureName(path.c_str()), 1);
        EXPECT_EQ(IsPictureFile(path.c_str()), 1);
        DibPixels dib, preview;
        ASSERT_EQ(LoadPicture(path.c_str(), nullptr, 0, &dib.header, &dib.pixels), 1);
        EXPECT_TRUE(HasPixels(dib, c.width, c.height));
        ASSERT_EQ(LoadPreview(path.c_str(), nullptr, 0, &preview.header, &preview.pixels, 300), 1);
        EXPECT_EQ(preview.Width(), c.previewWidth);
        EXPECT_EQ(preview.Height(), c.previewHeight);
        PictureInfo info{};
        ASSERT_EQ(ReadPictureInfo(path.c_str(), &info), 1);
        EXPECT_EQ(info.width, c.width);
        EXPECT_EQ(info.height, c.height);
        // Through the helper the record comes back with the viewer's own copy of the text.
        EXPECT_STREQ(info.textHandle ? static_cast<const char*>(LocalLock(info.textHandle)) : nullptr,
                     c.text);
        if (info.textHandle) LocalUnlock(info.textHandle);
        FreePictureInfo(&info);
        EXPECT_EQ(info.textHandle, nullptr);
        HBITMAP bitmap = LoadPictureBitmap(GetDesktopWindow(), path.c_str(), nullptr, 0);
        ASSERT_NE(bitmap, nullptr);
        SIZE size{};
        GetBitmapDimensionEx(bitmap, &size);
        EXPECT_EQ(size.cx, c.width);
        EXPECT_EQ(size.cy, c.height);
        DeletePictureBitmap(GetDesktopWindow(), bitmap);
    }
}

// Large pictures come through a block the viewer made ready while the helper
// worked: of the last large picture's size, then of the size the helper
// announced. Whichever block the copy ends in, every pixel arrives.
TEST_F(PluginLoading, LargePicturesOfChangingSizesComeWholeThroughTheHelper) {
    ASSERT_EQ(LoadPluginsFromProgramFolder(), 1);
    // 8.6 MB, then 9.2 MB of pixels, then a picture too small to announce.
    std::string first = Write("first.png", EncodeWithWic(GUID_ContainerFormatPng, Bgr24Source(1800, 1600)));
    std::string second = Write("second.png", EncodeWithWic(GUID_ContainerFormatPng, Bgr24Source(1700, 1800)));
    std::string small = Write("small.png", EncodeWithWic(GUID_ContainerFormatPng, Bgr24Source(900, 600)));
    const struct {
        const std::string& path;
        int width, height;
    } cases[] = {{first, 1800, 1600}, {first, 1800, 1600}, {second, 1700, 1800}, {small, 900, 600}};
    for (const auto& c : cases) {
        DibPixels dib;
        ASSERT_EQ(LoadPicture(c.path.c_str(), nullptr, 0, &dib.header, &dib.pixels), 1) << c.path;
        EXPECT_TRUE(HasPixels(dib, c.width, c.height)) << c.path;
    }
}

// Each tagged picture against Little CMS's conversion of it (name.bmp), within 3 of 255 in each
// channel; off, and with a profile the colour system cannot use, the stored numbers. CMYK is read
// through its profile (or the formula) whatever the option.
// ImageMagick makes the tagged pictures and, with Little CMS, their sRGB references before the
// tests run (tests/plugins/make_colour_pictures.sh).
TEST_F(PluginLoading, TaggedPicturesShowTheirProfilesColoursAndUntaggedNumbersStayAsStored) {
    const std::string made = "colour\\";
    if (GetFileAttributesA((made + "blocks.png").c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "no tagged pictures: ImageMagick or colord-data is missing";
    ASSERT_EQ(LoadPluginsFromProgramFolder(), 1);
    auto blocks = [](JpegKind kind) {
        return MakeJpeg(80, 16, [](int x, int) { return kBlocks[x / 16]; }, {kind, 100});
    };
    // A profile of an RGB space that the colour system refuses (absurdly many tags), and a grey one.
    const double colorants[3][3] = {{0.6, 0.3, 0.02}, {0.2, 0.6, 0.06}, {0.15, 0.06, 0.75}};
    auto tagged = [&](const char* space, uint8_t tags) {
        Bytes profile = MatrixProfile(colorants, 2.2, false);
        std::copy_n(space, 4, profile.begin() + 16);
        profile[128] = tags;
        return WithSegment(blocks(JpegKind::Colour), 0xE2, IccChunks(profile, 65000)[0]);
    };
    // Name, bytes (empty: made beforehand), 1 or 2 as above.
    std::vector<std::tuple<std::string, Bytes, int>> cases = {{"cmyk.jpg", {}, 2},
                                                              {"cmyk-profiled.jpg", {}, 2},
                                                              {"ycck.jpg", blocks(JpegKind::Ycck), 0},
                                                              {"refused.jpg", tagged("RGB ", 0x7F), 0},
                                                              {"grey.jpg", tagged("GRAY", 0), 0}};
    for (const char* space : {"SwappedRedAndGreen", "AdobeRGB1998", "ProPhotoRGB"})
        for (const char* kind : {".jpg", ".png"}) cases.push_back({space + std::string(kind), {}, 1});
    for (const auto& [name, bytes, referenced] : cases)
        for (bool manage : {true, false}) {
            SCOPED_TRACE(name + (manage ? " managed" : " as stored"));
            PictureDisplayOptions().manageColours = manage;
            const std::string path = bytes.empty() ? made + name : Write(name, bytes), ref = path + ".bmp";
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
                const Rgb& s = kBlocks[x / 16];
                const Rgba got = shown.At(x, 8),
                           want = reference.header ? reference.At(x, 8) : Rgba{s.r, s.g, s.b, 0};
                EXPECT_LE(
                    std::max({std::abs(got.r - want.r), std::abs(got.g - want.g), std::abs(got.b - want.b)}),
                    3)
                    << x;
            }
            // The swapped profile shows the green block red.
            if (name.rfind("Swapped", 0) == 0) {
                EXPECT_EQ(shown.At(24, 8).r > shown.At(24, 8).g, manage);
            }
        }
    DibPixels turned;  // a TIFF's orientation, through the helper, turns it upright
    ASSERT_EQ(LoadDisplayPicture((made + "oriented.tif").c_str(), nullptr, 0, &turned.header, &turned.pixels), 1);
    EXPECT_EQ(std::make_pair(turned.Width(), turned.Height()), std::make_pair(16, 80));
}

}  // namespace
