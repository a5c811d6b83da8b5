#include "image/dib_image.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

namespace {
// Counted with interlocked calls: plug-in preview workers may hand blocks
// across threads.
volatile LONG liveBlocks = 0;
std::atomic<uint64_t> bytesRequested{0};
}  // namespace

uint64_t DibStride(int bitCount, int width) {
    uint64_t w = width < 0 ? uint64_t(-int64_t(width)) : uint64_t(width);
    return (uint64_t(bitCount) * w + 31) / 32 * 4;
}

int DibRows(const BITMAPINFOHEADER& header) {
    int64_t h = header.biHeight;
    h = h < 0 ? -h : h;
    return h > 0x7FFFFFFF ? 0x7FFFFFFF : int(h);
}

uint64_t DibPixelBytes(const BITMAPINFOHEADER& header) {
    int64_t h = header.biHeight;
    if (h < 0) h = -h;
    return DibStride(header.biBitCount, header.biWidth) * uint64_t(h);
}

int DibColorTableEntries(const BITMAPINFOHEADER& header) {
    return header.biBitCount < 16 ? 1 << header.biBitCount : 0;
}

size_t DibHeaderBytes(const BITMAPINFOHEADER& header) {
    size_t bytes = sizeof(BITMAPINFOHEADER) + size_t(DibColorTableEntries(header)) * 4;
    if (header.biCompression == BI_BITFIELDS) bytes += 3 * sizeof(DWORD);
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

bool IsUsableDibHeader(const BITMAPINFOHEADER& header) {
    if (!IsDibBitCount(header.biBitCount)) return false;
    if (header.biPlanes != 1 || header.biWidth <= 0 || header.biHeight == 0) return false;
    if (header.biCompression == BI_BITFIELDS) {
        if (header.biBitCount != 16 && header.biBitCount != 32) return false;
    } else if (header.biCompression != BI_RGB) {
        return false;
    }
    return DibPixelBytes(header) <= kMaxDibPixelBytes;
}

BITMAPINFOHEADER Dib24Header(int width, int height) {
    BITMAPINFOHEADER fields{};
    fields.biSize = sizeof fields;
    fields.biWidth = width;
    fields.biHeight = height;
    fields.biPlanes = 1;
    fields.biBitCount = 24;
    fields.biCompression = BI_RGB;
    const uint64_t bytes = DibPixelBytes(fields);
    fields.biSizeImage = bytes > kMaxDibPixelBytes ? 0 : DWORD(bytes);
    return fields;
}

void CopyPictureBytes(void* to, const void* from, size_t bytes) {
    constexpr size_t kAlone = size_t(8) << 20;
    const size_t cores = std::min<size_t>(4, std::max(1u, std::thread::hardware_concurrency()));
    auto* out = static_cast<uint8_t*>(to);
    const auto* in = static_cast<const uint8_t*>(from);
    if (bytes < kAlone || cores < 2) {
        std::memcpy(out, in, bytes);
        return;
    }
    const size_t part = (bytes / cores + 4095) & ~size_t(4095);
    std::vector<std::thread> helpers;
    for (size_t start = part; start < bytes; start += part) {
        const size_t length = std::min(part, bytes - start);
        try {
            helpers.emplace_back([=] { std::memcpy(out + start, in + start, length); });
        } catch (...) {  // no thread to spare: this one copies that part too
            std::memcpy(out + start, in + start, length);
        }
    }
    std::memcpy(out, in, std::min(part, bytes));
    for (std::thread& helper : helpers) helper.join();
}

HLOCAL AllocDibBlock(size_t bytes) {
    // LocalAlloc refuses 0 bytes on some systems; a 0-byte pixel block is
    // never useful anyway, but keep the call total.
    bytesRequested += bytes;
    HLOCAL block = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, bytes ? bytes : 1);
    if (block) InterlockedIncrement(&liveBlocks);
    return block;
}

void FreeDibBlock(HLOCAL block) {
    if (!block) return;
    while (LocalFlags(block) & LMEM_LOCKCOUNT) {
        if (!LocalUnlock(block)) break;
    }
    LocalFree(block);
    InterlockedDecrement(&liveBlocks);
}

void* AllocLockedBlock(size_t bytes) {
    HLOCAL block = AllocDibBlock(bytes);
    if (!block) return nullptr;
    void* locked = LocalLock(block);
    if (!locked) FreeDibBlock(block);
    return locked;
}

void FreeLockedBlock(const void* locked) {
    if (!locked) return;
    FreeDibBlock(LocalHandle(locked));
}

long LiveDibBlocks() {
    return liveBlocks;
}

uint64_t DibBytesRequested() {
    return bytesRequested;
}

LockedDib::LockedDib(HLOCAL headerBlock, HLOCAL pixelBlock) {
    header = headerBlock ? static_cast<BITMAPINFOHEADER*>(LocalLock(headerBlock)) : nullptr;
    pixels = pixelBlock ? static_cast<BYTE*>(LocalLock(pixelBlock)) : nullptr;
    if (!header || !pixels) {
        FreeDibBlock(headerBlock);
        FreeDibBlock(pixelBlock);
        header = nullptr;
        pixels = nullptr;
    }
}

LockedDib::LockedDib(LockedDib&& other) noexcept
    : header(std::exchange(other.header, nullptr)), pixels(std::exchange(other.pixels, nullptr)) {}

LockedDib& LockedDib::operator=(LockedDib&& other) noexcept {
    if (this != &other) {
        Reset();
        header = std::exchange(other.header, nullptr);
        pixels = std::exchange(other.pixels, nullptr);
    }
    return *this;
}

void LockedDib::Reset() {
    FreeLockedBlock(header);
    FreeLockedBlock(pixels);
    header = nullptr;
    pixels = nullptr;
}

void LockedDib::Release(HLOCAL* headerBlock, HLOCAL* pixelBlock) {
    HLOCAL h = header ? LocalHandle(header) : nullptr;
    HLOCAL p = pixels ? LocalHandle(pixels) : nullptr;
    if (h) LocalUnlock(h);
    if (p) LocalUnlock(p);
    *headerBlock = h;
    *pixelBlock = p;
    header = nullptr;
    pixels = nullptr;
}
