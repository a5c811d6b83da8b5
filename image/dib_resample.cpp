#include "image/dib_resample.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
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

template <int kChannels>
void ResampleRow(const BYTE* row, const AxisWeights& columns, float* out) {
    for (const Span& span : columns.spans) {
        const float* weight = &columns.weights[span.weightIndex];
        const BYTE* pixel = row + size_t(span.first) * kChannels;
        float sum[kChannels] = {};
        for (int k = 0; k < span.count; ++k, pixel += kChannels)
            for (int c = 0; c < kChannels; ++c) sum[c] += weight[k] * pixel[c];
        for (int c = 0; c < kChannels; ++c) out[c] = sum[c];
        out += kChannels;
    }
}

BYTE ToByte(float value) {
    const float rounded = value + 0.5f;
    return rounded <= 0 ? 0 : rounded >= 255 ? 255 : BYTE(rounded);
}

// Result rows [from, to): each band keeps its own ring of source rows.
template <int kChannels = 3>
void ResampleBand(const PixelRows24& source, const PixelRows24& target, const AxisWeights& columns,
                  const AxisWeights& rows, int from, int to) {
    const size_t rowFloats = size_t(target.width) * kChannels;

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
            ResampleRow<kChannels>(DisplayRow(source, y), columns, row);
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

// Fixed-point weights: each span's weights as parts of 1 << 16 that add up
// to exactly 1 << 16 (the rounding rest goes to the span's largest weight),
// so a sum of bytes never leaves the range of its 32-bit accumulator.
constexpr int kWeightBits = 16;
constexpr uint32_t kWeightOne = 1u << kWeightBits;

std::vector<uint32_t> FixedWeights(const AxisWeights& axis) {
    std::vector<uint32_t> fixed(axis.weights.size());
    for (const Span& span : axis.spans) {
        int64_t total = 0;
        size_t largest = span.weightIndex;
        for (int k = 0; k < span.count; ++k) {
            const size_t i = span.weightIndex + k;
            fixed[i] = uint32_t(std::lround(axis.weights[i] * double(kWeightOne)));
            total += fixed[i];
            if (fixed[i] > fixed[largest]) largest = i;
        }
        if (span.count > 0) fixed[largest] = uint32_t(std::max<int64_t>(0, fixed[largest] + kWeightOne - total));
    }
    return fixed;
}

// The summed source rows come out at 8 fractional bits: at most 255 << 8,
// so a 16-bit column weight times one stays within 32 bits. A row weight
// is at most a half (the pass shrinks at least by two), so 16 bits hold it.
//
// Two ways to sum the rows, giving the same numbers: a plain 16-bit sum per
// byte, added sixteen at a time by the vector unit (SSE2, which every
// 64-bit processor has and the 32-bit program asks the processor for), and
// for a 32-bit processor without it, pairs of 16-bit lanes in 32-bit words.
//
// The inner loops, which touch every source byte, are compiled for the
// vector unit as they would be at -O3. The vector functions realign the
// stack on entry: a 32-bit Windows thread may call them with a stack
// aligned to 4 bytes only, and a spilled vector needs 16.
#define PILTRIN_VECTOR_LOOP                                           \
    __attribute__((target("sse2"), force_align_arg_pointer, noinline, \
                   optimize("tree-vectorize", "vect-cost-model=dynamic")))

struct VectorSums {
    using Sum = uint16_t;
    static size_t SumsFor(size_t count) { return count; }

    PILTRIN_VECTOR_LOOP static void AddRow(uint16_t* sums, const BYTE* row, size_t count) {
        for (size_t i = 0; i < count; ++i) sums[i] += row[i];
    }

    PILTRIN_VECTOR_LOOP static void CombineRows(uint16_t* out, const uint16_t* sums, uint16_t wholeWeight,
                                                const BYTE* first, uint16_t firstWeight, const BYTE* last,
                                                uint16_t lastWeight, size_t count) {
        for (size_t i = 0; i < count; ++i)
            out[i] = uint16_t((uint32_t(wholeWeight) * sums[i] + uint32_t(firstWeight) * first[i] +
                               uint32_t(lastWeight) * last[i] + 0x80) >>
                              8);
    }
};

// Four bytes to a pair of 32-bit words, each word holding two 16-bit lanes:
// bytes 0 and 2 of the four in the first, bytes 1 and 3 in the second; a
// quarter of the additions.
struct WordSums {
    using Sum = uint32_t;
    static size_t SumsFor(size_t count) { return 2 * ((count + 3) / 4); }

    static void AddRow(uint32_t* lanes, const BYTE* row, size_t count) {
        const size_t words = count / 4;
        for (size_t j = 0; j < words; ++j) {
            uint32_t word;
            std::memcpy(&word, row + 4 * j, 4);
            lanes[2 * j] += word & 0x00FF00FFu;
            lanes[2 * j + 1] += (word >> 8) & 0x00FF00FFu;
        }
        // A row need not end on a whole word (a decoder's rows are packed).
        for (size_t i = 4 * words; i < count; ++i)
            lanes[2 * (i / 4) + (i & 1)] += uint32_t(row[i]) << (16 * ((i >> 1) & 1));
    }

    static void CombineRows(uint16_t* out, const uint32_t* lanes, uint16_t wholeWeight, const BYTE* first,
                            uint16_t firstWeight, const BYTE* last, uint16_t lastWeight, size_t count) {
        auto combine = [&](size_t i, uint32_t whole) {
            out[i] =
                uint16_t((wholeWeight * whole + firstWeight * first[i] + lastWeight * last[i] + 0x80) >> 8);
        };
        const size_t words = count / 4;
        for (size_t j = 0; j < words; ++j) {
            combine(4 * j, lanes[2 * j] & 0xFFFFu);
            combine(4 * j + 1, lanes[2 * j + 1] & 0xFFFFu);
            combine(4 * j + 2, lanes[2 * j] >> 16);
            combine(4 * j + 3, lanes[2 * j + 1] >> 16);
        }
        for (size_t i = 4 * words; i < count; ++i)
            combine(i, (lanes[2 * (i / 4) + (i & 1)] >> (16 * ((i >> 1) & 1))) & 0xFFFFu);
    }
};

bool HasVectorUnit() {
#if defined(__SSE2__)
    return true;
#else
    static const bool has = IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE) != 0;
    return has;
#endif
}

// Result rows [from, to) of a picture at least halved in height: each
// result row first sums the source rows it covers (the wholly covered ones
// as integers, all with the same weight, the two partly covered ones
// weighted), then the one summed row is resampled along x. Every source
// byte is touched once, by an addition (16 bits hold the sums of up to
// 257 rows, ShrinkSums). All of it is integer arithmetic of 32 bits at
// most, which the 32-bit program does as fast as the 64-bit one.
template <class Sums>
void ShrinkBandWith(const PixelRows24& source, const PixelRows24& target, const AxisWeights& columns,
                    const AxisWeights& rows, int from, int to) {
    const std::vector<uint32_t> columnWeights = FixedWeights(columns);
    const size_t count = size_t(source.width) * 3;
    std::vector<typename Sums::Sum> whole(Sums::SumsFor(count));
    std::vector<uint16_t> summed(count);
    for (int y = from; y < to; ++y) {
        const Span& span = rows.spans[y];
        // The row weights in parts of 1 << 16 adding up to exactly that:
        // the wholly covered rows share one weight, rounded down like the
        // first row's so that the last row's, the rest, is never negative.
        // Every span covers at least two rows, so each weight is at most
        // a half (and the rest, by rounding, not much more).
        const float* weight = &rows.weights[span.weightIndex];
        const uint32_t wholeWeight = span.count > 2 ? uint32_t(weight[1] * double(kWeightOne)) : 0;
        const uint32_t firstWeight = uint32_t(weight[0] * double(kWeightOne));
        const int32_t rest =
            int32_t(kWeightOne - firstWeight) - int32_t(wholeWeight) * std::max(0, span.count - 2);
        const uint32_t lastWeight = uint32_t(std::clamp<int32_t>(rest, 0, 0xFFFF));
        std::fill(whole.begin(), whole.end(), typename Sums::Sum(0));
        for (int k = 1; k + 1 < span.count; ++k)
            Sums::AddRow(whole.data(), DisplayRow(source, span.first + k), count);
        const BYTE* first = DisplayRow(source, span.first);
        const BYTE* last = DisplayRow(source, span.first + span.count - 1);
        Sums::CombineRows(summed.data(), whole.data(), uint16_t(wholeWeight), first, uint16_t(firstWeight),
                          last, uint16_t(lastWeight), count);
        BYTE* out = const_cast<BYTE*>(DisplayRow(target, y));
        for (const Span& column : columns.spans) {
            const uint32_t* w = &columnWeights[column.weightIndex];
            const uint16_t* pixel = &summed[size_t(column.first) * 3];
            uint32_t b = 1u << 23, g = 1u << 23, r = 1u << 23;
            for (int k = 0; k < column.count; ++k, pixel += 3) {
                b += w[k] * pixel[0];
                g += w[k] * pixel[1];
                r += w[k] * pixel[2];
            }
            *out++ = BYTE(std::min<uint32_t>(255, b >> 24));
            *out++ = BYTE(std::min<uint32_t>(255, g >> 24));
            *out++ = BYTE(std::min<uint32_t>(255, r >> 24));
        }
    }
}

void ShrinkBand(const PixelRows24& source, const PixelRows24& target, const AxisWeights& columns,
                const AxisWeights& rows, int from, int to) {
    if (HasVectorUnit())
        ShrinkBandWith<VectorSums>(source, target, columns, rows, from, to);
    else
        ShrinkBandWith<WordSums>(source, target, columns, rows, from, to);
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
        source.height >= 2 * target.height && rows.widestSpan <= kShrinkSums + 2 ? ShrinkBand : ResampleBand<3>;
    std::vector<std::thread> helpers;
    for (int band = 1; band < bands; ++band) {
        const int from = target.height * band / bands, to = target.height * (band + 1) / bands;
        helpers.emplace_back([&, from, to] { pass(source, target, columns, rows, from, to); });
    }
    pass(source, target, columns, rows, 0, target.height / bands);
    for (std::thread& helper : helpers) helper.join();
}

void ResampleArea32(const PixelRows24& source, const PixelRows24& target) {
    ResampleBand<4>(source, target, WeightsFor(source.width, target.width),
                    WeightsFor(source.height, target.height), 0, target.height);
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
