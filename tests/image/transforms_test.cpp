#include <gtest/gtest.h>

#include <utility>

#include "image/picture_loader.h"
#include "image/transforms.h"
#include "tests/image/dib_test_helpers.h"

namespace {

// Where result pixel (x, y) comes from in a W x H source, for each code.
std::pair<int, int> SourceOf(int code, int x, int y, int W, int H) {
    switch (code) {
        case 1:
            return {y, H - 1 - x};
        case 2:
            return {W - 1 - x, H - 1 - y};
        case 3:
            return {W - 1 - y, x};
        case 4:
            return {y, x};
        case 5:
            return {W - 1 - x, y};
        case 6:
            return {W - 1 - y, H - 1 - x};
        case 7:
            return {x, H - 1 - y};
    }
    return {x, y};
}

Rgb Expected(int bits, int x, int y) {
    return bits == 16 ? Quantise555(DistinctPixel(x, y)) : DistinctPixel(x, y);
}

void ExpectOriented(const LockedDib& dib, int code, int W, int H, int sourceBits) {
    const bool swapped = OrientationSwapsSides(code);
    const int w = swapped ? H : W, h = swapped ? W : H;
    ASSERT_EQ(dib.header->biWidth, w) << "code " << code;
    ASSERT_EQ(DibRows(*dib.header), h) << "code " << code;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const auto [sx, sy] = SourceOf(code, x, y, W, H);
            ASSERT_EQ(PixelAt(dib.header, dib.pixels, x, y), Expected(sourceBits, sx, sy))
                << "code " << code << " at " << x << "," << y;
        }
}

class Orientations : public ::testing::TestWithParam<std::tuple<int, bool, std::pair<int, int>>> {};

// The primitives on the picture as it stands (16 or 24 bits), as the
// thumbnails use them.
TEST_P(Orientations, PrimitivesGiveEveryCodeItsPixels) {
    const auto [bits, topDown, size] = GetParam();
    for (int code = 0; code < kOrientationCount; ++code) {
        LockedDib dib = MakeDib(size.first, size.second, bits, topDown);
        ASSERT_EQ(OrientDib(dib.header, dib.pixels, code), 1) << code;
        EXPECT_EQ(dib.header->biBitCount, bits);
        ExpectOriented(dib, code, size.first, size.second, bits);
        EXPECT_EQ(LocalSize(LocalHandle(dib.pixels)) >= DibPixelBytes(*dib.header), true);
    }
}

// The viewer's path: converted to 24 bits first unless the code is 0.
TEST_P(Orientations, ApplyOrientationGivesEveryCodeItsPixels) {
    const auto [bits, topDown, size] = GetParam();
    for (int code = 0; code < kOrientationCount; ++code) {
        LockedDib dib = MakeDib(size.first, size.second, bits, topDown);
        ASSERT_EQ(ApplyOrientation(nullptr, dib.header, dib.pixels, code), 1) << code;
        EXPECT_EQ(dib.header->biBitCount, code == 0 ? bits : 24);
        ExpectOriented(dib, code, size.first, size.second, bits);
    }
}

INSTANTIATE_TEST_SUITE_P(SmallPictures, Orientations,
                         ::testing::Combine(::testing::Values(16, 24), ::testing::Bool(),
                                            ::testing::Values(std::make_pair(3, 2), std::make_pair(2, 3),
                                                              std::make_pair(37, 70))));

TEST(Transforms, NamedEdgeCases) {
    {  // code 1 on 3 x 2: the top-left pixel is the source's bottom-left
        LockedDib dib = MakeDib(3, 2, 24, false);
        RotateRight90(dib.header, dib.pixels);
        EXPECT_EQ(dib.header->biWidth, 2);
        EXPECT_EQ(dib.header->biHeight, 3);  // stored bottom row first
        EXPECT_EQ(PixelAt(dib.header, dib.pixels, 0, 0), DistinctPixel(0, 1));
    }
    {  // code 4 is the transpose
        LockedDib dib = MakeDib(3, 2, 24, false);
        ApplyOrientation(nullptr, dib.header, dib.pixels, 4);
        EXPECT_EQ(PixelAt(dib.header, dib.pixels, 0, 0), DistinctPixel(0, 0));
        EXPECT_EQ(PixelAt(dib.header, dib.pixels, 0, 2), DistinctPixel(2, 0));
    }
    {  // a top-down picture turned by code 1 comes out bottom-up
        LockedDib dib = MakeDib(3, 2, 24, true);
        ApplyOrientation(nullptr, dib.header, dib.pixels, 1);
        EXPECT_GT(dib.header->biHeight, 0);
    }
    {  // codes outside 0..7 change nothing
        LockedDib dib = MakeDib(3, 2, 8, false);
        EXPECT_EQ(ApplyOrientation(nullptr, dib.header, dib.pixels, 9), 1);
        EXPECT_EQ(dib.header->biBitCount, 8);
    }
}

TEST(Transforms, EightBitPicturesAreConvertedBeforeTurning) {
    auto grey = [](int x, int y) { return Rgb{0, uint8_t(30 * x + 7 * y), 0}; };
    LockedDib dib = MakeDib(3, 2, 8, false, grey);
    ASSERT_EQ(ApplyOrientation(nullptr, dib.header, dib.pixels, 0), 1);
    EXPECT_EQ(dib.header->biBitCount, 8);
    ASSERT_EQ(ApplyOrientation(nullptr, dib.header, dib.pixels, 1), 1);
    EXPECT_EQ(dib.header->biBitCount, 24);
    EXPECT_EQ(dib.header->biWidth, 2);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 2; ++x) {
            const auto [sx, sy] = SourceOf(1, x, y, 3, 2);
            const uint8_t g = grey(sx, sy).g;
            EXPECT_EQ(PixelAt(dib.header, dib.pixels, x, y), (Rgb{g, g, g}));
        }
    // Mirroring needs whole bytes per pixel; 8 bits is fine, 4 is not.
    LockedDib four = MakeDib(3, 2, 8, false);
    four.header->biBitCount = 4;
    EXPECT_EQ(MirrorHorizontal(four.header, four.pixels), 0);
    LockedDib eight = MakeDib(3, 2, 8, false, grey);
    EXPECT_EQ(RotateRight90(eight.header, eight.pixels), 0);
    EXPECT_EQ(MirrorHorizontal(eight.header, eight.pixels), 1);
    EXPECT_EQ(PixelAt(eight.header, eight.pixels, 0, 0).g, grey(2, 0).g);
}

bool SamePixels(const LockedDib& a, const LockedDib& b) {
    if (a.header->biWidth != b.header->biWidth || DibRows(*a.header) != DibRows(*b.header)) return false;
    for (int y = 0; y < DibRows(*a.header); ++y)
        for (int x = 0; x < a.header->biWidth; ++x)
            if (!(PixelAt(a.header, a.pixels, x, y) == PixelAt(b.header, b.pixels, x, y))) return false;
    return true;
}

TEST(Transforms, FourTurnsAndTwoMirrorsAreIdentities) {
    for (const int bits : {16, 24}) {
        for (const bool topDown : {false, true}) {
            const LockedDib original = MakeDib(5, 3, bits, topDown);
            using Primitive = int (*)(BITMAPINFOHEADER*&, BYTE*&, ProgressProc, intptr_t);
            const std::pair<Primitive, int> rounds[] = {{RotateRight90, 4},
                                                        {RotateRight270, 4},
                                                        {RotateRight90Mirror, 2},
                                                        {RotateRight270Mirror, 2},
                                                        {MirrorHorizontal, 2}};
            for (const auto& [primitive, times] : rounds) {
                LockedDib dib = MakeDib(5, 3, bits, topDown);
                for (int i = 0; i < times; ++i) ASSERT_EQ(primitive(dib.header, dib.pixels, nullptr, 0), 1);
                EXPECT_TRUE(SamePixels(dib, original)) << bits << " " << topDown << " " << times;
            }
            LockedDib flipped = MakeDib(5, 3, bits, topDown);
            FlipVertical(flipped.header);
            FlipVertical(flipped.header);
            EXPECT_TRUE(SamePixels(flipped, original));
            // Both groups: code 4 followed by four right turns is code 4.
            LockedDib mirrored = MakeDib(5, 3, bits, topDown);
            LockedDib turned = MakeDib(5, 3, bits, topDown);
            OrientDib(mirrored.header, mirrored.pixels, 4);
            OrientDib(turned.header, turned.pixels, 4);
            for (int i = 0; i < 4; ++i) RotateRight90(turned.header, turned.pixels);
            EXPECT_TRUE(SamePixels(turned, mirrored));
        }
    }
}

struct StopAfter {
    int calls = 0;
    int stopAt;
};
int __stdcall StopProgress(int, int, intptr_t userData) {
    auto* stop = reinterpret_cast<StopAfter*>(userData);
    return stop->calls++ == stop->stopAt ? 1 : 0;
}

TEST(Transforms, AStoppedPrimitiveLeavesThePictureAsItWas) {
    const long blocks = LiveDibBlocks();
    {
        const LockedDib original = MakeDib(6, 5, 24, false);
        LockedDib dib = MakeDib(6, 5, 24, false);
        StopAfter stop{0, 3};
        EXPECT_EQ(MirrorHorizontal(dib.header, dib.pixels, StopProgress, reinterpret_cast<intptr_t>(&stop)), 0);
        EXPECT_TRUE(SamePixels(dib, original));
        StopAfter later{0, 2};
        EXPECT_EQ(RotateRight90(dib.header, dib.pixels, StopProgress, reinterpret_cast<intptr_t>(&later)), 0);
        EXPECT_TRUE(SamePixels(dib, original));
        StopAfter never{0, -1};
        EXPECT_EQ(RotateRight270(dib.header, dib.pixels, StopProgress, reinterpret_cast<intptr_t>(&never)), 1);
        EXPECT_EQ(never.calls, 6 + 2);  // before, once per column, after
    }
    EXPECT_EQ(LiveDibBlocks(), blocks);
}

TEST(Transforms, CopyDibKeepsTheColourTable) {
    auto grey = [](int x, int y) { return Rgb{0, uint8_t(x * 20 + y), 0}; };
    const LockedDib source = MakeDib(4, 3, 8, true, grey);
    LockedDib copy;
    ASSERT_EQ(CopyDib(copy.header, copy.pixels, source.header, source.pixels), 1);
    EXPECT_NE(copy.pixels, source.pixels);
    EXPECT_EQ(LocalSize(LocalHandle(copy.header)), 40u + 1024u);
    EXPECT_TRUE(SamePixels(copy, source));
}

class Conversions : public ::testing::TestWithParam<std::tuple<int, bool>> {};

TEST_P(Conversions, EveryDepthBecomesTwentyFourBitsBottomUp) {
    const auto [bits, topDown] = GetParam();
    TempDir dir;
    ASSERT_TRUE(WriteBmp(dir.File("c.bmp"), 7, 3, bits, topDown));
    const LockedDib original = LoadDib(dir.File("c.bmp"));
    LockedDib dib = LoadDib(dir.File("c.bmp"));
    ASSERT_TRUE(dib);
    const DWORD gdi = GdiObjectCount();
    ASSERT_EQ(ConvertDibTo24(nullptr, dib.header, dib.pixels), 1);
    EXPECT_EQ(GdiObjectCount(), gdi);
    EXPECT_EQ(dib.header->biBitCount, 24);
    // A 24-bit picture is left as it was, top-down or not.
    EXPECT_EQ(dib.header->biHeight, bits == 24 && topDown ? -3 : 3);
    EXPECT_TRUE(SamePixels(dib, original));
}

INSTANTIATE_TEST_SUITE_P(AllDepths, Conversions,
                         ::testing::Combine(::testing::Values(1, 4, 8, 16, 24, 32), ::testing::Bool()));

}  // namespace

namespace {

TEST(Transforms, LongerHeaderVersionsKeepTheirTableThroughACopy) {
    // A plug-in may hand over a 108-byte header with the table behind it.
    BITMAPINFOHEADER fields{};
    fields.biSize = 108;
    fields.biWidth = 2;
    fields.biHeight = 1;
    fields.biPlanes = 1;
    fields.biBitCount = 8;
    LockedDib dib;
    dib.header = static_cast<BITMAPINFOHEADER*>(AllocLockedBlock(108 + 1024));
    dib.pixels = static_cast<BYTE*>(AllocLockedBlock(4));
    *dib.header = fields;
    auto* table = reinterpret_cast<RGBQUAD*>(reinterpret_cast<BYTE*>(dib.header) + 108);
    table[1] = RGBQUAD{10, 20, 30, 0};
    dib.pixels[0] = 1;
    LockedDib copy;
    ASSERT_EQ(CopyDib(copy.header, copy.pixels, dib.header, dib.pixels), 1);
    EXPECT_EQ(LocalSize(LocalHandle(copy.header)), 108u + 1024u);
    EXPECT_EQ(PixelAt(copy.header, copy.pixels, 0, 0), (Rgb{30, 20, 10}));
    ASSERT_EQ(ConvertDibTo24(nullptr, copy.header, copy.pixels), 1);
    EXPECT_EQ(copy.header->biSize, 40u);
    EXPECT_EQ(PixelAt(copy.header, copy.pixels, 0, 0), (Rgb{30, 20, 10}));
    HLOCAL h, p;
    dib.Release(&h, &p);
    HBITMAP bitmap = MakePictureBitmap(GetDesktopWindow(), h, p);
    EXPECT_NE(bitmap, nullptr);
    DeletePictureBitmap(nullptr, bitmap);
}

}  // namespace
