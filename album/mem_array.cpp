#include "album/mem_array.h"

#include "album/album_memory.h"

#include <cstring>

namespace {
constexpr uint32_t kSlotStep = 10;
}

MemArray::MemArray() {
    slots_ = static_cast<void**>(AllocAlbumBlock(kSlotStep * sizeof(void*)));
    if (slots_) capacity_ = kSlotStep;
}

MemArray::~MemArray() {
    while (count_ > 0) Remove(count_ - 1);
    FreeAlbumBlock(slots_);
}

int MemArray::Add(uint32_t size) {
    if (count_ >= capacity_) {
        uint32_t capacity = count_ + (count_ < 100 ? kSlotStep : count_ / 2);
        auto grown = static_cast<void**>(ReallocAlbumBlock(slots_, capacity * sizeof(void*)));
        if (!grown) return -1;
        slots_ = grown;
        capacity_ = capacity;
    }
    void* element = AllocAlbumBlock(size);
    if (!element) return -1;
    slots_[count_] = element;
    return static_cast<int>(count_++);
}

int MemArray::Remove(uint32_t index) {
    if (index >= count_) return 0;
    FreeAlbumBlock(slots_[index]);
    std::memmove(slots_ + index, slots_ + index + 1, (count_ - index - 1) * sizeof(void*));
    --count_;
    slots_[count_] = nullptr;
    return 1;
}

int MemArray::Swap(uint32_t a, uint32_t b) {
    if (a >= count_ || b >= count_) return 0;
    void* held = slots_[a];
    slots_[a] = slots_[b];
    slots_[b] = held;
    return 1;
}

void* MemArray::Get(uint32_t index) const {
    return index < count_ ? slots_[index] : nullptr;
}
