#include "image/plugin_meta.h"

#include "image/icc_reader.h"

namespace {
uint32_t U32(const uint8_t* at) {
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}
constexpr size_t kCsTypeAt = 56, kProfileDataAt = 112, kProfileSizeAt = 116, kReservedAt = 120;
}  // namespace

void ReadPluginHeaderMeta(const uint8_t* header, size_t size, PictureMeta* meta) {
    if (!header || size < kV5HeaderBytes || U32(header) < kV5HeaderBytes) return;
    const uint32_t reserved = U32(header + kReservedAt);
    if ((reserved & 0xFFFF0000u) == kOrientationTag) {
        if ((reserved & 0xFF) >= 1 && (reserved & 0xFF) <= 8) meta->exifOrientation = int(reserved & 0xFF);
        if (reserved & kPremultipliedFlag) meta->alphaPremultiplied = true;
    }
    if (U32(header + kCsTypeAt) != kEmbeddedProfileTag) return;
    const size_t at = U32(header + kProfileDataAt), bytes = U32(header + kProfileSizeAt);
    if (at < kV5HeaderBytes || at > size || bytes > size - at) return;
    if (!IsWholeIccProfile(header + at, bytes)) return;
    meta->iccProfile.assign(header + at, header + at + DeclaredIccSize(header + at));
}
