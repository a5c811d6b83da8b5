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
