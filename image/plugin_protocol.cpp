#include "image/plugin_protocol.h"

#include <cstring>

#include "image/plugin_frame_core.h"

namespace plugin_protocol {

namespace {

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

uint32_t GetU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

Writer::Writer(uint32_t type) {
    PutU32(bytes_, type);
    PutU32(bytes_, 0);
}

Writer& Writer::U32(uint32_t value) {
    PutU32(bytes_, value);
    return *this;
}

Writer& Writer::U64(uint64_t value) {
    PutU32(bytes_, uint32_t(value));
    PutU32(bytes_, uint32_t(value >> 32));
    return *this;
}

Writer& Writer::Text(const std::string& text) {
    size_t n = text.size() > kMaxText ? kMaxText : text.size();
    PutU32(bytes_, uint32_t(n));
    bytes_.insert(bytes_.end(), text.begin(), text.begin() + std::ptrdiff_t(n));
    return *this;
}

const std::vector<uint8_t>& Writer::Bytes() {
    uint32_t length = uint32_t(bytes_.size() - kFrameHead);
    for (int i = 0; i < 4; ++i) bytes_[4 + size_t(i)] = uint8_t(length >> (8 * i));
    return bytes_;
}

bool BodyReader::Take(void* out, size_t n) {
    if (!ok_ || size_ - at_ < n) return ok_ = false;
    std::memcpy(out, data_ + at_, n);
    at_ += n;
    return true;
}

bool BodyReader::U32(uint32_t* value) {
    uint8_t bytes[4];
    if (!Take(bytes, 4)) return false;
    *value = GetU32(bytes);
    return true;
}

bool BodyReader::I32(int32_t* value) {
    uint32_t raw;
    if (!U32(&raw)) return false;
    *value = int32_t(raw);
    return true;
}

bool BodyReader::U64(uint64_t* value) {
    uint32_t low, high;
    if (!U32(&low) || !U32(&high)) return false;
    *value = uint64_t(high) << 32 | low;
    return true;
}

bool BodyReader::Text(std::string* text) {
    uint32_t n;
    if (!U32(&n)) return false;
    if (n > kMaxText || size_ - at_ < n) return ok_ = false;
    text->assign(reinterpret_cast<const char*>(data_ + at_), n);
    at_ += n;
    return true;
}

void StreamReader::Feed(const uint8_t* data, size_t size) {
    if (corrupt_) return;
    // Drop what was read already, so that the buffer stays small.
    if (start_ > 0 && start_ == pending_.size()) {
        pending_.clear();
        start_ = 0;
    }
    pending_.insert(pending_.end(), data, data + size);
}

StreamReader::Status StreamReader::Next(Message* message) {
    if (corrupt_) return kCorrupt;
    const uint8_t* head = pending_.data() + start_;
    uint32_t type = 0, length = 0;
    switch (CutFrame(head, pending_.size() - start_, &type, &length)) {
        case FrameCut::kNeedMore:
            return kNeedMore;
        case FrameCut::kCorrupt:
            corrupt_ = true;
            pending_.clear();
            start_ = 0;
            return kCorrupt;
        case FrameCut::kWhole:
            break;
    }
    message->type = type;
    message->body.assign(head + kFrameHead, head + kFrameHead + length);
    start_ += kFrameHead + length;
    return kGotMessage;
}

}  // namespace plugin_protocol
