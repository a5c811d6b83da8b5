// Embedded ICC profiles: the chunks of JPEG APP2 "ICC_PROFILE" segments
// joined in sequence order, and the check of a profile's declared size.
// Pure functions over byte spans (no Windows header).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// One APP2 segment's body as libjpeg saved it.
struct ByteSpan {
    const uint8_t* data;
    size_t size;
};

// The profile the "ICC_PROFILE" chunks among segments carry, joined by
// their sequence numbers; segments of other kinds are skipped. Empty when a
// chunk is missing, repeated, numbered beyond the count or disagrees about
// the count, or when the joined profile fails IsWholeIccProfile.
std::vector<uint8_t> JoinIccChunks(const std::vector<ByteSpan>& segments);
// The profile of a JPEG stream's APP2 segments: the markers from its start
// to the first scan (or the end of the bytes) are walked, and the
// "ICC_PROFILE" chunks among them joined as JoinIccChunks does. Empty for
// anything that is no such stream.
std::vector<uint8_t> IccProfileOfJpeg(const uint8_t* data, size_t size);
// Whether bytes hold a profile: at least the 128-byte header plus the tag
// count, "acsp" at 36, and a declared size (bytes 0-3, big-endian) that
// the bytes hold. Trailing padding is allowed; JoinIccChunks cuts it off.
bool IsWholeIccProfile(const uint8_t* data, size_t size);
// The declared size of a profile that passed IsWholeIccProfile.
size_t DeclaredIccSize(const uint8_t* data);

// The signature of a whole profile's data colour space (bytes 16-19, as
// 'RGB ' reads big-endian: 0x52474220).
constexpr uint32_t kIccRgbSpace = 0x52474220;
uint32_t IccColourSpace(const uint8_t* data);
// Whether a whole profile describes sRGB: RGB data, red, green and blue
// colorants (the rXYZ, gXYZ, bXYZ tags) and tone curves those of sRGB
// within the rounding of the profiles that circulate. Pictures tagged
// with it need no conversion on an sRGB display.
bool IsSrgbProfile(const uint8_t* data, size_t size);
