#include "image/icc_reader.h"

#include <cstring>

namespace {

constexpr char kChunkHead[12] = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
// The head, then the chunk's sequence number (from 1) and the chunk count.
constexpr size_t kChunkPrefix = sizeof kChunkHead + 2;
constexpr size_t kProfileHeader = 132;

}  // namespace

size_t DeclaredIccSize(const uint8_t* data) {
    return size_t(uint32_t(data[0]) << 24 | uint32_t(data[1]) << 16 | uint32_t(data[2]) << 8 | data[3]);
}

bool IsWholeIccProfile(const uint8_t* data, size_t size) {
    if (!data || size < kProfileHeader || std::memcmp(data + 36, "acsp", 4) != 0) return false;
    const size_t declared = DeclaredIccSize(data);
    return declared >= kProfileHeader && declared <= size;
}

std::vector<uint8_t> JoinIccChunks(const std::vector<ByteSpan>& segments) {
    std::vector<ByteSpan> chunks;
    for (const ByteSpan& segment : segments) {
        if (!segment.data || segment.size < kChunkPrefix ||
            std::memcmp(segment.data, kChunkHead, sizeof kChunkHead) != 0)
            continue;
        const unsigned sequence = segment.data[sizeof kChunkHead];
        const unsigned count = segment.data[sizeof kChunkHead + 1];
        if (count == 0 || (!chunks.empty() && chunks.size() != count)) return {};
        if (chunks.empty()) chunks.assign(count, ByteSpan{nullptr, 0});
        if (sequence == 0 || sequence > count || chunks[sequence - 1].data) return {};
        chunks[sequence - 1] = ByteSpan{segment.data + kChunkPrefix, segment.size - kChunkPrefix};
    }
    std::vector<uint8_t> profile;
    for (const ByteSpan& chunk : chunks) {
        if (!chunk.data) return {};
        profile.insert(profile.end(), chunk.data, chunk.data + chunk.size);
    }
    if (!IsWholeIccProfile(profile.data(), profile.size())) return {};
    profile.resize(DeclaredIccSize(profile.data()));
    return profile;
}
