// The bytes of one entry of the thumbnail disk cache, and the reader that
// checks them. A cache file is input like any other file (another program,
// a full disk or an older build may have left anything there), so the
// reader trusts nothing: every size is checked against the bytes present
// and against the key asked for, and anything else is "no entry".
//
// An entry, little-endian: "PTC2", header bytes (u32), the picture file's
// size (u64) and write time (u64), the thumbnail size S (u32), the
// thumbnail's width and height (u32 each, 1..S), the picture's own depth,
// width and height (u32 each), the path's length (u32), the look (u32),
// the path's bytes; then the thumbnail's pixels: 24 bits, bottom row
// first, rows padded to 4 bytes. ("PTC1" entries, made before thumbnails
// depended on the display options, are foreign and built again.)
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ThumbnailCacheKey {
    std::string path;  // the page's full path
    uint64_t fileSize = 0;
    uint64_t writeTime = 0;  // FILETIME as one number
    uint32_t size = 0;       // the album's thumbnail size S
    // The display options the thumbnail was made under, as a fingerprint
    // (DisplayOptionsFingerprint): another look is another thumbnail.
    uint32_t look = 0;
};

struct CachedThumbnail {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bitCount = 0;  // the picture's own facts, as a build records them
    uint32_t pictureWidth = 0;
    uint32_t pictureHeight = 0;
    std::vector<uint8_t> pixels;
};

// Largest thumbnail size and path the cache holds.
constexpr uint32_t kMaxCachedThumbnailSize = 1024;
constexpr uint32_t kMaxCachedPathBytes = 4096;

// Bytes of one pixel row of a 24-bit thumbnail width pixels wide.
size_t CachedThumbnailStride(uint32_t width);

// The entry's bytes; empty when the key or thumbnail is out of range.
std::vector<uint8_t> EncodeCachedThumbnail(const ThumbnailCacheKey& key, const CachedThumbnail& thumbnail);

// True with out filled when data holds exactly one well-formed entry for
// key; false for anything else (short, long, foreign, damaged, another
// key's). Reads only inside [data, data + size).
bool DecodeCachedThumbnail(const uint8_t* data, size_t size, const ThumbnailCacheKey& key,
                           CachedThumbnail* out);

// The entry's file name: a hash of the key, in hexadecimal, with ".ptc".
// Two keys may share a name; the stored key tells them apart.
std::string CachedThumbnailName(const ThumbnailCacheKey& key);
