// The small picture format that the test plug-ins read, shared with the
// tests that write it. Little-endian:
//   "TPC1", width (u16), height (u16), comment length (u8), comment bytes,
//   then width x height pixels of red, green, blue, top row first.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace tiny_picture {

constexpr char kMagic[4] = {'T', 'P', 'C', '1'};
constexpr size_t kFixedHead = 9;  // magic, width, height, comment length

struct Head {
    int width = 0;
    int height = 0;
    std::string comment;
    size_t pixelOffset = 0;
};

// Whether bytes (at least the first few of a file) start a tiny picture.
inline bool HasMagic(const uint8_t* bytes, size_t size) {
    return size >= sizeof(kMagic) && std::memcmp(bytes, kMagic, sizeof(kMagic)) == 0;
}

// Reads the head; false when the bytes are no complete tiny picture.
inline bool ReadHead(const uint8_t* bytes, size_t size, Head* head) {
    if (size < kFixedHead || !HasMagic(bytes, size)) return false;
    head->width = bytes[4] | bytes[5] << 8;
    head->height = bytes[6] | bytes[7] << 8;
    size_t commentLength = bytes[8];
    if (head->width == 0 || head->height == 0 || size < kFixedHead + commentLength) return false;
    head->comment.assign(reinterpret_cast<const char*>(bytes) + kFixedHead, commentLength);
    head->pixelOffset = kFixedHead + commentLength;
    size_t pixelBytes = size_t(head->width) * size_t(head->height) * 3;
    return size - head->pixelOffset >= pixelBytes;
}

// A whole file: rgb holds width x height x 3 bytes, top row first.
inline std::vector<uint8_t> Make(int width, int height, const std::vector<uint8_t>& rgb,
                                 const std::string& comment = std::string()) {
    std::vector<uint8_t> out(kMagic, kMagic + sizeof(kMagic));
    out.insert(out.end(), {uint8_t(width), uint8_t(width >> 8), uint8_t(height), uint8_t(height >> 8),
                           uint8_t(comment.size())});
    out.insert(out.end(), comment.begin(), comment.end());
    out.insert(out.end(), rgb.begin(), rgb.end());
    return out;
}

}  // namespace tiny_picture
