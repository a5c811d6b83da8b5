// The blocks a DibImage lives in: movable, zero-initialised blocks of the
// process heap, and the layout arithmetic every reader and transform shares.
//
// Pictures cross module boundaries as a pair of handles (header, pixels);
// code that works on the pixels holds the pair locked. LockedDib owns such a
// locked pair and frees both blocks when it goes away, so that a caller can
// hand its two pointers to the transforms, which may replace either block.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "image/dib_layout.h"

// The layout arithmetic of dib_layout.h for the Windows form of the header.
inline DibInfo AsDibInfo(const BITMAPINFOHEADER& header) {
    DibInfo info;
    std::memcpy(&info, &header, sizeof info);
    return info;
}
inline uint64_t DibPixelBytes(const BITMAPINFOHEADER& header) {
    return DibPixelBytes(AsDibInfo(header));
}
inline int DibColorTableEntries(const BITMAPINFOHEADER& header) {
    return DibColorTableEntries(AsDibInfo(header));
}
inline size_t DibHeaderBytes(const BITMAPINFOHEADER& header) {
    return DibHeaderBytes(AsDibInfo(header));
}
inline int DibRows(const BITMAPINFOHEADER& header) {
    return DibRows(AsDibInfo(header));
}
inline bool IsUsableDibHeader(const BITMAPINFOHEADER& header) {
    return IsUsableDibHeader(AsDibInfo(header));
}
static_assert(sizeof(BITMAPINFOHEADER) == sizeof(DibInfo), "DibInfo mirrors BITMAPINFOHEADER");

// A movable zero-initialised block; null when it cannot be had.
// The 40-byte header of an uncompressed 24-bit picture of width x height
// rows (bottom-up when height is positive), biSizeImage filled in; 0 there
// when the picture would be larger than any DIB the pipeline keeps.
BITMAPINFOHEADER Dib24Header(int width, int height);

HLOCAL AllocDibBlock(size_t bytes);

// memcpy for picture-sized blocks: a large one is copied in parts on up to
// four threads, since much of such a copy is the system touching pages.
void CopyPictureBytes(void* to, const void* from, size_t bytes);
// Unlocks (when locked) and frees a block of AllocDibBlock; null is allowed.
void FreeDibBlock(HLOCAL block);
// AllocDibBlock, locked: the locked pointer, or null.
void* AllocLockedBlock(size_t bytes);
// Frees a block given by its locked pointer (back to handle, unlock, free).
void FreeLockedBlock(const void* locked);
// Blocks allocated by the pipeline and not yet freed through it. Tests read
// it around a run of hostile inputs to prove that no failure path leaks.
long LiveDibBlocks();
// Bytes asked of AllocDibBlock since the start, granted or not: what a
// reader took before it knew better.
uint64_t DibBytesRequested();

// Owns one movable block (unlocked) until released.
class DibBlock {
public:
    explicit DibBlock(HLOCAL block = nullptr) : block_(block) {}
    ~DibBlock() { FreeDibBlock(block_); }
    DibBlock(const DibBlock&) = delete;
    DibBlock& operator=(const DibBlock&) = delete;
    HLOCAL Get() const { return block_; }
    HLOCAL Release() {
        HLOCAL block = block_;
        block_ = nullptr;
        return block;
    }

private:
    HLOCAL block_;
};

// A DibImage held as two locked pointers. The transforms take `header` and
// `pixels` by reference and may replace them; whatever the pair points at
// when the LockedDib goes away is freed, unless Release handed it on.
class LockedDib {
public:
    LockedDib() = default;
    // Takes ownership of both handles and locks them; on a lock failure both
    // are freed and the pair stays empty.
    LockedDib(HLOCAL headerBlock, HLOCAL pixelBlock);
    ~LockedDib() { Reset(); }
    LockedDib(const LockedDib&) = delete;
    LockedDib& operator=(const LockedDib&) = delete;
    LockedDib(LockedDib&& other) noexcept;
    LockedDib& operator=(LockedDib&& other) noexcept;

    explicit operator bool() const { return header && pixels; }
    // Frees both blocks.
    void Reset();
    // Unlocks both blocks and hands their handles to the caller.
    void Release(HLOCAL* headerBlock, HLOCAL* pixelBlock);

    BITMAPINFOHEADER* header = nullptr;
    BYTE* pixels = nullptr;
};
