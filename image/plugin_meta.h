// What a plug-in's header block says of its picture besides the picture.
//
// The import-filter interface has no field for a colour profile or an
// orientation, and published plug-ins send a 40-byte header. A plug-in may
// instead send a version 5 header (124 bytes): its profile fields embed an
// ICC profile the way the platform defines them (bV5CSType "MBED",
// bV5ProfileData an offset from the header's start into the same block,
// bV5ProfileSize), and Piltrin's own WIC plug-in puts the EXIF orientation
// into the last field (bV5Reserved, zero in every other header): "OR" in
// its upper half, the orientation 1-8 (or 0) in its lowest byte, and bit 8
// set when the colours of a 32-bit picture are premultiplied. Any other host
// reads such a header as an ordinary picture. A pure reader over the bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/picture_meta.h"

constexpr size_t kV5HeaderBytes = 124;
constexpr uint32_t kEmbeddedProfileTag = 0x4D424544;  // "MBED"
constexpr uint32_t kOrientationTag = 0x4F520000;      // "OR" in the upper half
constexpr uint32_t kPremultipliedFlag = 0x100;

// Fills meta's orientation and profile from a header block of size bytes;
// leaves them as they are when the header says nothing usable.
void ReadPluginHeaderMeta(const uint8_t* header, size_t size, PictureMeta* meta);
