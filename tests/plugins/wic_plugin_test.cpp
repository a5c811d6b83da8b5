// The WIC filter called directly through its exports, on pictures written
// by WIC's own encoders (and icons laid out by hand, since WIC has no icon
// encoder).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <random>
#include <tuple>

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

// The pattern groups name every extension of every decoder the system's
// WIC lists, BMP's and JPEG's left to the program, once each.
TEST_F(WicPlugin, ReportsItsVersionAndEveryInstalledDecodersPatterns) {
    char buffer[256] = {};
    EXPECT_EQ(plugin.GetPluginInfo(0, buffer, sizeof(buffer)), 4);
    EXPECT_STREQ(buffer, "00IN");
    std::string patterns = ";";
    for (int group = 2; plugin.GetPluginInfo(group, buffer, 100) > 0; group += 2) {
        patterns += std::string(buffer) + ";";
        EXPECT_GT(plugin.GetPluginInfo(group + 1, buffer, 100), 0);
    }
    std::vector<std::string> expected = {"png", "gif", "ico", "tif", "tiff"};
    IWICImagingFactory* factory = nullptr;
    IEnumUnknown* list = nullptr;
    ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                              IID_IWICImagingFactory, reinterpret_cast<void**>(&factory)));
    ASSERT_HRESULT_SUCCEEDED(factory->CreateComponentEnumerator(WICDecoder, 0, &list));
    IUnknown* item = nullptr;
    for (ULONG got = 0; list->Next(1, &item, &got) == S_OK; item->Release()) {
        IWICBitmapDecoderInfo* info = nullptr;
        wchar_t text[256] = {};
        UINT length = 0;
        GUID kind{};
        item->QueryInterface(IID_IWICBitmapDecoderInfo, reinterpret_cast<void**>(&info));
        info->GetFileExtensions(256, text, &length);
        info->GetContainerFormat(&kind);
        info->Release();
        std::string name;
        for (const wchar_t* at = text; *at || !name.empty(); at += *at ? 1 : 0) {
            if (*at && *at != ',' && *at != ';') {
                if (*at != '.') name += char(towlower(*at));
                continue;
            }
            if (name.empty()) continue;
            EXPECT_EQ(patterns.find(";*." + name + ";") != std::string::npos,
                      kind != GUID_ContainerFormatBmp && kind != GUID_ContainerFormatJpeg)
                << name;
            expected.erase(std::remove(expected.begin(), expected.end(), name), expected.end());
            name.clear();
        }
    }
    list->Release();
    factory->Release();
    EXPECT_TRUE(expected.empty()) << patterns;
    for (const char* builtIn : {"*.bmp;", "*.jpg;", "*.jpeg;"})
        EXPECT_EQ(patterns.find(builtIn), patterns.npos);
    EXPECT_EQ(plugin.GetPluginInfo(1, buffer, 5), 4);  // cut to fit, terminated
    EXPECT_EQ(std::strlen(buffer), 4u);
}

TEST_F(WicPlugin, EachFormatBecomesTopRowFirstPixelsOfTheExactColoursAndAPreviewOfThePreviewSize) {
    // Without alpha 24 bits; a kept alpha channel 32 bits, the colours
    // composited onto black. An icon shows its largest image, and its preview
    // comes from its smallest image that fills the preview; a picture smaller
    // than a preview comes back whole. The see-through pictures: a PNG of
    // graded alpha; a palette entry with alpha 0; a 32-bit BMP-format icon
    // image (header with doubled height, pixels bottom row first, then the
    // 1-bit mask) whose left half is opaque and right half clear.
    auto png = [](const WicSource& source) { return EncodeWithWic(GUID_ContainerFormatPng, source); };
    const Rgb red{255, 0, 0}, green{0, 255, 0}, blue{0, 0, 255}, sky{30, 140, 220};
    WicSource palette = Indexed8Source(7, 5);
    palette.palette[0] &= 0x00FFFFFF;  // pixel (0, 0) is clear
    Bytes image;
    for (uint32_t word : {40, 8, 16}) PutU32(image, word);
    PutU16(image, 1);
    PutU16(image, 32);
    for (int i = 0; i < 6; ++i) PutU32(image, 0);
    for (int row = 7; row >= 0; --row)
        for (int x = 0; x < 8; ++x) PutU32(image, Argb(DistinctPixel(x, row), LeftHalf(x, row)));
    for (int row = 0; row < 8; ++row) PutU32(image, 0);
    struct Case {
        const char* name;
        Bytes bytes;
        int bits, width, height;
        short infoDepth;  // 0: the information call is not looked at
        int (*alpha)(int x, int y) = Opaque;
        PixelPattern pattern = DistinctPixel;
        int previewWidth = 0, previewHeight = 0;  // 0: the preview is the whole picture
        PixelPattern preview = nullptr;
    };
    const Case cases[] = {
        {"rgb.png", png(Bgr24Source(7, 5)), 24, 7, 5, 0},
        {"opaque.png", png(Bgra32Source(7, 5, Opaque)), 32, 7, 5, 0},
        {"palette.png", png(Indexed8Source(7, 5)), 24, 7, 5, 8},
        {"grey.png",
         png(FilledSource(7, 5, GUID_WICPixelFormat8bppGray, 1, [](int x, int y) { return Grey(x, y).r; })),
         24, 7, 5, 0, Opaque, Grey},
        {"picture.gif", EncodeWithWic(GUID_ContainerFormatGif, Indexed8Source(7, 5)), 24, 7, 5, 0},
        {"picture.tif", EncodeWithWic(GUID_ContainerFormatTiff, Bgr24Source(7, 5)), 24, 7, 5, 24},
        {"alpha.tiff", EncodeWithWic(GUID_ContainerFormatTiff, Bgra32Source(7, 5, Opaque)), 32, 7, 5, 0},
        {"picture.ico",
         MakeIcon({{16, 16, 24, png(SolidSource(16, 16, Rgb{200, 0, 0}))},
                   {48, 48, 32, png(Bgra32Source(48, 48, Opaque))}}),
         32, 48, 48, 0},
        {"sizes.ico",
         MakeIcon({{32, 32, 24, png(SolidSource(32, 32, blue))},
                   {640, 640, 24, png(SolidSource(640, 640, green))},
                   {320, 320, 24, png(SolidSource(320, 320, red))}}),
         0, 640, 640, 0, Opaque, Flat(green), 300, 300, Flat(red)},
        {"large.png", png(SolidSource(640, 480, sky)), 24, 640, 480, 0, Opaque, Flat(sky), 300, 225,
         Flat(sky)},
        {"alpha.png", png(Bgra32Source(7, 5, Graded)), 32, 7, 5, 0, Graded},
        {"clear.png", png(palette), 32, 7, 5, 0, [](int x, int y) { return x || y ? 255 : 0; }},
        {"bmp.ico", MakeIcon({{8, 8, 32, image}}), 32, 8, 8, 0, LeftHalf},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.bytes.empty() && std::string(c.name) == "clear.png") {
            std::printf("[   NOTE   ] this system's PNG encoder does not write a palette with alpha\n");
            continue;
        }
        ASSERT_FALSE(c.bytes.empty()) << "the encoder refused the source";
        std::string path = Write(c.name, c.bytes);
        EXPECT_EQ(SupportsFile(path), 1);
        DibPixels dib, preview;
        ASSERT_EQ(Picture(path, dib), 0);
        if (c.bits) {
            EXPECT_EQ(dib.Bits(), c.bits);
        }
        EXPECT_EQ(dib.Header().biHeight, -c.height);
        EXPECT_EQ(dib.Header().biSize, dib.Bits() == 32 ? 124u : 40u);  // 32 bits say they are premultiplied
        EXPECT_EQ(dib.Header().biPlanes, 1);
        EXPECT_TRUE(HasPixels(dib, c.width, c.height, c.pattern, 1, 0, c.alpha));
        ASSERT_EQ(Picture(path, preview, true), 0);
        EXPECT_TRUE(HasPixels(preview, c.previewWidth ? c.previewWidth : c.width,
                              c.previewHeight ? c.previewHeight : c.height, c.preview ? c.preview : c.pattern,
                              1, 1, c.alpha));
        if (c.infoDepth == 0) continue;
        PictureInfo info{};
        ASSERT_EQ(plugin.GetPictureInfo(path.c_str(), 0, 0, &info), 0);
        EXPECT_EQ(info.width, c.width);
        EXPECT_EQ(info.height, c.height);
        EXPECT_EQ(info.colorDepth, c.infoDepth);
        EXPECT_EQ(info.textHandle, nullptr);
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
    // WIC reads BMP, this filter leaves it to the program. A cut PNG passes
    // the content test and fails to decode.
    Bytes fakeIcon = {0, 0, 1, 0, 1, 0};
    fakeIcon.resize(64, 0xFF);
    Bytes broken = EncodeWithWic(GUID_ContainerFormatPng, Bgr24Source(7, 5));
    broken.resize(broken.size() / 2);
    const struct {
        const char* name;
        Bytes bytes;  // empty for missing.png: no file
        int supported;
    } cases[] = {{"x.bmp", MakeBmp(4, 4, 24), 0},
                 {"fake.ico", fakeIcon, 0},
                 {"empty.png", Bytes(), 0},
                 {"broken.png", broken, 1},
                 {"missing.png", Bytes(), 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bool missing = std::string(c.name) == "missing.png";
        std::string path = missing ? files.File(c.name) : Write(c.name, c.bytes);
        if (!missing) {  // the host asks only about a file it has open
            EXPECT_EQ(SupportsFile(path), c.supported);
        }
        DibPixels none(reinterpret_cast<HLOCAL>(1), reinterpret_cast<HLOCAL>(1));
        EXPECT_NE(Picture(path, none), 0);
        EXPECT_EQ(none.header, nullptr);
        EXPECT_EQ(none.pixels, nullptr);
        PictureInfo info{};
        EXPECT_NE(plugin.GetPictureInfo(path.c_str(), 0, 0, &info), 0);
    }
}

TEST_F(WicPlugin, ReportsProgressAndStopsWhenAsked) {
    std::string path = Write("tall.png", EncodeWithWic(GUID_ContainerFormatPng, Bgr24Source(7, 200)));
    DibPixels stopped, dib;
    {
        ProgressLog stopAtOnce(0);
        EXPECT_EQ(
            plugin.GetPicture(path.c_str(), 0, 0, &stopped.header, &stopped.pixels, ProgressLog::Latest, 0),
            1);
    }
    EXPECT_EQ(stopped.header, nullptr);
    EXPECT_EQ(stopped.pixels, nullptr);
    ProgressLog log;
    ASSERT_EQ(plugin.GetPicture(path.c_str(), 0, 0, &dib.header, &dib.pixels, ProgressLog::Latest, 55), 0);
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

// The orientation a TIFF names (in an 8 x 4 grey TIFF laid out by hand,
// grey 30 x + y) travels in the last field of a version 5 header; the
// pixels stay as stored, for the host to turn.
TEST_F(WicPlugin, ATiffsOrientationTravelsInAVersion5Header) {
    for (uint32_t orientation : {6, 8}) {
        Bytes tiff = {'I', 'I', 42, 0, 8, 0, 0, 0, 10, 0};
        // clang-format off
        for (const std::array<uint32_t, 3>& tag : {std::array<uint32_t, 3>{256, 3, 8}, {257, 3, 4}, {258, 3, 8},
                {259, 3, 1}, {262, 3, 1}, {273, 4, 134}, {274, 3, orientation}, {277, 3, 1}, {278, 3, 4}, {279, 4, 32}})
            // clang-format on
            PutU16(tiff, tag[0]), PutU16(tiff, tag[1]), PutU32(tiff, 1), PutU32(tiff, tag[2]);
        PutU32(tiff, 0);
        for (int i = 0; i < 32; ++i) PutU8(tiff, uint32_t(30 * (i % 8) + i / 8));
        DibPixels dib;
        ASSERT_EQ(Picture(Write("turned.tif", tiff), dib), 0);
        const auto& v5 = reinterpret_cast<const BITMAPV5HEADER&>(dib.Header());
        EXPECT_EQ(std::make_tuple(v5.bV5Size, v5.bV5Reserved, dib.Width(), dib.At(7, 3).r),
                  std::make_tuple(124u, 0x4F520000u + orientation, 8, 213));
    }
}
