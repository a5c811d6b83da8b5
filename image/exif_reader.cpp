#include "image/exif_reader.h"

#include <cstring>

namespace {

constexpr uint16_t kOrientationTag = 0x0112;
constexpr uint16_t kShortType = 3;
constexpr size_t kEntryBytes = 12;

struct TiffBytes {
    const uint8_t* data;
    size_t size;
    bool bigEndian;

    uint32_t U16(size_t at) const {
        return bigEndian ? uint32_t(data[at]) << 8 | data[at + 1] : uint32_t(data[at + 1]) << 8 | data[at];
    }
    uint32_t U32(size_t at) const {
        return bigEndian ? U16(at) << 16 | U16(at + 2) : U16(at + 2) << 16 | U16(at);
    }
};

}  // namespace

int ExifOrientationFromTiff(const uint8_t* data, size_t size) {
    if (!data || size < 8) return 0;
    TiffBytes tiff{data, size, false};
    if (std::memcmp(data, "II*\0", 4) == 0) {
        tiff.bigEndian = false;
    } else if (std::memcmp(data, "MM\0*", 4) == 0) {
        tiff.bigEndian = true;
    } else {
        return 0;
    }
    // Only IFD0 is read and no link is followed, so a directory that points
    // back at itself costs nothing.
    const uint32_t directory = tiff.U32(4);
    if (directory > size - 2) return 0;
    const uint32_t entries = tiff.U16(directory);
    // An entry count larger than the block is cut to what the block holds.
    const size_t room = (size - directory - 2) / kEntryBytes;
    const size_t count = entries < room ? entries : room;
    for (size_t i = 0; i < count; ++i) {
        const size_t entry = directory + 2 + i * kEntryBytes;
        if (tiff.U16(entry) != kOrientationTag) continue;
        if (tiff.U16(entry + 2) != kShortType || tiff.U32(entry + 4) != 1) return 0;
        const uint32_t value = tiff.U16(entry + 8);
        return value >= 1 && value <= 8 ? int(value) : 0;
    }
    return 0;
}

int ExifOrientationFromApp1(const uint8_t* data, size_t size) {
    static const uint8_t kExifHead[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (!data || size < sizeof kExifHead || std::memcmp(data, kExifHead, sizeof kExifHead) != 0) return 0;
    return ExifOrientationFromTiff(data + sizeof kExifHead, size - sizeof kExifHead);
}

int OrientationForExif(int exifOrientation) {
    // EXIF 1 as stored, 2 mirrored left-right, 3 upside down, 4 mirrored
    // top-bottom, 5 transposed, 6 lying on its left side (turn right),
    // 7 transversed, 8 lying on its right side (turn left).
    static constexpr int kTurn[9] = {0, 0, 5, 2, 7, 4, 1, 6, 3};
    return exifOrientation >= 1 && exifOrientation <= 8 ? kTurn[exifOrientation] : 0;
}
