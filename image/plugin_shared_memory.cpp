#include "image/plugin_shared_memory.h"

#include "image/dib_image.h"
#include "image/plugin_protocol.h"

static_assert(kWorthMakingReady == plugin_protocol::kAnnouncedPixelBytes,
              "the helper announces exactly the pictures worth a ready block");

bool SharedPictureMemory::Ensure(uint64_t bytes, HANDLE helper, uint64_t* handleInHelper, uint64_t* size) {
    *handleInHelper = 0;
    *size = 0;
    // A picture's pixels and a header with its table: nothing needs more.
    if (bytes == 0 || bytes > kMaxDibPixelBytes + (1 << 20) || !helper) return false;
    if (!view_ || bytes > size_ || helper != helper_) {
        Close();
        const uint64_t rounded = (bytes + 0xFFFFF) & ~uint64_t(0xFFFFF);  // whole MiB, so it seldom grows
        if (rounded > SIZE_MAX) return false;
        mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, DWORD(rounded >> 32),
                                      DWORD(rounded), nullptr);
        view_ = mapping_ ? static_cast<uint8_t*>(MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, 0)) : nullptr;
        if (!view_ || !DuplicateHandle(GetCurrentProcess(), mapping_, helper, &inHelper_, 0, FALSE,
                                       DUPLICATE_SAME_ACCESS)) {
            Close();
            return false;
        }
        size_ = rounded;
        helper_ = helper;
    }
    *handleInHelper = uint64_t(uintptr_t(inHelper_));
    *size = size_;
    return true;
}

void SharedPictureMemory::Close() {
    // The helper's own handle stays with the helper, which closes it when a
    // new one comes or it ends.
    if (view_) UnmapViewOfFile(view_);
    if (mapping_) CloseHandle(mapping_);
    mapping_ = nullptr;
    view_ = nullptr;
    size_ = 0;
    helper_ = inHelper_ = nullptr;
}

ReadyBlock::~ReadyBlock() {
    FreeDibBlock(Take());
}

void ReadyBlock::Expect(uint64_t bytes) {
    if (bytes == bytes_ || bytes < kWorthMakingReady || bytes > kMaxDibPixelBytes) return;
    FreeDibBlock(Take());
    bytes_ = size_t(bytes);
    Start();
}

HLOCAL ReadyBlock::Take() {
    if (worker_.joinable()) worker_.join();
    HLOCAL block = block_;
    block_ = nullptr;
    return block;
}

void ReadyBlock::Start() {
    if (bytes_ < kWorthMakingReady) return;
    try {
        worker_ = std::thread([this] { Prepare(); });
    } catch (...) {  // no thread to spare: the copy allocates as usual
    }
}

void ReadyBlock::Prepare() {
    HLOCAL block = AllocDibBlock(bytes_);
    auto* bytes = block ? static_cast<volatile uint8_t*>(LocalLock(block)) : nullptr;
    if (!bytes) {
        FreeDibBlock(block);
        return;
    }
    for (size_t at = 0; at < bytes_; at += 4096) bytes[at] = 0;
    LocalUnlock(block);
    block_ = block;
}
