#include "tests/support/byte_files.h"

#include <algorithm>

void PutU8(Bytes& out, uint32_t value) {
    out.push_back(uint8_t(value));
}
void PutU16(Bytes& out, uint32_t value) {
    PutU8(out, value), PutU8(out, value >> 8);
}
void PutU32(Bytes& out, uint32_t value) {
    PutU16(out, value), PutU16(out, value >> 16);
}
void PutBytes(Bytes& out, const void* data, size_t size) {
    out.insert(out.end(), static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
}
void PutText(Bytes& out, const std::string& text) {
    PutBytes(out, text.data(), text.size());
}

Rgb DistinctPixel(int x, int y) {
    return Rgb{uint8_t(40 * x + 10), uint8_t(50 * y + 20), uint8_t(200 - 30 * x - 7 * y)};
}

Rgb Quantise555(Rgb c) {
    auto q = [](uint8_t v) { return uint8_t(((v >> 3) << 3) | (v >> 5)); };
    return Rgb{q(c.r), q(c.g), q(c.b)};
}

Bytes BmpFile(uint32_t headerSize, int width, int height, int bits, uint32_t compression,
              const std::vector<uint32_t>& masks, const std::vector<uint32_t>& table, const Bytes& data,
              uint32_t density) {
    const size_t masksAfter = headerSize == 40 ? masks.size() * 4 : 0;
    const uint32_t offset = uint32_t(14 + headerSize + masksAfter + table.size() * 4);
    Bytes file;
    PutU16(file, 0x4D42);
    for (uint32_t field :
         {uint32_t(offset + data.size()), 0u, offset, headerSize, uint32_t(width), uint32_t(height)})
        PutU32(file, field);
    PutU16(file, 1);
    PutU16(file, uint32_t(bits));
    for (uint32_t field : {compression, uint32_t(data.size()), density, density, 0u, 0u}) PutU32(file, field);
    for (uint32_t mask : masks) PutU32(file, mask);
    file.resize(14 + headerSize + masksAfter, 0x77);
    for (uint32_t entry : table) PutU32(file, entry);
    file.insert(file.end(), data.begin(), data.end());
    return file;
}

Bytes MakeBmp(int width, int height, int bits, bool topDown, const PixelPattern& pattern) {
    const uint32_t stride = ((bits * width + 31) / 32) * 4, colours = bits < 16 ? 1u << bits : 0;
    std::vector<uint32_t> table;
    for (uint32_t i = 0; i < colours; ++i)
        table.push_back((colours > 1 ? i * 255 / (colours - 1) : 0) * 0x010101u);
    Bytes data;
    for (int row = 0; row < height; ++row) {
        const int y = topDown ? row : height - 1 - row;
        Bytes line(stride, 0);
        for (int x = 0; x < width; ++x) {
            const Rgb c = pattern(x, y);
            const uint32_t v = ((c.r >> 3) << 10) | ((c.g >> 3) << 5) | (c.b >> 3), at = x * bits / 8;
            if (bits < 16)
                line[at] |= uint8_t((x + y * width) % colours << (8 - bits - x * bits % 8));
            else if (bits == 16)
                line[at] = uint8_t(v), line[at + 1] = uint8_t(v >> 8);
            else
                line[at] = c.b, line[at + 1] = c.g, line[at + 2] = c.r;
        }
        PutBytes(data, line.data(), line.size());
    }
    return BmpFile(40, width, topDown ? -height : height, bits, 0, {}, table, data, 2835);
}

Bytes ExifBody(int orientation, bool bigEndian) {
    // Written little-endian, then every field turned for the other order.
    Bytes out = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0};
    PutU32(out, 8);
    PutU16(out, 1);
    PutU16(out, 0x0112), PutU16(out, 3), PutU32(out, 1), PutU16(out, uint32_t(orientation)), PutU16(out, 0);
    PutU32(out, 0);
    if (bigEndian) {
        out[6] = out[7] = 'M';
        for (size_t at : {8, 14, 16, 18, 24}) std::swap(out[at], out[at + 1]);
        for (size_t at : {10, 20}) std::reverse(out.begin() + at, out.begin() + at + 4);
    }
    return out;
}

std::vector<Bytes> IccChunks(const Bytes& profile, size_t chunkBytes) {
    std::vector<Bytes> chunks;
    const size_t count = (profile.size() + chunkBytes - 1) / chunkBytes;
    for (size_t i = 0; i < count; ++i) {
        Bytes chunk = {'I',           'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, uint8_t(i + 1),
                       uint8_t(count)};
        const size_t end = std::min(profile.size(), (i + 1) * chunkBytes);
        chunk.insert(chunk.end(), profile.begin() + i * chunkBytes, profile.begin() + end);
        chunks.push_back(chunk);
    }
    return chunks;
}

Bytes MatrixProfile(const double colorants[3][3], double gamma, bool srgbCurve) {
    auto big = [](Bytes& out, uint32_t value) {
        for (int i = 3; i >= 0; --i) out.push_back(uint8_t(value >> 8 * i));
    };
    auto fixed = [&](Bytes& out, double value) { big(out, uint32_t(int32_t(value * 65536 + 0.5))); };
    Bytes body;  // the tag data: three XYZ tags, then the curve they share
    for (int c = 0; c < 3; ++c) {
        body.insert(body.end(), {'X', 'Y', 'Z', ' ', 0, 0, 0, 0});
        for (int k = 0; k < 3; ++k) fixed(body, colorants[c][k]);
    }
    body.insert(body.end(), {'p', 'a', 'r', 'a', 0, 0, 0, 0, 0, uint8_t(srgbCurve ? 3 : 0), 0, 0});
    fixed(body, gamma);
    if (srgbCurve)
        for (double value : {1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045}) fixed(body, value);
    const uint32_t tagsAt = 128 + 4 + 6 * 12;
    Bytes out(128, 0);
    std::copy_n("mntrRGB XYZ ", 12, out.begin() + 12);
    std::copy_n("acsp", 4, out.begin() + 36);
    big(out, 6);
    const char* names[] = {"rXYZ", "gXYZ", "bXYZ", "rTRC", "gTRC", "bTRC"};
    for (int t = 0; t < 6; ++t) {
        out.insert(out.end(), names[t], names[t] + 4);
        big(out, tagsAt + (t < 3 ? 20 * t : 60));
        big(out, t < 3 ? 20 : uint32_t(body.size() - 60));
    }
    out.insert(out.end(), body.begin(), body.end());
    const uint32_t size = uint32_t(out.size());
    for (int i = 0; i < 4; ++i) out[i] = uint8_t(size >> (24 - 8 * i));
    return out;
}
