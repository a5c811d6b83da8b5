#include "image/dib_resample.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <thread>
#include <vector>

#include "image/dib_image.h"
#include "image/transforms.h"

namespace {

// Which source pixels cover result pixel i along one axis, and how much.
struct Span {
    int first;
    int count;
    size_t weightIndex;
};

struct AxisWeights {
    std::vector<Span> spans;
    std::vector<float> weights;
    int widestSpan = 0;
};

// Result pixel i covers [i * S / D, (i + 1) * S / D) of the source axis;
// each source pixel s counts with the length of its overlap, divided by the
// area's length so that the weights add up to 1.
AxisWeights WeightsFor(int sourceSize, int targetSize) {
    AxisWeights axis;
    axis.spans.reserve(targetSize);
    const double scale = double(sourceSize) / targetSize;
    for (int i = 0; i < targetSize; ++i) {
        const double start = i * scale;
        const double end = (i + 1) * scale;
        int first = int(std::floor(start));
        int last = int(std::ceil(end)) - 1;
        if (last >= sourceSize) last = sourceSize - 1;
        if (first > last) first = last;
        Span span{first, 0, axis.weights.size()};
        for (int s = first; s <= last; ++s) {
            const double overlap = std::fmin(end, s + 1.0) - std::fmax(start, double(s));
            if (overlap <= 0) {
                if (span.count == 0) ++span.first;
                continue;
            }
            axis.weights.push_back(float(overlap / scale));
            ++span.count;
        }
        if (span.count > axis.widestSpan) axis.widestSpan = span.count;
        axis.spans.push_back(span);
    }
    return axis;
}

const BYTE* DisplayRow(const PixelRows24& rows, int y) {
    const int stored = rows.topDown ? y : rows.height - 1 - y;
    return rows.pixels + size_t(stored) * rows.stride;
}

void ResampleRow(const BYTE* row, const AxisWeights& columns, float* out) {
    for (const Span& span : columns.spans) {
        const float* weight = &columns.weights[span.weightIndex];
        const BYTE* pixel = row + size_t(span.first) * 3;
        float b = 0, g = 0, r = 0;
        for (int k = 0; k < span.count; ++k, pixel += 3) {
            b += weight[k] * pixel[0];
            g += weight[k] * pixel[1];
            r += weight[k] * pixel[2];
        }
        out[0] = b;
        out[1] = g;
        out[2] = r;
        out += 3;
    }
}

BYTE ToByte(float value) {
    const float rounded = value + 0.5f;
    return rounded <= 0 ? 0 : rounded >= 255 ? 255 : BYTE(rounded);
}

// Result rows [from, to): each band keeps its own ring of source rows.
void ResampleBand(const PixelRows24& source, const PixelRows24& target, const AxisWeights& columns,
                  const AxisWeights& rows, int from, int to) {
    const size_t rowFloats = size_t(target.width) * 3;

    // Source rows after the horizontal pass, kept while later result rows
    // still need them. Result rows ask for source rows in rising order, so
    // a ring as deep as the widest vertical span suffices.
    const int depth = rows.widestSpan + 1;
    std::vector<float> ring(size_t(depth) * rowFloats);
    std::vector<int> ringRow(depth, -1);
    auto resampled = [&](int y) -> const float* {
        const int slot = y % depth;
        float* row = &ring[size_t(slot) * rowFloats];
        if (ringRow[slot] != y) {
            ResampleRow(DisplayRow(source, y), columns, row);
            ringRow[slot] = y;
        }
        return row;
    };

    std::vector<float> sum(rowFloats);
    for (int y = from; y < to; ++y) {
        const Span& span = rows.spans[y];
        std::fill(sum.begin(), sum.end(), 0.0f);
        for (int k = 0; k < span.count; ++k) {
            const float weight = rows.weights[span.weightIndex + k];
            const float* row = resampled(span.first + k);
            for (size_t i = 0; i < rowFloats; ++i) sum[i] += weight * row[i];
        }
        BYTE* out = const_cast<BYTE*>(DisplayRow(target, y));
        for (size_t i = 0; i < rowFloats; ++i) out[i] = ToByte(sum[i]);
    }
}
constexpr int kShrinkSums = 257;

// The inner loops of the shrinking pass, which touch every source byte:
// compiled for the vector unit, as they would be at -O3.
#define PILTRIN_VECTOR_LOOP __attribute__((optimize("tree-vectorize", "vect-cost-model=dynamic")))

PILTRIN_VECTOR_LOOP void AddRow(uint16_t* sum, const BYTE* row, size_t count) {
    for (size_t i = 0; i < count; ++i) sum[i] += row[i];
}

PILTRIN_VECTOR_LOOP void CombineRows(float* out, const uint16_t* whole, float wholeWeight, const BYTE* first,
                                     float firstWeight, const BYTE* last, float lastWeight, size_t count) {
    for (size_t i = 0; i < count; ++i)
        out[i] = wholeWeight * float(whole[i]) + firstWeight * float(first[i]) + lastWeight * float(last[i]);
}

// Result rows [from, to) of a picture at least halved in height: each
// result row first sums the source rows it covers (the wholly covered ones
// as integers, all with the same weight, the two partly covered ones
// weighted), then the one summed row is resampled along x. Every source
// byte is touched once, by an addition (16 bits hold the sums of up to
// 257 rows, ShrinkSums).
void ShrinkBand(const PixelRows24& source, const PixelRows24& target, const AxisWeights& columns,
                const AxisWeights& rows, int from, int to) {
    const size_t count = size_t(source.width) * 3;
    std::vector<uint16_t> whole(count);
    std::vector<float> summed(count);
    for (int y = from; y < to; ++y) {
        const Span& span = rows.spans[y];
        const float* weight = &rows.weights[span.weightIndex];
        std::fill(whole.begin(), whole.end(), uint16_t(0));
        for (int k = 1; k + 1 < span.count; ++k)
            AddRow(whole.data(), DisplayRow(source, span.first + k), count);
        const BYTE* first = DisplayRow(source, span.first);
        const BYTE* last = DisplayRow(source, span.first + span.count - 1);
        CombineRows(summed.data(), whole.data(), span.count > 2 ? weight[1] : 0.0f, first, weight[0], last,
                    span.count > 1 ? weight[span.count - 1] : 0.0f, count);
        BYTE* out = const_cast<BYTE*>(DisplayRow(target, y));
        for (const Span& column : columns.spans) {
            const float* w = &columns.weights[column.weightIndex];
            const float* pixel = &summed[size_t(column.first) * 3];
            float b = 0, g = 0, r = 0;
            for (int k = 0; k < column.count; ++k, pixel += 3) {
                b += w[k] * pixel[0];
                g += w[k] * pixel[1];
                r += w[k] * pixel[2];
            }
            *out++ = ToByte(b);
            *out++ = ToByte(g);
            *out++ = ToByte(r);
        }
    }
}
}  // namespace

void ResampleArea24(const PixelRows24& source, const PixelRows24& target) {
    const AxisWeights columns = WeightsFor(source.width, target.width);
    const AxisWeights rows = WeightsFor(source.height, target.height);
    // A large picture (a fitted photo) is shared out in bands of result
    // rows, one per processor; each result pixel is computed the same way
    // whichever band holds it.
    const uint64_t work = uint64_t(source.width) * uint64_t(source.height);
    const int bands = work < (1u << 20) || target.height < 16
                          ? 1
                          : int(std::min<unsigned>(4, std::max(1u, std::thread::hardware_concurrency())));
    const auto pass =
        source.height >= 2 * target.height && rows.widestSpan <= kShrinkSums + 2 ? ShrinkBand : ResampleBand;
    std::vector<std::thread> helpers;
    for (int band = 1; band < bands; ++band) {
        const int from = target.height * band / bands, to = target.height * (band + 1) / bands;
        helpers.emplace_back([&, from, to] { pass(source, target, columns, rows, from, to); });
    }
    pass(source, target, columns, rows, 0, target.height / bands);
    for (std::thread& helper : helpers) helper.join();
}

int StretchDib(HDC dc, BITMAPINFOHEADER*& header, BYTE*& pixels, int width, int height) {
    if (width < 1 || height < 1 || !IsUsableDibHeader(*header)) return 0;
    BITMAPINFOHEADER fields = Dib24Header(width, height);
    const uint64_t pixelBytes = fields.biSizeImage;
    if (pixelBytes == 0) return 0;

    // Other depths are resampled from a 24-bit copy, so that a failure
    // anywhere leaves the caller's picture as it was.
    LockedDib converted;
    const BITMAPINFOHEADER* sourceHeader = header;
    const BYTE* sourcePixels = pixels;
    if (header->biBitCount != 24) {
        if (!CopyDib(converted.header, converted.pixels, header, pixels)) return 0;
        if (!ConvertDibTo24(dc, converted.header, converted.pixels)) return 0;
        sourceHeader = converted.header;
        sourcePixels = converted.pixels;
    }
    auto* newHeader = static_cast<BITMAPINFOHEADER*>(AllocLockedBlock(sizeof fields));
    auto* newPixels = static_cast<BYTE*>(AllocLockedBlock(size_t(pixelBytes)));
    if (!newHeader || !newPixels) {
        FreeLockedBlock(newHeader);
        FreeLockedBlock(newPixels);
        return 0;
    }
    *newHeader = fields;
    const PixelRows24 source{const_cast<BYTE*>(sourcePixels), sourceHeader->biWidth, DibRows(*sourceHeader),
                             size_t(DibStride(24, sourceHeader->biWidth)), sourceHeader->biHeight < 0};
    const PixelRows24 target{newPixels, width, height, size_t(DibStride(24, width)), false};
    ResampleArea24(source, target);

    FreeLockedBlock(header);
    FreeLockedBlock(pixels);
    header = newHeader;
    pixels = newPixels;
    return 1;
}
