// The WIC filter called directly through its exports, on pictures written
// by WIC's own encoders (and icons laid out by hand, since WIC has no icon
// encoder).
#include <gtest/gtest.h>

#include <cstring>
#include <algorithm>
#include <random>

#include "image/plugin_direct.h"
#include "tests/plugins/plugin_fixtures.h"

// The host as the helpers hold it, calling the libraries in this process.
using namespace direct;

namespace {

class WicPlugin : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryA(WicPluginPath().c_str());
        ASSERT_NE(module_, nullptr) << WicPluginPath();
        ASSERT_EQ(BindPlugin(&plugin, WicPluginPath().c_str()), 1);
    }
    void TearDown() override {
        if (plugin.module) FreeLibrary(plugin.module);
        if (module_) FreeLibrary(module_);
    }

    std::string Write(const std::string& name, const Bytes& bytes) {
        std::string path = files.File(name);
        EXPECT_TRUE(WriteFileBytes(path, bytes));
        return path;
    }
    // GetPicture from a file; the answer, and the picture when it is 0.
    int Picture(const std::string& path, HLOCAL* header, HLOCAL* pixels, bool preview = false) {
        GetPictureProc call = preview ? plugin.GetPreview : plugin.GetPicture;
        return call(path.c_str(), 0, 0, header, pixels, DefaultProgress, 0);
    }
    int SupportsFile(const std::string& path) {
        HANDLE file =
            CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        int answer = plugin.IsSupported(path.c_str(), reinterpret_cast<DWORD_PTR>(file));
        CloseHandle(file);
        return answer;
    }

    PluginEntry plugin{};
    TempDir files;
    ComThread com;

private:
    HMODULE module_ = nullptr;
};

void ExpectDistinctPixels(const DibPixels& dib, int width, int height) {
    ASSERT_EQ(dib.Width(), width);
    ASSERT_EQ(dib.Height(), height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Rgb want = DistinctPixel(x, y);
            Rgba got = dib.At(x, y);
            ASSERT_EQ(got.r, want.r) << x << "," << y;
            ASSERT_EQ(got.g, want.g) << x << "," << y;
            ASSERT_EQ(got.b, want.b) << x << "," << y;
        }
    }
}

int Opaque(int, int) {
    return 255;
}
int Graded(int x, int y) {
    return (x * 61 + y * 37) % 256;
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

TEST_F(WicPlugin, APngWithoutAlphaBecomes24BitsTopRowFirst) {
    Bytes png = EncodeWithWic(GUID_ContainerFormatPng, Bgr24Source(7, 5));
    ASSERT_FALSE(png.empty());
    std::string path = Write("rgb.png", png);
    EXPECT_EQ(SupportsFile(path), 1);
    HLOCAL header, pixels;
    ASSERT_EQ(Picture(path, &header, &pixels), 0);
    DibPixels dib(header, pixels);
    EXPECT_EQ(dib.Bits(), 24);
    EXPECT_EQ(dib.Header().biHeight, -5);
    EXPECT_EQ(dib.Header().biSize, 40u);
    EXPECT_EQ(dib.Header().biPlanes, 1);
    ExpectDistinctPixels(dib, 7, 5);
}

TEST_F(WicPlugin, APngWithAlphaBecomes32BitsCompositedOntoBlackAlphaKept) {
    Bytes png = EncodeWithWic(GUID_ContainerFormatPng, Bgra32Source(7, 5, Graded));
    ASSERT_FALSE(png.empty());
    HLOCAL header, pixels;
    ASSERT_EQ(Picture(Write("alpha.png", png), &header, &pixels), 0);
    DibPixels dib(header, pixels);
    ASSERT_EQ(dib.Bits(), 32);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 7; ++x) {
            Rgb c = DistinctPixel(x, y);
            int a = Graded(x, y);
            Rgba got = dib.At(x, y);
            EXPECT_EQ(got.a, a);
            EXPECT_NEAR(got.r, c.r * a / 255.0, 1.0) << x << "," << y;
            EXPECT_NEAR(got.g, c.g * a / 255.0, 1.0) << x << "," << y;
            EXPECT_NEAR(got.b, c.b * a / 255.0, 1.0) << x << "," << y;
        }
    }
}

TEST_F(WicPlugin, AnOpaqueAlphaChannelKeepsItsColours) {
    Bytes png = EncodeWithWic(GUID_ContainerFormatPng, Bgra32Source(7, 5, Opaque));
    HLOCAL header, pixels;
    ASSERT_EQ(Picture(Write("opaque.png", png), &header, &pixels), 0);
    DibPixels dib(header, pixels);
    EXPECT_EQ(dib.Bits(), 32);
    ExpectDistinctPixels(dib, 7, 5);
    EXPECT_EQ(dib.At(3, 3).a, 255);
}

TEST_F(WicPlugin, APalettePngBecomes24BitsWithTheExactColours) {
    Bytes png = EncodeWithWic(GUID_ContainerFormatPng, Indexed8Source(7, 5));
    ASSERT_FALSE(png.empty()) << "the PNG encoder refused 8-bit indexed pixels";
    std::string path = Write("palette.png", png);
    HLOCAL header, pixels;
    ASSERT_EQ(Picture(path, &header, &pixels), 0);
    DibPixels dib(header, pixels);
    EXPECT_EQ(dib.Bits(), 24);
    ExpectDistinctPixels(dib, 7, 5);

    PictureInfo info{};
    ASSERT_EQ(plugin.GetPictureInfo(path.c_str(), 0, 0, &info), 0);
    EXPECT_EQ(info.width, 7);
    EXPECT_EQ(info.height, 5);
    EXPECT_EQ(info.colorDepth, 8);
    EXPECT_EQ(info.textHandle, nullptr);
}

TEST_F(WicPlugin, AGreyPngBecomes24BitsOfTheSameGrey) {
    WicSource grey{7, 5, GUID_WICPixelFormat8bppGray, {}, 8, {}};
    grey.pixels.resize(8 * 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) grey.pixels[y * 8 + x] = uint8_t(x * 36 + y * 5);
    Bytes png = EncodeWithWic(GUID_ContainerFormatPng, grey);
    ASSERT_FALSE(png.empty());
    HLOCAL header, pixels;
    ASSERT_EQ(Picture(Write("grey.png", png), &header, &pixels), 0);
    DibPixels dib(header, pixels);
    EXPECT_EQ(dib.Bits(), 24);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 7; ++x) {
            Rgba got = dib.At(x, y);
            int want = x * 36 + y * 5;
            ASSERT_EQ(got.r, want);
            ASSERT_EQ(got.g, want);
            ASSERT_EQ(got.b, want);
        }
    }
}

TEST_F(WicPlugin, AGifBecomes24BitsWithTheExactColours) {
    Bytes gif = EncodeWithWic(GUID_ContainerFormatGif, Indexed8Source(7, 5));
    ASSERT_FALSE(gif.empty());
    std::string path = Write("picture.gif", gif);
    EXPECT_EQ(SupportsFile(path), 1);
    HLOCAL header, pixels;
    ASSERT_EQ(Picture(path, &header, &pixels), 0);
    DibPixels dib(header, pixels);
    EXPECT_EQ(dib.Bits(), 24);
    ExpectDistinctPixels(dib, 7, 5);
}

TEST_F(WicPlugin, TiffPicturesWithAndWithoutAlpha) {
    Bytes tiff = EncodeWithWic(GUID_ContainerFormatTiff, Bgr24Source(7, 5));
    ASSERT_FALSE(tiff.empty());
    std::string path = Write("picture.tif", tiff);
    EXPECT_EQ(SupportsFile(path), 1);
    HLOCAL header, pixels;
    ASSERT_EQ(Picture(path, &header, &pixels), 0);
    {
        DibPixels dib(header, pixels);
        EXPECT_EQ(dib.Bits(), 24);
        ExpectDistinctPixels(dib, 7, 5);
    }
    PictureInfo info{};
    ASSERT_EQ(plugin.GetPictureInfo(path.c_str(), 0, 0, &info), 0);
    EXPECT_EQ(info.width, 7);
    EXPECT_EQ(info.colorDepth, 24);

    Bytes alpha = EncodeWithWic(GUID_ContainerFormatTiff, Bgra32Source(7, 5, Opaque));
    ASSERT_FALSE(alpha.empty());
    ASSERT_EQ(Picture(Write("alpha.tiff", alpha), &header, &pixels), 0);
    DibPixels dib(header, pixels);
    EXPECT_EQ(dib.Bits(), 32);
    ExpectDistinctPixels(dib, 7, 5);
}

TEST_F(WicPlugin, AnIconShowsItsLargestImage) {
    Bytes small = EncodeWithWic(GUID_ContainerFormatPng, SolidSource(16, 16, Rgb{200, 0, 0}));
    Bytes large = EncodeWithWic(GUID_ContainerFormatPng, Bgra32Source(48, 48, Opaque));
    Bytes icon = MakeIcon({{16, 16, 24, small}, {48, 48, 32, large}});
    std::string path = Write("picture.ico", icon);
    EXPECT_EQ(SupportsFile(path), 1);
    HLOCAL header, pixels;
    ASSERT_EQ(Picture(path, &header, &pixels), 0);
    DibPixels dib(header, pixels);
    EXPECT_EQ(dib.Width(), 48);
    EXPECT_EQ(dib.Height(), 48);
    Rgb want = DistinctPixel(3, 2);
    Rgba got = dib.At(3, 2);
    EXPECT_EQ(got.r, want.r);
    EXPECT_EQ(got.g, want.g);
    EXPECT_EQ(got.b, want.b);
}

TEST_F(WicPlugin, AnIconsPreviewComesFromItsSmallestImageThatFillsIt) {
    Bytes red = EncodeWithWic(GUID_ContainerFormatPng, SolidSource(320, 320, Rgb{255, 0, 0}));
    Bytes green = EncodeWithWic(GUID_ContainerFormatPng, SolidSource(640, 640, Rgb{0, 255, 0}));
    Bytes blue = EncodeWithWic(GUID_ContainerFormatPng, SolidSource(32, 32, Rgb{0, 0, 255}));
    std::string path =
        Write("sizes.ico", MakeIcon({{32, 32, 24, blue}, {640, 640, 24, green}, {320, 320, 24, red}}));
    HLOCAL header, pixels;
    ASSERT_EQ(Picture(path, &header, &pixels), 0);
    {
        DibPixels dib(header, pixels);
        EXPECT_EQ(dib.Width(), 640);
        EXPECT_EQ(dib.At(5, 5).g, 255);
    }
    ASSERT_EQ(Picture(path, &header, &pixels, true), 0);
    DibPixels preview(header, pixels);
    EXPECT_EQ(preview.Width(), 300);
    EXPECT_EQ(preview.At(5, 5).r, 255);
    EXPECT_EQ(preview.At(5, 5).g, 0);
}

TEST_F(WicPlugin, APaletteWithASeeThroughEntryGives32Bits) {
    WicSource source = Indexed8Source(7, 5);
    source.palette[0] &= 0x00FFFFFF;  // pixel (0, 0) is clear
    Bytes png = EncodeWithWic(GUID_ContainerFormatPng, source);
    if (png.empty()) GTEST_SKIP() << "this system's PNG encoder does not write a palette with alpha";
    HLOCAL header, pixels;
    ASSERT_EQ(Picture(Write("clear.png", png), &header, &pixels), 0);
    DibPixels dib(header, pixels);
    ASSERT_EQ(dib.Bits(), 32);
    EXPECT_EQ(dib.At(0, 0).a, 0);
    EXPECT_EQ(dib.At(0, 0).r + dib.At(0, 0).g + dib.At(0, 0).b, 0);
    Rgb want = DistinctPixel(4, 3);
    EXPECT_EQ(dib.At(4, 3).a, 255);
    EXPECT_EQ(dib.At(4, 3).r, want.r);
    EXPECT_EQ(dib.At(4, 3).g, want.g);
    EXPECT_EQ(dib.At(4, 3).b, want.b);
}

TEST_F(WicPlugin, AnIconImageInBmpFormatUsesItsMask) {
    // A 32-bit BMP-format icon image: header with doubled height, pixels
    // bottom row first, then the 1-bit mask.
    const int size = 8;
    Bytes image;
    PutU32(image, 40);
    PutU32(image, size);
    PutU32(image, size * 2);
    PutU16(image, 1);
    PutU16(image, 32);
    for (int i = 0; i < 6; ++i) PutU32(image, 0);
    for (int row = size - 1; row >= 0; --row) {
        for (int x = 0; x < size; ++x) {
            Rgb c = DistinctPixel(x, row);
            PutU8(image, c.b);
            PutU8(image, c.g);
            PutU8(image, c.r);
            PutU8(image, x < 4 ? 255 : 0);  // left half opaque, right half clear
        }
    }
    for (int row = 0; row < size; ++row) PutU32(image, 0);
    HLOCAL header, pixels;
    ASSERT_EQ(Picture(Write("bmp.ico", MakeIcon({{size, size, 32, image}})), &header, &pixels), 0);
    DibPixels dib(header, pixels);
    ASSERT_EQ(dib.Bits(), 32);
    Rgb left = DistinctPixel(1, 2);
    EXPECT_EQ(dib.At(1, 2).r, left.r);
    EXPECT_EQ(dib.At(1, 2).a, 255);
    EXPECT_EQ(dib.At(6, 2).a, 0);
    EXPECT_EQ(dib.At(6, 2).r, 0);  // composited onto black
}

TEST_F(WicPlugin, APreviewIsReducedToThePreviewSize) {
    Bytes png = EncodeWithWic(GUID_ContainerFormatPng, SolidSource(640, 480, Rgb{30, 140, 220}));
    std::string path = Write("large.png", png);
    HLOCAL header, pixels;
    ASSERT_EQ(Picture(path, &header, &pixels, true), 0);
    DibPixels dib(header, pixels);
    EXPECT_EQ(dib.Width(), 300);
    EXPECT_EQ(dib.Height(), 225);
    for (int y : {0, 100, 224}) {
        for (int x : {0, 150, 299}) {
            Rgba got = dib.At(x, y);
            EXPECT_NEAR(got.r, 30, 1);
            EXPECT_NEAR(got.g, 140, 1);
            EXPECT_NEAR(got.b, 220, 1);
        }
    }
    // A picture smaller than a preview comes back whole.
    ASSERT_EQ(Picture(Write("small.png", EncodeWithWic(GUID_ContainerFormatPng, Bgr24Source(7, 5))), &header,
                      &pixels, true),
              0);
    DibPixels small(header, pixels);
    ExpectDistinctPixels(small, 7, 5);
}

TEST_F(WicPlugin, ReadsFromAnOffsetAndFromMemory) {
    Bytes png = EncodeWithWic(GUID_ContainerFormatPng, Bgr24Source(7, 5));
    Bytes wrapped(100 + png.size(), 'x');
    std::memcpy(wrapped.data() + 100, png.data(), png.size());
    std::string path = Write("wrapped.bin", wrapped);
    HLOCAL header, pixels;
    ASSERT_EQ(plugin.GetPicture(path.c_str(), 100, 0, &header, &pixels, DefaultProgress, 0), 0);
    {
        DibPixels dib(header, pixels);
        ExpectDistinctPixels(dib, 7, 5);
    }
    ASSERT_EQ(plugin.GetPicture(reinterpret_cast<const char*>(png.data()), long(png.size()), 1, &header,
                                &pixels, DefaultProgress, 0),
              0);
    DibPixels dib(header, pixels);
    ExpectDistinctPixels(dib, 7, 5);

    // IsSupported also takes the file's first 2 KB instead of a handle.
    Bytes head(2048, 0);
    std::memcpy(head.data(), png.data(), std::min<size_t>(png.size(), head.size()));
    EXPECT_EQ(plugin.IsSupported("x.png", reinterpret_cast<DWORD_PTR>(head.data())), 1);
}

TEST_F(WicPlugin, RefusesWhatItDoesNotRead) {
    std::string bmp = files.File("x.bmp");
    WriteBmp(bmp, 4, 4);
    EXPECT_EQ(SupportsFile(bmp), 0);
    HLOCAL header = reinterpret_cast<HLOCAL>(1), pixels = reinterpret_cast<HLOCAL>(1);
    EXPECT_NE(Picture(bmp, &header, &pixels), 0);  // WIC reads BMP, this filter leaves it to the program
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
    EXPECT_NE(Picture(broken, &header, &pixels), 0);
    EXPECT_EQ(header, nullptr);
    EXPECT_NE(Picture(files.File("missing.png"), &header, &pixels), 0);
    PictureInfo info{};
    EXPECT_NE(plugin.GetPictureInfo(files.File("missing.png").c_str(), 0, 0, &info), 0);
}

int __stdcall StopAtOnce(int, int, intptr_t) {
    return 1;
}
int progressCalls = 0;
int __stdcall CountProgress(int done, int total, intptr_t userData) {
    ++progressCalls;
    EXPECT_LE(done, total);
    EXPECT_EQ(userData, 55);
    return 0;
}

TEST_F(WicPlugin, ReportsProgressAndStopsWhenAsked) {
    std::string path = Write("tall.png", EncodeWithWic(GUID_ContainerFormatPng, Bgr24Source(7, 200)));
    HLOCAL header = nullptr, pixels = nullptr;
    EXPECT_EQ(plugin.GetPicture(path.c_str(), 0, 0, &header, &pixels, StopAtOnce, 0), 1);
    EXPECT_EQ(header, nullptr);
    EXPECT_EQ(pixels, nullptr);
    progressCalls = 0;
    ASSERT_EQ(plugin.GetPicture(path.c_str(), 0, 0, &header, &pixels, CountProgress, 55), 0);
    DibPixels dib(header, pixels);
    EXPECT_GE(progressCalls, 2);
    EXPECT_LE(progressCalls, 22);
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
        // Asked first as the host asks, with the file's first 2 KB.
        Bytes head(2048, 0);
        std::memcpy(head.data(), bytes.data(), std::min<size_t>(bytes.size(), head.size()));
        if (!plugin.IsSupported("damaged", reinterpret_cast<DWORD_PTR>(head.data()))) continue;
        HLOCAL header = nullptr, pixels = nullptr;
        int answer = plugin.GetPicture(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()), 1,
                                       &header, &pixels, DefaultProgress, 0);
        if (answer == 0) {
            ++decoded;
            DibPixels dib(header, pixels);
            ASSERT_GT(dib.Width(), 0);
            ASSERT_GE(LocalSize(pixels), size_t((dib.Width() * dib.Bits() + 31) / 32 * 4) * dib.Height());
        } else {
            ASSERT_EQ(header, nullptr);
            ASSERT_EQ(pixels, nullptr);
        }
    }
    EXPECT_GT(decoded, 0);
}

}  // namespace
