// The layout arithmetic of a device-independent picture, over a plain copy
// of the 40-byte info header. It needs no Windows header, so the readers'
// byte-level cores can use it and be built and fuzzed natively.
#pragma once

#include <cstddef>
#include <cstdint>

// The 40-byte info header exactly as files, plug-ins and GDI lay it out
// (little-endian, no padding).
struct DibInfo {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};
static_assert(sizeof(DibInfo) == 40, "the info header is 40 bytes");

// The compression codes of the info header.
constexpr uint32_t kDibRgb = 0;
constexpr uint32_t kDibRle8 = 1;
constexpr uint32_t kDibRle4 = 2;
constexpr uint32_t kDibBitFields = 3;

// Largest pixel block the pipeline allocates. A 32-bit process has 2 GB of
// address space in all, and showing a picture needs its device bitmap as
// well; a picture claiming more than this cannot be held, and refusing it up
// front keeps hostile headers from reserving the heap.
constexpr uint64_t kMaxDibPixelBytes = 512ull * 1024 * 1024;

// Bytes of one pixel row: bits per pixel times width, padded to 4 bytes.
// Computed in 64 bits so that hostile widths cannot wrap.
uint64_t DibStride(int bitCount, int width);
// stride x |height|, in 64 bits.
uint64_t DibPixelBytes(const DibInfo& info);
// Colour-table entries that follow the 40-byte header: 2^bits below 16 bits.
int DibColorTableEntries(const DibInfo& info);
// Bytes of the header block: 40, the colour table, and the three channel
// masks of a bit-field picture (which GDI reads right after the header).
size_t DibHeaderBytes(const DibInfo& info);
// |biHeight| without overflow for INT_MIN.
int DibRows(const DibInfo& info);
// 1, 4, 8, 16, 24 or 32: the depths a DibImage may have.
bool IsDibBitCount(int bitCount);
// Whether the header describes a picture the pipeline can hold: one plane,
// depth 1/4/8/16/24/32, positive width, non-zero height, uncompressed or
// bit fields, pixel block within kMaxDibPixelBytes.
bool IsUsableDibHeader(const DibInfo& info);
