#include "image/transforms.h"
#include "tests/image/dib_test_helpers.h"

namespace {

using Transforms = ImageTest;
using Primitive = int (*)(BITMAPINFOHEADER*&, BYTE*&, ProgressProc, intptr_t);

// Where result pixel (x, y) comes from in a W x H source, for each code.
std::pair<int, int> SourceOf(int code, int x, int y, int W, int H) {
    const std::pair<int, int> from[] = {{x, y}, {y, H - 1 - x}, {W - 1 - x, H - 1 - y}, {W - 1 - y, x},
                                        {y, x}, {W - 1 - x, y}, {W - 1 - y, H - 1 - x}, {x, H - 1 - y}};
    return from[code];
}

Rgb Stored(int bits, int x, int y) {  // what MakeDib keeps of DistinctPixel
    const Rgb c = DistinctPixel(x, y);
    return bits == 16 ? Quantise555(c) : bits == 8 ? Rgb{c.g, c.g, c.g} : c;
}

class Orientations : public ImageTest,
                     public ::testing::WithParamInterface<std::tuple<int, bool, std::pair<int, int>>> {};

// Every code through the primitives on the picture as it stands (16 or 24
// bits, as the thumbnails use them) and through the viewer's path, which
// converts to 24 bits first unless the code is 0.
TEST_P(Orientations, EveryCodeGivesItsPixels) {
    const auto [bits, topDown, size] = GetParam();
    const auto [W, H] = size;
    for (int code = 0; code < kOrientationCount; ++code)
        for (const bool viewer : {false, true}) {
            if (!viewer && bits == 8) continue;  // the primitives turn whole pixels of 16 bits or more
            LockedDib dib = MakeDib(W, H, bits, topDown);
            ASSERT_EQ(viewer ? ApplyOrientation(nullptr, dib.header, dib.pixels, code)
                             : OrientDib(dib.header, dib.pixels, code),
                      1);
            EXPECT_EQ(dib.header->biBitCount, viewer && code ? 24 : bits);
            EXPECT_GE(LocalSize(LocalHandle(dib.pixels)), DibPixelBytes(*dib.header));
            if (viewer && code == 1) {  // turned pictures come out bottom-up
                EXPECT_GT(dib.header->biHeight, 0);
            }
            const bool swapped = OrientationSwapsSides(code);
            ASSERT_EQ(dib.header->biWidth, swapped ? H : W) << code;
            ASSERT_EQ(DibRows(*dib.header), swapped ? W : H) << code;
            for (int y = 0; y < DibRows(*dib.header); ++y)
                for (int x = 0; x < dib.header->biWidth; ++x) {
                    const auto [sx, sy] = SourceOf(code, x, y, W, H);
                    ASSERT_EQ(PixelAt(dib.header, dib.pixels, x, y), Stored(bits, sx, sy))
                        << code << " " << viewer << " at " << x << "," << y;
                }
        }
}

INSTANTIATE_TEST_SUITE_P(SmallPictures, Orientations,
                         ::testing::Combine(::testing::Values(8, 16, 24), ::testing::Bool(),
                                            ::testing::Values(std::make_pair(3, 2), std::make_pair(2, 3),
                                                              std::make_pair(37, 70))));

TEST_F(Transforms, WhatThePrimitivesRefuseAndCodesOutsideTheRange) {
    auto grey = [](int x, int y) { return Rgb{0, uint8_t(30 * x + 7 * y), 0}; };
    LockedDib four = MakeDib(3, 2, 8, false);
    four.header->biBitCount = 4;
    EXPECT_EQ(MirrorHorizontal(four.header, four.pixels), 0);  // mirroring needs whole bytes per pixel
    LockedDib eight = MakeDib(3, 2, 8, false, grey);
    EXPECT_EQ(RotateRight90(eight.header, eight.pixels), 0);
    EXPECT_EQ(ApplyOrientation(nullptr, eight.header, eight.pixels, 9), 1);  // changes nothing
    EXPECT_EQ(eight.header->biBitCount, 8);
    EXPECT_EQ(MirrorHorizontal(eight.header, eight.pixels), 1);
    EXPECT_EQ(PixelAt(eight.header, eight.pixels, 0, 0).g, grey(2, 0).g);
}

TEST_F(Transforms, AStoppedPrimitiveLeavesThePictureAsItWas) {
    const LockedDib original = MakeDib(6, 5, 24, false);
    LockedDib dib = MakeDib(6, 5, 24, false);
    ProgressLog mirror(3), turn(2), never;
    EXPECT_EQ(MirrorHorizontal(dib.header, dib.pixels, ProgressLog::Record, mirror.Data()), 0);
    EXPECT_TRUE(SamePixels(dib, original));
    EXPECT_EQ(RotateRight90(dib.header, dib.pixels, ProgressLog::Record, turn.Data()), 0);
    EXPECT_TRUE(SamePixels(dib, original));
    EXPECT_EQ(RotateRight270(dib.header, dib.pixels, ProgressLog::Record, never.Data()), 1);
    EXPECT_EQ(never.calls.size(), 6u + 2u);  // before, once per column, after
}

// A plug-in may hand over a longer header with the table behind it: a copy
// keeps it, the conversion ends in the classic header, and it can be shown.
TEST_F(Transforms, CopiesKeepTheColourTableBehindAnyHeader) {
    auto grey = [](int x, int y) { return Rgb{0, uint8_t(x * 20 + y), 0}; };
    for (const DWORD headerSize : {40u, 108u}) {
        LockedDib source = MakeDib(4, 3, 8, true, grey, headerSize), copy;
        ASSERT_EQ(CopyDib(copy.header, copy.pixels, source.header, source.pixels), 1);
        EXPECT_NE(copy.pixels, source.pixels);
        EXPECT_EQ(LocalSize(LocalHandle(copy.header)), headerSize + 1024u);
        EXPECT_TRUE(SamePixels(copy, source)) << headerSize;
        ASSERT_EQ(ConvertDibTo24(nullptr, copy.header, copy.pixels), 1);
        EXPECT_EQ(copy.header->biSize, 40u);
        EXPECT_TRUE(SamePixels(copy, source)) << headerSize;
        HLOCAL h, p;
        source.Release(&h, &p);
        HBITMAP bitmap = MakePictureBitmap(GetDesktopWindow(), h, p);
        EXPECT_NE(bitmap, nullptr) << headerSize;
        DeletePictureBitmap(nullptr, bitmap);
    }
}

}  // namespace
