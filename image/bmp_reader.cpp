#include "image/bmp_reader.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "browse/scoped_handles.h"
#include "image/dib_image.h"

namespace {

HANDLE OpenForReading(const char* path) {
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

// Reads up to size bytes at offset; answers how many arrived.
DWORD ReadAt(HANDLE file, uint64_t offset, void* buffer, DWORD size) {
    LARGE_INTEGER position;
    position.QuadPart = LONGLONG(offset);
    if (!SetFilePointerEx(file, position, nullptr, FILE_BEGIN)) return 0;
    DWORD got = 0;
    if (!ReadFile(file, buffer, size, &got, nullptr)) return 0;
    return got;
}

#pragma pack(push, 2)
struct BmpFileHeader {
    WORD type;
    DWORD size;
    WORD reserved1;
    WORD reserved2;
    DWORD offBits;
};
#pragma pack(pop)
static_assert(sizeof(BmpFileHeader) == 14, "BMP file header is 14 bytes");

constexpr WORD kBmpMagic = 0x4D42;  // "BM"
constexpr DWORD kInfoHeaderSize = 40;
// The largest info header in use (version 5); anything claiming more is not
// a BMP file.
constexpr DWORD kLargestInfoHeader = 124;
// How many promised pixel bytes a truncated file may lack.
constexpr uint64_t kMaxMissingPixelBytes = 32ull * 1024 * 1024;

// Set while ReadBmpFileUnreported runs on this thread: failures are told
// to nobody.
thread_local bool unreported = false;

bool Fail(int code) {
    if (!unreported) LastLoadError = code;
    return false;
}

// The bit-field masks sit right behind the 40 bytes of the header in every
// header version: after a 40-byte header, and inside the longer ones.
constexpr uint64_t kMaskOffset = 14 + 40;
// A run-length file expands at most 255 pixels from two bytes; a few
// hostile bytes claiming far more than that are not believed.
constexpr uint64_t kMaxRunExpansion = 128;

// Decodes run-length rows (RLE8 or RLE4, bottom row first) into plain rows
// of the same depth. Every write is checked against the picture and every
// read against the data, so hostile runs can neither write outside the
// picture nor loop: each step consumes at least two bytes. Pixels the data
// skips (end of line, end of picture, delta moves) stay index 0.
void DecodeRunLength(const BYTE* data, size_t size, int bits, int width, int height, size_t stride,
                     BYTE* pixels) {
    auto put = [&](int x, int y, unsigned index) {
        if (x < 0 || x >= width || y < 0 || y >= height) return;
        BYTE* row = pixels + size_t(y) * stride;
        if (bits == 8) {
            row[x] = BYTE(index);
        } else {
            BYTE& pair = row[x / 2];
            pair = x % 2 ? BYTE((pair & 0xF0) | (index & 15)) : BYTE((pair & 0x0F) | (index & 15) << 4);
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
            x += data[at];
            y += data[at + 1];
            at += 2;
        } else {  // absolute run of value pixels, padded to a word
            const size_t bytes = bits == 8 ? value : (value + 1) / 2;
            for (unsigned i = 0; i < value; ++i, ++x) {
                const size_t from = at + (bits == 8 ? i : i / 2);
                if (from >= size) break;
                put(x, y, bits == 8 ? data[from] : (i % 2 ? data[from] & 15 : data[from] >> 4));
            }
            at += (bytes + 1) & ~size_t(1);
        }
    }
}

}  // namespace

int ReadBmpFile(const char* path, HLOCAL* headerOut, HLOCAL* pixelsOut) {
    FileHandle file(OpenForReading(path));
    if (!file.valid()) return Fail(kLoadCannotOpen);
    LARGE_INTEGER fileSize;
    if (!GetFileSizeEx(file.get(), &fileSize)) return Fail(kLoadNoSize);

    BmpFileHeader head{};
    BITMAPINFOHEADER info{};
    if (ReadAt(file.get(), 0, &head, sizeof head) != sizeof head) return Fail(kLoadNotThisFormat);
    if (ReadAt(file.get(), sizeof head, &info, sizeof info) != sizeof info) return Fail(kLoadNotThisFormat);
    if (head.type != kBmpMagic) return Fail(kLoadNotThisFormat);
    // Longer headers (versions 4 and 5) begin with the same 40 bytes; the
    // colour table and masks follow the whole header, wherever it ends.
    if (info.biSize < kInfoHeaderSize || info.biSize > kLargestInfoHeader) return Fail(kLoadNotThisFormat);
    const uint64_t tableStart = sizeof head + uint64_t(info.biSize);
    if (head.offBits < tableStart || head.offBits > uint64_t(fileSize.QuadPart))
        return Fail(kLoadNotThisFormat);
    if (info.biPlanes != 1 || info.biWidth <= 0 || info.biHeight == 0) return Fail(kLoadNotThisFormat);
    if (!IsDibBitCount(info.biBitCount)) return Fail(kLoadNotThisFormat);
    // Run-length rows are decoded here into plain rows (bottom row first, as
    // the format requires); embedded JPEG/PNG data would reach the graphics
    // layer with a block sized for plain rows, which it would read past.
    const bool bitFields = info.biCompression == BI_BITFIELDS;
    const bool runLength = (info.biCompression == BI_RLE8 && info.biBitCount == 8) ||
                           (info.biCompression == BI_RLE4 && info.biBitCount == 4);
    if (runLength && info.biHeight < 0) return Fail(kLoadNotThisFormat);
    if (info.biCompression != BI_RGB && !runLength &&
        !(bitFields && (info.biBitCount == 16 || info.biBitCount == 32)))
        return Fail(kLoadNotThisFormat);
    const uint64_t pixelBytes = DibPixelBytes(info);
    if (pixelBytes > kMaxDibPixelBytes) return Fail(kLoadOutOfMemory);
    // A file cut short still loads, its missing rows zero; but a header
    // that promises far more than the file holds is not believed, so that a
    // few hostile bytes cannot make the reader reserve hundreds of megabytes.
    const uint64_t present = uint64_t(fileSize.QuadPart) - head.offBits;
    const uint64_t believable = runLength ? present * kMaxRunExpansion : present;
    if (pixelBytes > believable + kMaxMissingPixelBytes) return Fail(kLoadNotThisFormat);

    // The block keeps only the 40-byte form that the rest of the program
    // understands. A colour count beyond the table (or any count at 16 bits
    // and more) would make the graphics layer read past the header block.
    info.biSize = kInfoHeaderSize;
    if (runLength) {
        info.biCompression = BI_RGB;
        info.biSizeImage = 0;
    }
    if (info.biBitCount >= 16 || info.biClrUsed > DWORD(DibColorTableEntries(info))) info.biClrUsed = 0;
    if (info.biClrImportant > info.biClrUsed) info.biClrImportant = 0;

    const size_t headerBytes = DibHeaderBytes(info);
    DibBlock headerBlock(AllocDibBlock(headerBytes));
    if (!headerBlock.Get()) return Fail(kLoadOutOfMemory);
    {
        auto* out = static_cast<BYTE*>(LocalLock(headerBlock.Get()));
        if (!out) return Fail(kLoadOutOfMemory);
        std::memcpy(out, &info, sizeof info);
        // The full table as the file holds it after the header, whatever
        // biClrUsed says, or the three masks where every header version keeps
        // them; what the file lacks stays zero.
        ReadAt(file.get(), bitFields ? kMaskOffset : tableStart, out + sizeof info,
               DWORD(headerBytes - sizeof info));
        LocalUnlock(headerBlock.Get());
    }

    DibBlock pixelBlock(AllocDibBlock(size_t(pixelBytes)));
    if (!pixelBlock.Get()) return Fail(kLoadOutOfMemory);
    auto* pixels = static_cast<BYTE*>(LocalLock(pixelBlock.Get()));
    if (!pixels) return Fail(kLoadOutOfMemory);
    if (runLength) {
        // The coded data is read whole, up to what any picture of this size
        // could need; a file that ends early leaves the rest index 0.
        const uint64_t mostNeeded = pixelBytes * 4 + 4 * uint64_t(DibRows(info)) + 4;
        std::vector<BYTE> coded(size_t(std::min<uint64_t>(present, mostNeeded)));
        coded.resize(ReadAt(file.get(), head.offBits, coded.data(), DWORD(coded.size())));
        DecodeRunLength(coded.data(), coded.size(), info.biBitCount, info.biWidth, DibRows(info),
                        size_t(DibStride(info.biBitCount, info.biWidth)), pixels);
    } else {
        // A file shorter than its rows promise leaves the rest zero.
        ReadAt(file.get(), head.offBits, pixels, DWORD(pixelBytes));
    }
    LocalUnlock(pixelBlock.Get());

    *headerOut = headerBlock.Release();
    *pixelsOut = pixelBlock.Release();
    return 1;
}

int ReadBmpFileUnreported(const char* path, uint64_t maxBytes, HLOCAL* header, HLOCAL* pixels) {
    PictureInfo info{};
    if (!ReadBmpInfo(path, &info) || !IsDibBitCount(info.colorDepth) || info.width <= 0) return 0;
    const uint64_t rows = uint64_t(info.height < 0 ? -int64_t(info.height) : info.height);
    // The blocks: pixels as the reader lays them out, header and table.
    if (DibStride(info.colorDepth < 16 ? 24 : info.colorDepth, info.width) * rows + 2048 > maxBytes) return 0;
    unreported = true;
    const int read = ReadBmpFile(path, header, pixels);
    unreported = false;
    return read;
}

int ReadBmpInfo(const char* path, PictureInfo* info) {
    FileHandle file(OpenForReading(path));
    if (!file.valid()) return 0;
    BmpFileHeader head{};
    BITMAPINFOHEADER bmi{};
    if (ReadAt(file.get(), 0, &head, sizeof head) != sizeof head) return 0;
    if (ReadAt(file.get(), sizeof head, &bmi, sizeof bmi) != sizeof bmi) return 0;
    if (bmi.biPlanes != 1) return 0;
    info->left = 0;
    info->top = 0;
    info->width = bmi.biWidth;
    info->height = bmi.biHeight;
    info->xDensity = WORD(bmi.biXPelsPerMeter);
    info->yDensity = WORD(bmi.biYPelsPerMeter);
    info->colorDepth = short(bmi.biBitCount);
    info->textHandle = nullptr;
    return 1;
}

void FlipRowsInPlace(BYTE* pixels, size_t stride, int rows) {
    std::vector<BYTE> spare(stride);
    for (int i = 0; i < rows / 2; ++i) {
        BYTE* upper = pixels + size_t(i) * stride;
        BYTE* lower = pixels + size_t(rows - 1 - i) * stride;
        std::memcpy(spare.data(), upper, stride);
        std::memcpy(upper, lower, stride);
        std::memcpy(lower, spare.data(), stride);
    }
}

int WriteDibAsBmp(const char* path, BITMAPINFOHEADER* header, BYTE* pixels) {
    const size_t stride = size_t(DibStride(header->biBitCount, header->biWidth));
    const int rows = DibRows(*header);
    const size_t pixelBytes = stride * size_t(rows);
    // The colour table, or the channel masks of a bit-field picture.
    const DWORD tableBytes = DWORD(DibHeaderBytes(*header) - sizeof(BITMAPINFOHEADER));

    FileHandle file(
        CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return 0;

    // Always stored bottom row first, the order every reader accepts.
    if (header->biHeight < 0) {
        FlipRowsInPlace(pixels, stride, rows);
        header->biHeight = rows;
    }
    BmpFileHeader head{};
    head.type = kBmpMagic;
    head.offBits = sizeof head + kInfoHeaderSize + tableBytes;
    head.size = DWORD(head.offBits + pixelBytes);

    auto write = [&](const void* data, size_t size) {
        DWORD written = 0;
        return WriteFile(file.get(), data, DWORD(size), &written, nullptr) && written == size;
    };
    // The block's header may carry masks after it; the file header written
    // here describes a 40-byte header with the table right behind it.
    BITMAPINFOHEADER info = *header;
    info.biSize = kInfoHeaderSize;
    return write(&head, sizeof head) && write(&info, sizeof info) &&
           write(reinterpret_cast<BYTE*>(header) + sizeof info, tableBytes) && write(pixels, pixelBytes);
}
