// The memory a plug-in helper copies a picture into, and the block the
// viewer makes ready for its own copy meanwhile.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <thread>

// Memory the viewer makes, whole and committed, keeps mapped between
// pictures and only grows; the helper gets a handle of its own to it. A
// helper's answer then names no memory of the helper's making (which could
// be reserved and never committed, and fault on the viewer's first read):
// the worst it can do is claim more bytes than there are, which fails the
// picture.
class SharedPictureMemory {
public:
    SharedPictureMemory() = default;
    ~SharedPictureMemory() { Close(); }
    SharedPictureMemory(const SharedPictureMemory&) = delete;
    SharedPictureMemory& operator=(const SharedPictureMemory&) = delete;

    // Memory of at least bytes: its handle valid in helper and its size, or
    // false (null and 0) when the size is refused or nothing can be made.
    bool Ensure(uint64_t bytes, HANDLE helper, uint64_t* handleInHelper, uint64_t* size);
    const uint8_t* Bytes() const { return view_; }
    uint64_t Size() const { return size_; }
    // Forgets the memory (the helper ended, or a larger one replaces it).
    void Close();

private:
    HANDLE mapping_ = nullptr;
    uint8_t* view_ = nullptr;
    uint64_t size_ = 0;
    HANDLE helper_ = nullptr;    // the process the handle below belongs to
    HANDLE inHelper_ = nullptr;  // valid in that process only
};

// Most of the time a large copy takes goes into the first touch of its
// fresh block. So while the helper works, a worker allocates and touches a
// block: of the size of the last large plug-in picture (pictures of one
// folder tend to share one size) while the plug-in decodes, and of the size
// the helper announces once it has decoded, while it copies into shared
// memory. When the answer needs another size, the block goes back unused.
class ReadyBlock {
public:
    explicit ReadyBlock(size_t bytes) : bytes_(bytes) { Start(); }
    ~ReadyBlock();
    ReadyBlock(const ReadyBlock&) = delete;
    ReadyBlock& operator=(const ReadyBlock&) = delete;
    size_t Bytes() const { return bytes_; }
    // The helper announced the size the picture needs: a block of another
    // size is dropped and one of this size made ready instead.
    void Expect(uint64_t bytes);
    HLOCAL Take();

private:
    void Start();
    void Prepare();
    size_t bytes_;
    HLOCAL block_ = nullptr;
    std::thread worker_;
};

// Pixel blocks from this size on are worth making ready.
constexpr size_t kWorthMakingReady = size_t(8) << 20;
