// The thumbnail cache's entry reader: a round trip, then thousands of
// mutated entries (flipped bytes, cut and lengthened files, changed length
// words), none of which may be read past its end or taken for a thumbnail
// of a size other than its bytes hold.
#include "image/thumbnail_cache_format.h"

#include <gtest/gtest.h>

#include <random>

TEST(ThumbnailCacheFormat, RoundTripsAndNoMutationReadsPastItsBytesOrLiesAboutItsSize) {
    const ThumbnailCacheKey key{"C:\\写真\\a.jpg", 123456789012ull, 0x01D9ABCDEF012345ull, 90, 0xC0FFEE};
    CachedThumbnail thumbnail{90, 7, 24, 6000, 467, {}};
    thumbnail.pixels.resize(CachedThumbnailStride(90) * 7);
    for (size_t i = 0; i < thumbnail.pixels.size(); ++i) thumbnail.pixels[i] = uint8_t(i * 31);
    const std::vector<uint8_t> entry = EncodeCachedThumbnail(key, thumbnail);
    CachedThumbnail back;
    ASSERT_TRUE(DecodeCachedThumbnail(entry.data(), entry.size(), key, &back));
    EXPECT_EQ(back.pixels, thumbnail.pixels);
    EXPECT_EQ(back.pictureHeight, 467u);
    // Another key's entry (a shared file name) is no entry.
    ThumbnailCacheKey others[5] = {key, key, key, key, key};
    others[4].look ^= 1;
    others[0].path[3] ^= 1;
    ++others[1].fileSize;
    others[2].writeTime ^= 1;
    others[3].size = 91;
    for (const ThumbnailCacheKey& other : others)
        EXPECT_FALSE(DecodeCachedThumbnail(entry.data(), entry.size(), other, &back));
    std::mt19937 random(32);
    for (int round = 0; round < 20000; ++round) {
        std::vector<uint8_t> bytes = entry;
        const int kind = round % 4;
        if (kind == 0) bytes.resize(random() % bytes.size());
        if (kind == 1) bytes.resize(bytes.size() + 1 + random() % 64, uint8_t(random()));
        for (int flips = kind >= 2 ? 1 + random() % 4 : 0; flips > 0; --flips) {
            // Most flips land in the header, where the sizes are.
            const size_t at = random() % (round % 8 < 6 ? 80 : bytes.size());
            bytes[at] = kind == 2 ? uint8_t(random()) : uint8_t(bytes[at] ^ (1u << (random() % 8)));
        }
        // A private copy, so that a read past the end reads no neighbour.
        std::vector<uint8_t> exact(bytes.begin(), bytes.end());
        exact.shrink_to_fit();
        CachedThumbnail out;
        if (!DecodeCachedThumbnail(exact.data(), exact.size(), key, &out)) continue;
        ASSERT_EQ(out.pixels.size(), CachedThumbnailStride(out.width) * out.height) << round;
        ASSERT_TRUE(out.width >= 1 && out.width <= 90 && out.height >= 1 && out.height <= 90) << round;
        ASSERT_EQ(exact.size(), entry.size() - thumbnail.pixels.size() + out.pixels.size()) << round;
    }
}
