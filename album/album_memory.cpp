#include "album/album_memory.h"

#include <cstring>

namespace {
long liveAllocations = 0;
}

void* AllocAlbumBlock(size_t size) {
    // Fixed, not movable: these blocks stay locked for their whole life, and
    // the system keeps at most 65,536 movable handles in a process, so an
    // album of 100,000 pages (one block each) could not be held in them.
    HGLOBAL handle = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, size);
    if (!handle) return nullptr;
    void* block = GlobalLock(handle);
    if (!block) {
        GlobalFree(handle);
        return nullptr;
    }
    ++liveAllocations;
    return block;
}

void* ReallocAlbumBlock(void* block, size_t newSize) {
    if (!block) return AllocAlbumBlock(newSize);
    HGLOBAL handle = GlobalHandle(block);
    if (!handle) return nullptr;
    GlobalUnlock(handle);
    HGLOBAL grown = GlobalReAlloc(handle, newSize, GMEM_MOVEABLE | GMEM_ZEROINIT);
    if (!grown) {
        GlobalLock(handle);
        return nullptr;
    }
    return GlobalLock(grown);
}

bool FreeAlbumBlock(void* block) {
    if (!block) return true;
    HGLOBAL handle = GlobalHandle(block);
    if (!handle) return false;
    GlobalUnlock(handle);
    if (GlobalFree(handle) != nullptr) return false;
    --liveAllocations;
    return true;
}

HGLOBAL AllocMovableBlock(size_t size) {
    HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE, size);
    if (handle) ++liveAllocations;
    return handle;
}

HGLOBAL ReallocMovableBlock(HGLOBAL handle, size_t newSize) {
    return GlobalReAlloc(handle, newSize, GMEM_MOVEABLE);
}

bool FreeMovableBlock(HGLOBAL handle) {
    if (!handle) return true;
    if (GlobalFree(handle) != nullptr) return false;
    --liveAllocations;
    return true;
}

char* NewHeapString(const char* text, size_t length) {
    auto copy = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, length + 1));
    if (!copy) return nullptr;
    if (length) std::memcpy(copy, text, length);
    copy[length] = '\0';
    ++liveAllocations;
    return copy;
}

char* NewHeapString(const char* text) {
    return NewHeapString(text, std::strlen(text));
}

void FreeHeapString(char* text) {
    if (!text) return;
    HeapFree(GetProcessHeap(), 0, text);
    --liveAllocations;
}

long LiveAlbumAllocations() {
    return liveAllocations;
}
