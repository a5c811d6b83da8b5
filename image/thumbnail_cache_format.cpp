#include "image/thumbnail_cache_format.h"

#include <cstring>

namespace {
constexpr char kMagic[4] = {'P', 'T', 'C', '2'};
constexpr size_t kFixedHeader = 56;

void Put32(std::vector<uint8_t>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(value >> (8 * i)));
}
void Put64(std::vector<uint8_t>& out, uint64_t value) {
    Put32(out, uint32_t(value));
    Put32(out, uint32_t(value >> 32));
}
uint32_t Get32(const uint8_t* at) {
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}
uint64_t Get64(const uint8_t* at) {
    return Get32(at) | uint64_t(Get32(at + 4)) << 32;
}

bool InRange(const ThumbnailCacheKey& key, uint32_t width, uint32_t height) {
    return key.size >= 1 && key.size <= kMaxCachedThumbnailSize && width >= 1 && width <= key.size &&
           height >= 1 && height <= key.size && !key.path.empty() && key.path.size() <= kMaxCachedPathBytes;
}
}  // namespace

size_t CachedThumbnailStride(uint32_t width) {
    return (size_t(width) * 3 + 3) / 4 * 4;
}

std::vector<uint8_t> EncodeCachedThumbnail(const ThumbnailCacheKey& key, const CachedThumbnail& thumbnail) {
    std::vector<uint8_t> out;
    const size_t pixelBytes = CachedThumbnailStride(thumbnail.width) * thumbnail.height;
    if (!InRange(key, thumbnail.width, thumbnail.height) || thumbnail.pixels.size() != pixelBytes) return out;
    out.reserve(kFixedHeader + key.path.size() + pixelBytes);
    for (char c : kMagic) out.push_back(uint8_t(c));
    Put32(out, uint32_t(kFixedHeader + key.path.size()));
    Put64(out, key.fileSize);
    Put64(out, key.writeTime);
    for (uint32_t value :
         {key.size, thumbnail.width, thumbnail.height, thumbnail.bitCount, thumbnail.pictureWidth,
          thumbnail.pictureHeight, uint32_t(key.path.size()), key.look})
        Put32(out, value);
    out.insert(out.end(), key.path.begin(), key.path.end());
    out.insert(out.end(), thumbnail.pixels.begin(), thumbnail.pixels.end());
    return out;
}

bool DecodeCachedThumbnail(const uint8_t* data, size_t size, const ThumbnailCacheKey& key,
                           CachedThumbnail* out) {
    if (!data || size < kFixedHeader || std::memcmp(data, kMagic, 4) != 0) return false;
    const uint32_t headerBytes = Get32(data + 4);
    const uint32_t pathBytes = Get32(data + 48);
    if (pathBytes != key.path.size() || headerBytes != kFixedHeader + pathBytes || size < headerBytes)
        return false;
    if (Get64(data + 8) != key.fileSize || Get64(data + 16) != key.writeTime ||
        Get32(data + 24) != key.size || Get32(data + 52) != key.look)
        return false;
    if (std::memcmp(data + kFixedHeader, key.path.data(), pathBytes) != 0) return false;
    const uint32_t width = Get32(data + 28), height = Get32(data + 32);
    if (!InRange(key, width, height)) return false;
    const size_t pixelBytes = CachedThumbnailStride(width) * height;
    if (size - headerBytes != pixelBytes) return false;
    out->width = width;
    out->height = height;
    out->bitCount = Get32(data + 36);
    out->pictureWidth = Get32(data + 40);
    out->pictureHeight = Get32(data + 44);
    out->pixels.assign(data + headerBytes, data + size);
    return true;
}

std::string CachedThumbnailName(const ThumbnailCacheKey& key) {
    // FNV-1a over every part of the key.
    uint64_t hash = 14695981039346656037ull;
    auto mix = [&hash](const void* bytes, size_t count) {
        for (size_t i = 0; i < count; ++i)
            hash = (hash ^ static_cast<const uint8_t*>(bytes)[i]) * 1099511628211ull;
    };
    mix(key.path.data(), key.path.size());
    mix(&key.fileSize, sizeof key.fileSize);
    mix(&key.writeTime, sizeof key.writeTime);
    mix(&key.size, sizeof key.size);
    mix(&key.look, sizeof key.look);
    static const char digits[] = "0123456789abcdef";
    std::string name(16, '0');
    for (int i = 15; i >= 0; --i, hash >>= 4) name[size_t(i)] = digits[hash & 15];
    return name + ".ptc";
}
