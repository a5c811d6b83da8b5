// The WIC filter called directly through its exports, on pictures written
// by WIC's own encoders (and icons laid out by hand, since WIC has no icon
// encoder).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>

#include "image/plugin_direct.h"
#include "tests/plugins/plugin_fixtures.h"

// The host as the helpers hold it, calling the libraries in this process.
using namespace direct;

namespace {

class WicPlugin : public PluginTest {
protected:
    void SetUp() override { ASSERT_EQ(BindPlugin(&plugin, WicPluginPath().c_str()), 1) << WicPluginPath(); }
    void TearDown() override {
        if (plugin.module) FreeLibrary(plugin.module);
    }

    // GetPicture (or GetPreview) from a file into dib; the filter's answer.
    int Picture(const std::string& path, DibPixels& dib, bool preview = false) {
        GetPictureProc call = preview ? plugin.GetPreview : plugin.GetPicture;
        return call(path.c_str(), 0, 0, &dib.header, &dib.pixels, DefaultProgress, 0);
    }
    int SupportsFile(const std::string& path) {
        HANDLE file =
            CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        int answer = plugin.IsSupported(path.c_str(), reinterpret_cast<DWORD_PTR>(file));
        CloseHandle(file);
        return answer;
    }
    // IsSupported as the host asks it, with the file's first 2 KB.
    int SupportsHead(const Bytes& bytes) {
        Bytes head(2048, 0);
        std::memcpy(head.data(), bytes.data(), std::min(bytes.size(), head.size()));
        return plugin.IsSupported("x.png", reinterpret_cast<DWORD_PTR>(head.data()));
    }

    PluginEntry plugin{};
    ComThread com;
};

int Opaque(int, int) {
    return 255;
}
int Graded(int x, int y) {
    return (x * 61 + y * 37) % 256;
}
int LeftHalf(int x, int) {
    return x < 4 ? 255 : 0;
}
Rgb Grey(int x, int y) {
    uint8_t level = uint8_t(x * 36 + y * 5);
    return Rgb{level, level, level};
}

TEST_F(WicPlugin, ReportsItsVersionAndPatterns) {
    char buffer[256] = {};
    EXPECT_EQ(plugin.GetPluginInfo(0, buffer, sizeof(buffer)), 4);
    EXPECT_STREQ(buffer, "00IN");
    EXPECT_GT(plugin.GetPluginInfo(2, buffer, 100), 0);
    EXPECT_STREQ(buffer, "*.png;*.gif;*.tif;*.tiff;*.ico");
    EXPECT_GT(plugin.GetPluginInfo(3, buffer, 100), 0);
    EXPECT_EQ(plugin.GetPluginInfo(4, buffer, 100), 0);
    EXPECT_EQ(plugin.GetPluginInfo(1, buffer, 5), 4);  // cut to fit, terminated
    EXPECT_EQ(std::strlen(buffer), 4u);
}

TEST_F(WicPlugin, EachFormatBecomesTopRowFirstPixelsOfTheExactColours) {
    // Without alpha 24 bits; a kept alpha channel 32 bits, opaque here so
    // that the colours stay as they were. An icon shows its largest image.
    auto png = [](const WicSource& source) { return EncodeWithWic(GUID_ContainerFormatPng, source); };
    struct Case {
        const char* name;
        Bytes bytes;
        int bits, width, height;
        short infoDepth;  // 0: the information call is not looked at
        PixelPattern pattern;
    };
    const Case cases[] = {
        {"rgb.png", png(Bgr24Source(7, 5)), 24, 7, 5, 0, DistinctPixel},
        {"opaque.png", png(Bgra32Source(7, 5, Opaque)), 32, 7, 5, 0, DistinctPixel},
        {"palette.png", png(Indexed8Source(7, 5)), 24, 7, 5, 8, DistinctPixel},
        {"grey.png",
         png(FilledSource(7, 5, GUID_WICPixelFormat8bppGray, 1, [](int x, int y) { return Grey(x, y).r; })),
         24, 7, 5, 0, Grey},
        {"picture.gif", EncodeWithWic(GUID_ContainerFormatGif, Indexed8Source(7, 5)), 24, 7, 5, 0,
         DistinctPixel},
        {"picture.tif", EncodeWithWic(GUID_ContainerFormatTiff, Bgr24Source(7, 5)), 24, 7, 5, 24,
         DistinctPixel},
        {"alpha.tiff", EncodeWithWic(GUID_ContainerFormatTiff, Bgra32Source(7, 5, Opaque)), 32, 7, 5, 0,
         DistinctPixel},
        {"picture.ico",
         MakeIcon({{16, 16, 24, png(SolidSource(16, 16, Rgb{200, 0, 0}))},
                   {48, 48, 32, png(Bgra32Source(48, 48, Opaque))}}),
         32, 48, 48, 0, DistinctPixel},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.bytes.empty()) << "the encoder refused the source";
        std::string path = Write(c.name, c.bytes);
        EXPECT_EQ(SupportsFile(path), 1);
        DibPixels dib;
        ASSERT_EQ(Picture(path, dib), 0);
        EXPECT_EQ(dib.Bits(), c.bits);
        EXPECT_EQ(dib.Header().biHeight, -c.height);
        EXPECT_EQ(dib.Header().biSize, 40u);
        EXPECT_EQ(dib.Header().biPlanes, 1);
        EXPECT_TRUE(HasPixels(dib, c.width, c.height, c.pattern));
        if (c.bits == 32) {
            EXPECT_EQ(dib.At(3, 3).a, 255);
        }
        if (c.infoDepth == 0) continue;
        PictureInfo info{};
        ASSERT_EQ(plugin.GetPictureInfo(path.c_str(), 0, 0, &info), 0);
        EXPECT_EQ(info.width, c.width);
        EXPECT_EQ(info.height, c.height);
        EXPECT_EQ(info.colorDepth, c.infoDepth);
        EXPECT_EQ(info.textHandle, nullptr);
    }
}

TEST_F(WicPlugin, APictureIsWholeAndItsPreviewReducedToThePreviewSize) {
    // An icon's preview comes from its smallest image that fills it; a
    // picture smaller than a preview comes back whole.
    auto png = [](const WicSource& source) { return EncodeWithWic(GUID_ContainerFormatPng, source); };
    const Rgb red{255, 0, 0}, green{0, 255, 0}, blue{0, 0, 255}, sky{30, 140, 220};
    struct Case {
        const char* name;
        Bytes bytes;
        int width, height, previewWidth, previewHeight;
        PixelPattern whole, preview;
    };
    const Case cases[] = {
        {"sizes.ico",
         MakeIcon({{32, 32, 24, png(SolidSource(32, 32, blue))},
                   {640, 640, 24, png(SolidSource(640, 640, green))},
                   {320, 320, 24, png(SolidSource(320, 320, red))}}),
         640, 640, 300, 300, Solid(green), Solid(red)},
        {"large.png", png(SolidSource(640, 480, sky)), 640, 480, 300, 225, Solid(sky), Solid(sky)},
        {"small.png", png(Bgr24Source(7, 5)), 7, 5, 7, 5, DistinctPixel, DistinctPixel},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = Write(c.name, c.bytes);
        DibPixels whole, preview;
        ASSERT_EQ(Picture(path, whole), 0);
        EXPECT_TRUE(HasPixels(whole, c.width, c.height, c.whole));
        ASSERT_EQ(Picture(path, preview, true), 0);
        EXPECT_TRUE(HasPixels(preview, c.previewWidth, c.previewHeight, c.preview, 1, 1));
    }
}

TEST_F(WicPlugin, SeeThroughPixelsGive32BitsCompositedOntoBlackAlphaKept) {
    // A PNG of graded alpha; a palette entry with alpha 0; a 32-bit
    // BMP-format icon image (header with doubled height, pixels bottom row
    // first, then the 1-bit mask) whose left half is opaque and right half
    // clear.
    WicSource palette = Indexed8Source(7, 5);
    palette.palette[0] &= 0x00FFFFFF;  // pixel (0, 0) is clear
    const int size = 8;
    Bytes image;
    for (uint32_t word : {40, size, size * 2}) PutU32(image, word);
    PutU16(image, 1);
    PutU16(image, 32);
    for (int i = 0; i < 6; ++i) PutU32(image, 0);
    for (int row = size - 1; row >= 0; --row)
        for (int x = 0; x < size; ++x) PutU32(image, Argb(DistinctPixel(x, row), LeftHalf(x, row)));
    for (int row = 0; row < size; ++row) PutU32(image, 0);
    struct Case {
        const char* name;
        Bytes bytes;
        int size;
        int (*alpha)(int x, int y);
    };
    const Case cases[] = {
        {"alpha.png", EncodeWithWic(GUID_ContainerFormatPng, Bgra32Source(7, 5, Graded)), 7, Graded},
        {"clear.png", EncodeWithWic(GUID_ContainerFormatPng, palette), 7,
         [](int x, int y) { return x || y ? 255 : 0; }},
        {"bmp.ico", MakeIcon({{size, size, 32, image}}), size, LeftHalf},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.bytes.empty() && std::string(c.name) == "clear.png") {
            std::printf("[   NOTE   ] this system's PNG encoder does not write a palette with alpha\n");
            continue;
        }
        DibPixels dib;
        ASSERT_EQ(Picture(Write(c.name, c.bytes), dib), 0);
        ASSERT_EQ(dib.Bits(), 32);
        for (int y = 0; y < 5; ++y) {
            for (int x = 0; x < c.size; ++x) {
                Rgb want = DistinctPixel(x, y);
                int a = c.alpha(x, y);
                double slack = a % 255 ? 1.0 : 0.0;  // exact where a pixel is clear or opaque
                Rgba got = dib.At(x, y);
                EXPECT_EQ(got.a, a) << x << "," << y;
                EXPECT_NEAR(got.r, want.r * a / 255.0, slack) << x << "," << y;
                EXPECT_NEAR(got.g, want.g * a / 255.0, slack) << x << "," << y;
                EXPECT_NEAR(got.b, want.b * a / 255.0, slack) << x << "," << y;
            }
        }
    }
}

TEST_F(WicPlugin, ReadsFromAnOffsetAndFromMemory) {
    Bytes png = EncodeWithWic(GUID_ContainerFormatPng, Bgr24Source(7, 5));
    Bytes wrapped(100 + png.size(), 'x');
    std::memcpy(wrapped.data() + 100, png.data(), png.size());
    std::string path = Write("wrapped.bin", wrapped);
    DibPixels fromFile, fromMemory;
    ASSERT_EQ(plugin.GetPicture(path.c_str(), 100, 0, &fromFile.header, &fromFile.pixels, DefaultProgress, 0),
              0);
    EXPECT_TRUE(HasPixels(fromFile, 7, 5));
    ASSERT_EQ(plugin.GetPicture(reinterpret_cast<const char*>(png.data()), long(png.size()), 1,
                                &fromMemory.header, &fromMemory.pixels, DefaultProgress, 0),
              0);
    EXPECT_TRUE(HasPixels(fromMemory, 7, 5));
    // IsSupported also takes the file's first 2 KB instead of a handle.
    EXPECT_EQ(SupportsHead(png), 1);
}

TEST_F(WicPlugin, RefusesWhatItDoesNotRead) {
    std::string bmp = files.File("x.bmp");
    WriteBmp(bmp, 4, 4);
    EXPECT_EQ(SupportsFile(bmp), 0);
    HLOCAL header = reinterpret_cast<HLOCAL>(1), pixels = reinterpret_cast<HLOCAL>(1);
    // WIC reads BMP, this filter leaves it to the program.
    EXPECT_NE(plugin.GetPicture(bmp.c_str(), 0, 0, &header, &pixels, DefaultProgress, 0), 0);
    EXPECT_EQ(header, nullptr);
    EXPECT_EQ(pixels, nullptr);

    Bytes fakeIcon = {0, 0, 1, 0, 1, 0};
    fakeIcon.resize(64, 0xFF);
    EXPECT_EQ(SupportsFile(Write("fake.ico", fakeIcon)), 0);
    EXPECT_EQ(SupportsFile(Write("empty.png", Bytes())), 0);

    Bytes brokenPng = EncodeWithWic(GUID_ContainerFormatPng, Bgr24Source(7, 5));
    brokenPng.resize(brokenPng.size() / 2);
    std::string broken = Write("broken.png", brokenPng);
    EXPECT_EQ(SupportsFile(broken), 1);
    DibPixels none;
    EXPECT_NE(Picture(broken, none), 0);
    EXPECT_EQ(none.header, nullptr);
    EXPECT_NE(Picture(files.File("missing.png"), none), 0);
    PictureInfo info{};
    EXPECT_NE(plugin.GetPictureInfo(files.File("missing.png").c_str(), 0, 0, &info), 0);
}

TEST_F(WicPlugin, ReportsProgressAndStopsWhenAsked) {
    std::string path = Write("tall.png", EncodeWithWic(GUID_ContainerFormatPng, Bgr24Source(7, 200)));
    DibPixels stopped, dib;
    {
        ProgressLog stopAtOnce(0);
        EXPECT_EQ(
            plugin.GetPicture(path.c_str(), 0, 0, &stopped.header, &stopped.pixels, ProgressLog::Record, 0),
            1);
    }
    EXPECT_EQ(stopped.header, nullptr);
    EXPECT_EQ(stopped.pixels, nullptr);
    ProgressLog log;
    ASSERT_EQ(plugin.GetPicture(path.c_str(), 0, 0, &dib.header, &dib.pixels, ProgressLog::Record, 55), 0);
    EXPECT_GE(log.calls.size(), 2u);
    EXPECT_LE(log.calls.size(), 22u);
    for (const ProgressCall& call : log.calls) {
        EXPECT_LE(call.done, call.total);
        EXPECT_EQ(call.userData, 55);
    }
}

TEST_F(WicPlugin, SurvivesThousandsOfDamagedFiles) {
    std::vector<Bytes> seeds = {
        EncodeWithWic(GUID_ContainerFormatPng, Bgra32Source(9, 6, Graded)),
        EncodeWithWic(GUID_ContainerFormatPng, Indexed8Source(7, 5)),
        EncodeWithWic(GUID_ContainerFormatGif, Indexed8Source(7, 5)),
        EncodeWithWic(GUID_ContainerFormatTiff, Bgr24Source(7, 5)),
        MakeIcon({{7, 5, 32, EncodeWithWic(GUID_ContainerFormatPng, Bgr24Source(7, 5))}}),
    };
    std::mt19937 random(20261206);
    int decoded = 0;
    for (int round = 0; round < 2000; ++round) {
        Bytes bytes = seeds[round % seeds.size()];
        ASSERT_FALSE(bytes.empty());
        Mutate(bytes, random, 8);
        if (!SupportsHead(bytes)) continue;
        DibPixels dib;
        int answer = plugin.GetPicture(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()), 1,
                                       &dib.header, &dib.pixels, DefaultProgress, 0);
        if (answer == 0) {
            ++decoded;
            ASSERT_GT(dib.Width(), 0);
            ASSERT_GE(LocalSize(dib.pixels), size_t((dib.Width() * dib.Bits() + 31) / 32 * 4) * dib.Height());
        } else {
            ASSERT_EQ(dib.header, nullptr);
            ASSERT_EQ(dib.pixels, nullptr);
        }
    }
    EXPECT_GT(decoded, 0);
}

}  // namespace
