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

std::string EncodeNames(const std::vector<std::string>& names) {
    static const char kDigits[] = "0123456789abcdef";
    std::string word;
    for (const std::string& name : names) {
        if (!word.empty()) word += "0a";
        for (unsigned char c : name) {
            word += kDigits[c >> 4];
            word += kDigits[c & 15];
        }
    }
    return word.empty() ? "-" : word;
}

bool DecodeNames(const std::string& word, std::vector<std::string>* names) {
    names->clear();
    if (word == "-") return true;
    if (word.empty() || word.size() % 2) return false;
    auto digit = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    std::string name;
    for (size_t at = 0; at < word.size(); at += 2) {
        const int high = digit(word[at]), low = digit(word[at + 1]);
        if (high < 0 || low < 0) return false;
        const char c = char(high << 4 | low);
        if (c != '\n') {
            name += c;
            continue;
        }
        names->push_back(name);
        name.clear();
    }
    names->push_back(name);
    return true;
}

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
    // Drop what was read already, also when part of a frame is still to
    // come: a helper whose frames never line up with the reads would
    // otherwise grow the buffer until memory runs out.
    pending_.erase(pending_.begin(), pending_.begin() + std::ptrdiff_t(start_));
    start_ = 0;
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
