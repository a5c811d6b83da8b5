#include "image/icc_reader.h"

#include <cmath>
#include <cstring>

namespace {

constexpr char kChunkHead[12] = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
// The head, then the chunk's sequence number (from 1) and the chunk count.
constexpr size_t kChunkPrefix = sizeof kChunkHead + 2;
constexpr size_t kProfileHeader = 132;

}  // namespace

size_t DeclaredIccSize(const uint8_t* data) {
    return size_t(uint32_t(data[0]) << 24 | uint32_t(data[1]) << 16 | uint32_t(data[2]) << 8 | data[3]);
}

std::vector<uint8_t> IccProfileOfJpeg(const uint8_t* data, size_t size) {
    std::vector<ByteSpan> segments;
    if (!data || size < 4 || data[0] != 0xFF || data[1] != 0xD8) return {};
    size_t at = 2;
    // Each segment: 0xFF, its marker, a big-endian length that counts
    // itself; fill bytes of 0xFF may come before a marker.
    while (at + 4 <= size && data[at] == 0xFF) {
        const uint8_t marker = data[at + 1];
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) break;
        const size_t length = size_t(data[at + 2]) << 8 | data[at + 3];
        if (length < 2 || length > size - at - 2) break;
        if (marker == 0xE2) segments.push_back(ByteSpan{data + at + 4, length - 2});
        at += 2 + length;
    }
    return JoinIccChunks(segments);
}

bool IsWholeIccProfile(const uint8_t* data, size_t size) {
    if (!data || size < kProfileHeader || std::memcmp(data + 36, "acsp", 4) != 0) return false;
    const size_t declared = DeclaredIccSize(data);
    return declared >= kProfileHeader && declared <= size;
}

std::vector<uint8_t> JoinIccChunks(const std::vector<ByteSpan>& segments) {
    std::vector<ByteSpan> chunks;
    for (const ByteSpan& segment : segments) {
        if (!segment.data || segment.size < kChunkPrefix ||
            std::memcmp(segment.data, kChunkHead, sizeof kChunkHead) != 0)
            continue;
        const unsigned sequence = segment.data[sizeof kChunkHead];
        const unsigned count = segment.data[sizeof kChunkHead + 1];
        if (count == 0 || (!chunks.empty() && chunks.size() != count)) return {};
        if (chunks.empty()) chunks.assign(count, ByteSpan{nullptr, 0});
        if (sequence == 0 || sequence > count || chunks[sequence - 1].data) return {};
        chunks[sequence - 1] = ByteSpan{segment.data + kChunkPrefix, segment.size - kChunkPrefix};
    }
    std::vector<uint8_t> profile;
    for (const ByteSpan& chunk : chunks) {
        if (!chunk.data) return {};
        profile.insert(profile.end(), chunk.data, chunk.data + chunk.size);
    }
    if (!IsWholeIccProfile(profile.data(), profile.size())) return {};
    profile.resize(DeclaredIccSize(profile.data()));
    return profile;
}

namespace {
uint32_t BigEndian32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// The three numbers of an 'XYZ ' tag of a profile of size bytes, or false
// when the tag is missing, of another type or outside the profile.
bool ReadXyzTag(const uint8_t* data, size_t size, const char* signature, double xyz[3]) {
    const size_t count = BigEndian32(data + 128);
    if (count > (size - kProfileHeader) / 12) return false;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* entry = data + kProfileHeader + 12 * i;
        if (std::memcmp(entry, signature, 4) != 0) continue;
        const size_t offset = BigEndian32(entry + 4), length = BigEndian32(entry + 8);
        if (length < 20 || offset > size || size - offset < 20) return false;
        if (std::memcmp(data + offset, "XYZ ", 4) != 0) return false;
        for (int k = 0; k < 3; ++k) xyz[k] = int32_t(BigEndian32(data + offset + 8 + 4 * k)) / 65536.0;
        return true;
    }
    return false;
}
// The offset and length of a tag inside a profile of size bytes, or false.
bool FindTag(const uint8_t* data, size_t size, const char* signature, size_t* offset, size_t* length) {
    const size_t count = BigEndian32(data + 128);
    for (size_t i = 0; i < count && i < (size - kProfileHeader) / 12; ++i) {
        const uint8_t* entry = data + kProfileHeader + 12 * i;
        if (std::memcmp(entry, signature, 4) != 0) continue;
        *offset = BigEndian32(entry + 4);
        *length = BigEndian32(entry + 8);
        if (*offset > size || *length > size - *offset) return false;
        return true;
    }
    return false;
}

double Power(double x, double y) {
    return x <= 0 ? 0 : std::exp(y * std::log(x));
}

// A tone curve ('curv' or 'para') at x in 0-1; negative when it cannot be
// read.
double CurveAt(const uint8_t* curve, size_t length, double x) {
    if (length >= 12 && std::memcmp(curve, "curv", 4) == 0) {
        const size_t points = BigEndian32(curve + 8);
        if (points > (length - 12) / 2) return -1;
        if (points == 0) return x;
        if (points == 1) return Power(x, (curve[12] << 8 | curve[13]) / 256.0);
        const double at = x * double(points - 1);
        const size_t below = size_t(at);
        const size_t above = below + 1 < points ? below + 1 : below;
        const double low = (curve[12 + 2 * below] << 8 | curve[13 + 2 * below]) / 65535.0;
        const double high = (curve[12 + 2 * above] << 8 | curve[13 + 2 * above]) / 65535.0;
        return low + (high - low) * (at - double(below));
    }
    static const size_t kParameters[] = {1, 3, 4, 5, 7};
    if (length < 12 || std::memcmp(curve, "para", 4) != 0) return -1;
    const unsigned type = curve[8] << 8 | curve[9];
    if (type > 4 || length < 12 + 4 * kParameters[type]) return -1;
    double p[7] = {0, 1, 0, 0, 0, 0, 0};
    for (size_t i = 0; i < kParameters[type]; ++i) p[i] = int32_t(BigEndian32(curve + 12 + 4 * i)) / 65536.0;
    const double g = p[0], a = p[1], b = p[2], c = p[3], d = p[4], e = p[5], f = p[6];
    switch (type) {
        case 0:
            return Power(x, g);
        case 1:
            return x >= -b / a ? Power(a * x + b, g) : 0;
        case 2:
            return x >= -b / a ? Power(a * x + b, g) + c : c;
        case 3:
            return x >= d ? Power(a * x + b, g) : c * x;
        default:
            return x >= d ? Power(a * x + b, g) + e : c * x + f;
    }
}

// Whether the three tone curves are sRGB's, sampled across the range.
bool HasSrgbCurves(const uint8_t* data, size_t size) {
    for (const char* tag : {"rTRC", "gTRC", "bTRC"}) {
        size_t offset, length;
        if (!FindTag(data, size, tag, &offset, &length)) return false;
        for (double x : {0.02, 0.1, 0.3, 0.5, 0.8}) {
            const double srgb = x <= 0.04045 ? x / 12.92 : Power((x + 0.055) / 1.055, 2.4);
            const double y = CurveAt(data + offset, length, x);
            if (y < srgb - 0.004 || y > srgb + 0.004) return false;
        }
    }
    return true;
}
}  // namespace

uint32_t IccColourSpace(const uint8_t* data) {
    return BigEndian32(data + 16);
}

bool IsSrgbProfile(const uint8_t* data, size_t size) {
    if (!IsWholeIccProfile(data, size) || IccColourSpace(data) != kIccRgbSpace) return false;
    size = DeclaredIccSize(data);
    // sRGB's primaries adapted to the D50 of the connection space (the white
    // point tag differs between versions of the same profile).
    static const struct {
        const char* tag;
        double xyz[3];
    } kSrgb[] = {{"rXYZ", {0.4361, 0.2225, 0.0139}},
                 {"gXYZ", {0.3851, 0.7169, 0.0971}},
                 {"bXYZ", {0.1431, 0.0606, 0.7141}}};
    for (const auto& expected : kSrgb) {
        double xyz[3];
        if (!ReadXyzTag(data, size, expected.tag, xyz)) return false;
        for (int k = 0; k < 3; ++k)
            if (xyz[k] < expected.xyz[k] - 0.003 || xyz[k] > expected.xyz[k] + 0.003) return false;
    }
    return HasSrgbCurves(data, size);
}
