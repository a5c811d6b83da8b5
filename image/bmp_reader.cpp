#include "image/bmp_reader.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "browse/scoped_handles.h"
#include "image/bmp_core.h"
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

// Set while ReadBmpFileUnreported runs on this thread: failures are told
// to nobody.
thread_local bool unreported = false;

bool Fail(int code) {
    if (!unreported) LastLoadError = code;
    return false;
}

}  // namespace

int ReadBmpFile(const char* path, HLOCAL* headerOut, HLOCAL* pixelsOut) {
    FileHandle file(OpenForReading(path));
    if (!file.valid()) return Fail(kLoadCannotOpen);
    LARGE_INTEGER fileSize;
    if (!GetFileSizeEx(file.get(), &fileSize)) return Fail(kLoadNoSize);

    uint8_t heads[kBmpHeadersSize];
    const DWORD got = ReadAt(file.get(), 0, heads, sizeof heads);
    BmpLayout layout;
    switch (ReadBmpHeaders(heads, got, uint64_t(fileSize.QuadPart), &layout)) {
        case BmpVerdict::kUsable:
            break;
        case BmpVerdict::kTooLarge:
            return Fail(kLoadOutOfMemory);
        case BmpVerdict::kNotBmp:
            return Fail(kLoadNotThisFormat);
    }

    DibBlock headerBlock(AllocDibBlock(sizeof layout.info + layout.tableBytes));
    if (!headerBlock.Get()) return Fail(kLoadOutOfMemory);
    {
        auto* out = static_cast<BYTE*>(LocalLock(headerBlock.Get()));
        if (!out) return Fail(kLoadOutOfMemory);
        std::memcpy(out, &layout.info, sizeof layout.info);
        ReadAt(file.get(), layout.tableOffset, out + sizeof layout.info, DWORD(layout.tableBytes));
        LocalUnlock(headerBlock.Get());
    }

    DibBlock pixelBlock(AllocDibBlock(size_t(layout.pixelBytes)));
    if (!pixelBlock.Get()) return Fail(kLoadOutOfMemory);
    auto* pixels = static_cast<BYTE*>(LocalLock(pixelBlock.Get()));
    if (!pixels) return Fail(kLoadOutOfMemory);
    if (layout.runLength) {
        // A file that ends early leaves the rest index 0.
        std::vector<BYTE> coded(size_t(layout.codedBytes));
        coded.resize(ReadAt(file.get(), layout.pixelOffset, coded.data(), DWORD(coded.size())));
        DecodeRunLength(coded.data(), coded.size(), layout.runBits, layout.info.biWidth, DibRows(layout.info),
                        size_t(DibStride(layout.info.biBitCount, layout.info.biWidth)), pixels);
    } else {
        // A file shorter than its rows promise leaves the rest zero.
        ReadAt(file.get(), layout.pixelOffset, pixels, DWORD(layout.pixelBytes));
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
    uint8_t heads[kBmpHeadersSize];
    DibInfo bmi{};
    if (!ReadBmpInfoHeader(heads, ReadAt(file.get(), 0, heads, sizeof heads), &bmi)) return 0;
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
