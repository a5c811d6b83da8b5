#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "image/transforms.h"
#include "tests/image/dib_test_helpers.h"

namespace {

// A detailed picture: smooth gradients under fine stripes and a checker,
// so that every kind of edge meets the filter.
Rgb Detailed(int x, int y) {
    const double wave = 127.5 + 127.5 * std::sin(x * 0.37) * std::cos(y * 0.23);
    const uint8_t stripe = (x / 2 + y / 3) % 2 ? 200 : 30;
    const uint8_t checker = ((x / 5) ^ (y / 4)) & 1 ? 255 : 0;
    return Rgb{uint8_t(wave), stripe, uint8_t((checker + x * 3 + y) & 0xFF)};
}

// The exact area average of the source over the area that result pixel
// (i, j) covers, in double precision.
std::vector<double> ExactAverage(const LockedDib& source, int width, int height) {
    const int W = source.header->biWidth, H = DibRows(*source.header);
    std::vector<double> out(size_t(width) * height * 3);
    const double sx = double(W) / width, sy = double(H) / height;
    for (int j = 0; j < height; ++j)
        for (int i = 0; i < width; ++i) {
            double sum[3] = {0, 0, 0};
            for (int y = int(j * sy); y < H && y < (j + 1) * sy; ++y) {
                const double oy = std::fmin((j + 1) * sy, y + 1.0) - std::fmax(j * sy, double(y));
                for (int x = int(i * sx); x < W && x < (i + 1) * sx; ++x) {
                    const double ox = std::fmin((i + 1) * sx, x + 1.0) - std::fmax(i * sx, double(x));
                    const Rgb c = PixelAt(source.header, source.pixels, x, y);
                    sum[0] += ox * oy * c.r;
                    sum[1] += ox * oy * c.g;
                    sum[2] += ox * oy * c.b;
                }
            }
            for (int k = 0; k < 3; ++k) out[(size_t(j) * width + i) * 3 + k] = sum[k] / (sx * sy);
        }
    return out;
}

struct Accuracy {
    double meanError;
    double psnr;
};

Accuracy Compare(const LockedDib& result, const std::vector<double>& exact) {
    const int width = result.header->biWidth, height = DibRows(*result.header);
    double absolute = 0, squared = 0;
    for (int j = 0; j < height; ++j)
        for (int i = 0; i < width; ++i) {
            const Rgb c = PixelAt(result.header, result.pixels, i, j);
            const double got[3] = {double(c.r), double(c.g), double(c.b)};
            for (int k = 0; k < 3; ++k) {
                const double d = got[k] - exact[(size_t(j) * width + i) * 3 + k];
                absolute += std::fabs(d);
                squared += d * d;
            }
        }
    const double n = 3.0 * width * height;
    const double mse = squared / n;
    return Accuracy{absolute / n, mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse)};
}

TEST(StretchDib, MatchesTheExactAreaAverage) {
    const struct {
        int W, H, w, h;
        bool topDown;
    } cases[] = {{181, 127, 90, 63, true}, {181, 127, 23, 40, false}, {64, 48, 64, 48, false},
                 {200, 150, 90, 67, true}, {7, 5, 19, 13, false},     {90, 90, 89, 91, true}};
    for (const auto& c : cases) {
        const LockedDib source = MakeDib(c.W, c.H, 24, c.topDown, Detailed);
        LockedDib dib = MakeDib(c.W, c.H, 24, c.topDown, Detailed);
        ASSERT_EQ(StretchDib(nullptr, dib.header, dib.pixels, c.w, c.h), 1);
        EXPECT_EQ(dib.header->biWidth, c.w);
        EXPECT_EQ(dib.header->biHeight, c.h);  // bottom row first
        EXPECT_EQ(dib.header->biBitCount, 24);
        EXPECT_EQ(dib.header->biSizeImage, DibStride(24, c.w) * c.h);
        const Accuracy accuracy = Compare(dib, ExactAverage(source, c.w, c.h));
        EXPECT_LE(accuracy.meanError, 1.0) << c.W << "x" << c.H << " to " << c.w << "x" << c.h;
        EXPECT_GE(accuracy.psnr, 45.0) << c.W << "x" << c.H << " to " << c.w << "x" << c.h;
    }
}

TEST(StretchDib, AlternatingBlackAndWhiteReducesToMidGrey) {
    auto columns = [](int x, int) { return x % 2 ? Rgb{255, 255, 255} : Rgb{0, 0, 0}; };
    auto checker = [](int x, int y) { return (x + y) % 2 ? Rgb{255, 255, 255} : Rgb{0, 0, 0}; };
    for (const PixelPattern& pattern : {PixelPattern(columns), PixelPattern(checker)}) {
        LockedDib dib = MakeDib(8, 8, 24, false, pattern);
        ASSERT_EQ(StretchDib(nullptr, dib.header, dib.pixels, 2, 2), 1);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 2; ++x) {
                const Rgb c = PixelAt(dib.header, dib.pixels, x, y);
                EXPECT_NEAR(c.r, 127.5, 0.5);
                EXPECT_EQ(c.r, c.g);
                EXPECT_EQ(c.g, c.b);
            }
    }
}

TEST(StretchDib, OtherDepthsAreResampledFromTwentyFourBits) {
    auto grey = [](int x, int y) { return Rgb{0, uint8_t(x * 10 + y), 0}; };
    LockedDib dib = MakeDib(20, 10, 8, true, grey);
    const DWORD gdi = GdiObjectCount();
    const long blocks = LiveDibBlocks();
    ASSERT_EQ(StretchDib(nullptr, dib.header, dib.pixels, 10, 5), 1);
    EXPECT_EQ(LiveDibBlocks(), blocks);  // two replaced, the working copy freed
    EXPECT_EQ(GdiObjectCount(), gdi);
    EXPECT_EQ(dib.header->biBitCount, 24);
    const Rgb c = PixelAt(dib.header, dib.pixels, 3, 2);
    const double expected = (grey(6, 4).g + grey(7, 4).g + grey(6, 5).g + grey(7, 5).g) / 4.0;
    EXPECT_NEAR(c.g, expected, 0.51);
    EXPECT_EQ(c.r, c.g);
}

TEST(StretchDib, ImpossibleSizesLeaveThePictureUnchanged) {
    LockedDib dib = MakeDib(4, 4, 24, false);
    BYTE* before = dib.pixels;
    EXPECT_EQ(StretchDib(nullptr, dib.header, dib.pixels, 0, 5), 0);
    EXPECT_EQ(StretchDib(nullptr, dib.header, dib.pixels, 5, -1), 0);
    EXPECT_EQ(StretchDib(nullptr, dib.header, dib.pixels, 100000, 100000), 0);
    EXPECT_EQ(dib.pixels, before);
    EXPECT_EQ(dib.header->biWidth, 4);
}

}  // namespace
