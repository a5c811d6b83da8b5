// What a picture file says of itself besides its pixels: the way the
// camera held it, the colour space its numbers are in, and whether its
// fourth byte is coverage. The readers fill it while they decode; the
// display pipeline (image/picture_pipeline) acts on it.
#pragma once

#include <cstdint>
#include <vector>

struct PictureMeta {
    // EXIF Orientation as stored, 1-8; 0 when the file says nothing usable.
    int exifOrientation = 0;
    // The embedded ICC profile, whole and of the size it declares; empty
    // when there is none or it was damaged.
    std::vector<uint8_t> iccProfile;
    // The pixels are 32 bits with straight alpha that means coverage.
    bool alphaMeaningful = false;
    // ... and the colours are already multiplied by it.
    bool alphaPremultiplied = false;
};
