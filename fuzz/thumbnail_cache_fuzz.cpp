// The thumbnail disk cache's entry reader: a cache file is input like any
// other, so any bytes give "no entry" or one well-formed thumbnail.
#include "fuzz/fuzz_support.h"
#include "image/thumbnail_cache_format.h"

namespace {
ThumbnailCacheKey Key() {
    ThumbnailCacheKey key;
    key.path = "C:\\photos\\a.jpg";
    key.fileSize = 123456;
    key.writeTime = 0x01D9000012345678ull;
    key.size = 90;
    return key;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> entry(data, data + size);
    CachedThumbnail thumbnail;
    if (!DecodeCachedThumbnail(entry.data(), entry.size(), Key(), &thumbnail)) return 0;
    // What the album then copies into its blocks: sizes within the key's
    // and exactly the pixels they need.
    FUZZ_ASSERT(thumbnail.width >= 1 && thumbnail.width <= Key().size);
    FUZZ_ASSERT(thumbnail.height >= 1 && thumbnail.height <= Key().size);
    FUZZ_ASSERT(thumbnail.pixels.size() == CachedThumbnailStride(thumbnail.width) * thumbnail.height);
    FUZZ_ASSERT(EncodeCachedThumbnail(Key(), thumbnail) == entry);
    return 0;
}

std::vector<Bytes> FuzzSeeds() {
    std::vector<Bytes> seeds;
    for (uint32_t width : {1u, 90u, 37u}) {
        CachedThumbnail thumbnail;
        thumbnail.width = width;
        thumbnail.height = 90 / width + 1;
        thumbnail.bitCount = 24;
        thumbnail.pictureWidth = 4000;
        thumbnail.pictureHeight = 3000;
        thumbnail.pixels.assign(CachedThumbnailStride(width) * thumbnail.height, 0x5A);
        seeds.push_back(EncodeCachedThumbnail(Key(), thumbnail));
    }
    return seeds;
}
