// A growable array of separately allocated, zero-filled movable blocks: the
// album's page list, one record block per page. The array owns its blocks.
#pragma once

#include <cstdint>

class MemArray {
public:
    MemArray();
    ~MemArray();
    MemArray(const MemArray&) = delete;
    MemArray& operator=(const MemArray&) = delete;

    // A new zero-filled element of size bytes; its index, or -1 when memory
    // runs out (the array is then unchanged, apart from a grown slot array).
    int Add(uint32_t size);
    // 1 when an element was removed; 0 for an index at or past the count.
    int Remove(uint32_t index);
    // 1, or 0 when either index is at or past the count (nothing changes).
    int Swap(uint32_t a, uint32_t b);
    // The element's locked address, or null for an index at or past the count.
    void* Get(uint32_t index) const;

    uint32_t Count() const { return count_; }
    uint32_t Capacity() const { return capacity_; }

private:
    uint32_t count_ = 0;
    void** slots_ = nullptr;
    uint32_t capacity_ = 0;
};
