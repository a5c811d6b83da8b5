#include "album/record_reader.h"

#include <algorithm>

namespace {
constexpr uint32_t kBufferSize = 64 * 1024;
}

RecordReader::RecordReader(const uint8_t* data, size_t size) : end_(size), view_(data), viewLength_(size) {}

RecordReader::RecordReader(RecordSource* source, uint64_t position, uint64_t end)
    : source_(source), position_(position), end_(std::max(position, end)), viewStart_(position) {}

bool RecordReader::Fill() {
    if (!source_) return false;
    buffer_.resize(kBufferSize);
    const uint32_t got = source_->ReadAt(position_, buffer_.data(), kBufferSize);
    if (got == 0) {
        viewLength_ = 0;
        return false;
    }
    view_ = buffer_.data();
    viewStart_ = position_;
    viewLength_ = got;
    return true;
}

bool RecordReader::Read(void* out, uint32_t size) {
    if (size > Remaining()) {
        position_ = end_;
        return false;
    }
    auto target = static_cast<uint8_t*>(out);
    while (size > 0) {
        if (position_ >= viewStart_ && position_ < viewStart_ + viewLength_) {
            const uint64_t offset = position_ - viewStart_;
            const uint32_t take = uint32_t(std::min<uint64_t>(size, viewLength_ - offset));
            std::memcpy(target, view_ + offset, take);
            target += take;
            size -= take;
            position_ += take;
        } else if (!Fill()) {
            position_ = end_;
            return false;
        }
    }
    return true;
}

bool RecordReader::Skip(uint32_t size) {
    if (size > Remaining()) {
        position_ = end_;
        return false;
    }
    position_ += size;
    return true;
}

uint32_t RecordReader::PeekAt(uint64_t position, void* out, uint32_t size) {
    position_ = std::min(position, end_);
    uint64_t left = end_ - position_;
    uint32_t take = static_cast<uint32_t>(std::min<uint64_t>(size, left));
    uint64_t keep = position_;
    if (!Read(out, take)) take = 0;
    position_ = keep;
    return take;
}
