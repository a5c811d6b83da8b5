#include <cmath>

#include "image/transforms.h"
#include "tests/image/dib_test_helpers.h"

namespace {

using StretchDib = ImageTest;

// Smooth gradients under fine stripes and a checker: every kind of edge.
Rgb Detailed(int x, int y) {
    const double wave = 127.5 + 127.5 * std::sin(x * 0.37) * std::cos(y * 0.23);
    const uint8_t stripe = (x / 2 + y / 3) % 2 ? 200 : 30, checker = ((x / 5) ^ (y / 4)) & 1 ? 255 : 0;
    return Rgb{uint8_t(wave), stripe, uint8_t((checker + x * 3 + y) & 0xFF)};
}
Rgb Columns(int x, int) {
    return x % 2 ? Rgb{255, 255, 255} : Rgb{0, 0, 0};
}
Rgb Checker(int x, int y) {
    return Columns(x + y, 0);
}
Rgb GreyRamp(int x, int y) {
    return Rgb{0, uint8_t(x * 10 + y), 0};
}

struct Errors {
    double mean, worst, psnr;
};

// The result against the exact area average, in double precision, of the
// source area each result pixel covers.
Errors AgainstExactAverage(const LockedDib& source, const LockedDib& result) {
    const int W = source.header->biWidth, H = DibRows(*source.header);
    const int w = result.header->biWidth, h = DibRows(*result.header);
    const double sx = double(W) / w, sy = double(H) / h;
    double absolute = 0, squared = 0, worst = 0;
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            double sum[3] = {0, 0, 0};
            for (int y = int(j * sy); y < H && y < (j + 1) * sy; ++y)
                for (int x = int(i * sx); x < W && x < (i + 1) * sx; ++x) {
                    const double area = (std::fmin((j + 1) * sy, y + 1.0) - std::fmax(j * sy, double(y))) *
                                        (std::fmin((i + 1) * sx, x + 1.0) - std::fmax(i * sx, double(x)));
                    const Rgb c = PixelAt(source.header, source.pixels, x, y);
                    sum[0] += area * c.r, sum[1] += area * c.g, sum[2] += area * c.b;
                }
            const Rgb c = PixelAt(result.header, result.pixels, i, j);
            const double got[3] = {double(c.r), double(c.g), double(c.b)};
            for (int k = 0; k < 3; ++k) {
                const double d = std::fabs(got[k] - sum[k] / (sx * sy));
                absolute += d, squared += d * d, worst = std::fmax(worst, d);
            }
        }
    const double n = 3.0 * w * h, mse = squared / n;
    return Errors{absolute / n, worst, mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse)};
}

// Any depth is resampled from 24 bits into a bottom-up 24-bit picture that
// matches the exact area average; alternating black and white becomes grey.
TEST_F(StretchDib, MatchesTheExactAreaAverage) {
    // clang-format off
    const struct { int W, H, w, h, bits; bool topDown; Rgb (*pattern)(int, int); double mean, worst, psnr; } cases[] = {
        {181, 127, 90, 63, 24, true, Detailed, 1.0, 255, 45},
        {181, 127, 23, 40, 24, false, Detailed, 1.0, 255, 45},
        {64, 48, 64, 48, 24, false, Detailed, 1.0, 255, 45},
        {200, 150, 90, 67, 24, true, Detailed, 1.0, 255, 45},
        {7, 5, 19, 13, 24, false, Detailed, 1.0, 255, 45}, {90, 90, 89, 91, 24, true, Detailed, 1.0, 255, 45},
        {8, 8, 2, 2, 24, false, Columns, 0.5, 0.5, 0}, {8, 8, 2, 2, 24, false, Checker, 0.5, 0.5, 0},
        {20, 10, 10, 5, 8, true, GreyRamp, 0.51, 0.51, 0}};
    // clang-format on
    for (const auto& c : cases) {
        const LockedDib source = MakeDib(c.W, c.H, c.bits, c.topDown, c.pattern);
        LockedDib dib = MakeDib(c.W, c.H, c.bits, c.topDown, c.pattern);
        ASSERT_EQ(::StretchDib(nullptr, dib.header, dib.pixels, c.w, c.h), 1);
        const BITMAPINFOHEADER& h = *dib.header;
        EXPECT_EQ(std::make_tuple(h.biWidth, h.biHeight, h.biBitCount, h.biSizeImage),
                  std::make_tuple(LONG(c.w), LONG(c.h), WORD(24), DWORD(DibStride(24, c.w) * c.h)));
        const Errors errors = AgainstExactAverage(source, dib);
        EXPECT_TRUE(errors.mean <= c.mean && errors.worst <= c.worst && errors.psnr >= c.psnr)
            << c.W << "x" << c.H << " to " << c.w << "x" << c.h << ": " << errors.mean << " " << errors.worst
            << " " << errors.psnr;
        for (int i = 0; c.pattern != Detailed && i < c.w * c.h; ++i) {  // grey stays grey
            const Rgb got = PixelAt(dib.header, dib.pixels, i % c.w, i / c.w);
            EXPECT_TRUE(got.r == got.g && got.g == got.b) << i;
        }
    }
}

TEST_F(StretchDib, ImpossibleSizesLeaveThePictureUnchanged) {
    LockedDib dib = MakeDib(4, 4, 24, false);
    BYTE* before = dib.pixels;
    for (const auto& [w, h] : {std::make_pair(0, 5), std::make_pair(5, -1), std::make_pair(100000, 100000)})
        EXPECT_EQ(::StretchDib(nullptr, dib.header, dib.pixels, w, h), 0) << w;
    EXPECT_EQ(dib.pixels, before);
    EXPECT_EQ(dib.header->biWidth, 4);
}

}  // namespace
