#include "image/dib_layout.h"

uint64_t DibStride(int bitCount, int width) {
    uint64_t w = width < 0 ? uint64_t(-int64_t(width)) : uint64_t(width);
    return (uint64_t(bitCount) * w + 31) / 32 * 4;
}

int DibRows(const DibInfo& info) {
    int64_t h = info.biHeight;
    h = h < 0 ? -h : h;
    return h > 0x7FFFFFFF ? 0x7FFFFFFF : int(h);
}

uint64_t DibPixelBytes(const DibInfo& info) {
    int64_t h = info.biHeight;
    if (h < 0) h = -h;
    return DibStride(info.biBitCount, info.biWidth) * uint64_t(h);
}

int DibColorTableEntries(const DibInfo& info) {
    return info.biBitCount < 16 ? 1 << info.biBitCount : 0;
}

size_t DibHeaderBytes(const DibInfo& info) {
    size_t bytes = sizeof(DibInfo) + size_t(DibColorTableEntries(info)) * 4;
    if (info.biCompression == kDibBitFields) bytes += 3 * sizeof(uint32_t);
    return bytes;
}

bool IsDibBitCount(int bitCount) {
    switch (bitCount) {
        case 1:
        case 4:
        case 8:
        case 16:
        case 24:
        case 32:
            return true;
    }
    return false;
}

bool IsUsableDibHeader(const DibInfo& info) {
    if (!IsDibBitCount(info.biBitCount)) return false;
    if (info.biPlanes != 1 || info.biWidth <= 0 || info.biHeight == 0) return false;
    if (info.biCompression == kDibBitFields) {
        if (info.biBitCount != 16 && info.biBitCount != 32) return false;
    } else if (info.biCompression != kDibRgb) {
        return false;
    }
    return DibPixelBytes(info) <= kMaxDibPixelBytes;
}
