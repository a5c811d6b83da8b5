#include "image/bmp_core.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint16_t kBmpMagic = 0x4D42;  // "BM"
constexpr uint32_t kInfoHeaderSize = 40;
// The largest info header in use (version 5); anything claiming more is not
// a BMP file.
constexpr uint32_t kLargestInfoHeader = 124;
// How many promised pixel bytes a truncated file may lack.
constexpr uint64_t kMaxMissingPixelBytes = 32ull * 1024 * 1024;
// The bit-field masks sit right behind the 40 bytes of the header in every
// header version: after a 40-byte header, and inside the longer ones.
constexpr uint64_t kMaskOffset = 14 + 40;
// A run-length file expands at most 255 pixels from two bytes; a few
// hostile bytes claiming far more than that are not believed.
constexpr uint64_t kMaxRunExpansion = 128;

uint16_t Le16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}
uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

bool ReadBmpInfoHeader(const uint8_t* bytes, size_t size, DibInfo* info) {
    if (size < kBmpHeadersSize) return false;
    std::memcpy(info, bytes + 14, sizeof *info);
    return true;
}

BmpVerdict ReadBmpHeaders(const uint8_t* bytes, size_t size, uint64_t fileSize, BmpLayout* layout) {
    DibInfo info{};
    if (!ReadBmpInfoHeader(bytes, size, &info) || Le16(bytes) != kBmpMagic) return BmpVerdict::kNotBmp;
    const uint32_t offBits = Le32(bytes + 10);
    // Longer headers (versions 4 and 5) begin with the same 40 bytes; the
    // colour table and masks follow the whole header, wherever it ends.
    if (info.biSize < kInfoHeaderSize || info.biSize > kLargestInfoHeader) return BmpVerdict::kNotBmp;
    const uint64_t tableStart = 14 + uint64_t(info.biSize);
    if (offBits < tableStart || offBits > fileSize) return BmpVerdict::kNotBmp;
    if (info.biPlanes != 1 || info.biWidth <= 0 || info.biHeight == 0) return BmpVerdict::kNotBmp;
    if (!IsDibBitCount(info.biBitCount)) return BmpVerdict::kNotBmp;
    // Run-length rows are decoded into plain rows (bottom row first, as the
    // format requires); embedded JPEG/PNG data would reach the graphics
    // layer with a block sized for plain rows, which it would read past.
    const bool bitFields = info.biCompression == kDibBitFields;
    const bool runLength = (info.biCompression == kDibRle8 && info.biBitCount == 8) ||
                           (info.biCompression == kDibRle4 && info.biBitCount == 4);
    if (runLength && info.biHeight < 0) return BmpVerdict::kNotBmp;
    if (info.biCompression != kDibRgb && !runLength &&
        !(bitFields && (info.biBitCount == 16 || info.biBitCount == 32)))
        return BmpVerdict::kNotBmp;
    const uint64_t pixelBytes = DibPixelBytes(info);
    if (pixelBytes > kMaxDibPixelBytes) return BmpVerdict::kTooLarge;
    // A file cut short still loads, its missing rows zero; but a header
    // that promises far more than the file holds is not believed, so that a
    // few hostile bytes cannot make the reader reserve hundreds of megabytes.
    const uint64_t present = fileSize - offBits;
    const uint64_t believable = runLength ? present * kMaxRunExpansion : present;
    if (pixelBytes > believable + kMaxMissingPixelBytes) return BmpVerdict::kNotBmp;

    // The block keeps only the 40-byte form that the rest of the program
    // understands. A colour count beyond the table (or any count at 16 bits
    // and more) would make the graphics layer read past the header block.
    layout->runLength = runLength;
    layout->runBits = runLength ? info.biBitCount : 0;
    info.biSize = kInfoHeaderSize;
    if (runLength) {
        info.biCompression = kDibRgb;
        info.biSizeImage = 0;
    }
    if (info.biBitCount >= 16 || info.biClrUsed > uint32_t(DibColorTableEntries(info))) info.biClrUsed = 0;
    if (info.biClrImportant > info.biClrUsed) info.biClrImportant = 0;
    layout->info = info;
    // The full table as the file holds it after the header, whatever
    // biClrUsed says, or the three masks where every header version keeps
    // them.
    layout->tableOffset = bitFields ? kMaskOffset : tableStart;
    layout->tableBytes = DibHeaderBytes(info) - sizeof info;
    layout->pixelOffset = offBits;
    layout->pixelBytes = pixelBytes;
    layout->codedBytes =
        runLength ? std::min<uint64_t>(present, pixelBytes * 4 + 4 * uint64_t(DibRows(info)) + 4) : 0;
    return BmpVerdict::kUsable;
}

// Every write is checked against the picture and every read against the
// data, so hostile runs can neither write outside the picture nor loop: each
// step consumes at least two bytes. Pixels the data skips (end of line, end
// of picture, delta moves) stay index 0.
void DecodeRunLength(const uint8_t* data, size_t size, int bits, int width, int height, size_t stride,
                     uint8_t* pixels) {
    auto put = [&](int x, int y, unsigned index) {
        if (x < 0 || x >= width || y < 0 || y >= height) return;
        uint8_t* row = pixels + size_t(y) * stride;
        if (bits == 8) {
            row[x] = uint8_t(index);
        } else {
            uint8_t& pair = row[x / 2];
            pair = x % 2 ? uint8_t((pair & 0xF0) | (index & 15)) : uint8_t((pair & 0x0F) | (index & 15) << 4);
        }
    };
    int x = 0, y = 0;
    size_t at = 0;
    while (at + 1 < size && y < height) {
        const unsigned count = data[at], value = data[at + 1];
        at += 2;
        if (count > 0) {
            // An encoded run: the byte repeated (RLE8), or its two nibbles
            // alternating (RLE4).
            for (unsigned i = 0; i < count && x < width; ++i, ++x)
                put(x, y, bits == 8 ? value : (i % 2 ? value & 15 : value >> 4));
            continue;
        }
        if (value == 0) {  // end of line
            x = 0;
            ++y;
        } else if (value == 1) {  // end of picture
            break;
        } else if (value == 2) {  // delta move
            if (at + 1 >= size) break;
            // x stops at the row's end, where every later pixel of the row
            // falls outside anyway, so that long hostile data cannot make
            // it overflow.
            x = std::min(x + int(data[at]), width);
            y += data[at + 1];
            at += 2;
        } else {  // absolute run of value pixels, padded to a word
            const size_t bytes = bits == 8 ? value : (value + 1) / 2;
            for (unsigned i = 0; i < value; ++i, ++x) {
                const size_t from = at + (bits == 8 ? i : i / 2);
                if (from >= size) break;
                put(x, y, bits == 8 ? data[from] : (i % 2 ? data[from] & 15 : data[from] >> 4));
            }
            x = std::min(x, width);
            at += (bytes + 1) & ~size_t(1);
        }
    }
}
