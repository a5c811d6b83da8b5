// The EXIF reader: the orientation of an APP1 segment's bytes or of a TIFF
// block, whatever offsets, counts and loops the bytes declare.
#include "fuzz/fuzz_support.h"
#include "image/exif_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Copied into a block of exactly the input's size, so a read past the
    // segment is seen.
    const std::vector<uint8_t> segment(data, data + size);
    const int fromApp1 = ExifOrientationFromApp1(segment.data(), segment.size());
    const int fromTiff = ExifOrientationFromTiff(segment.data(), segment.size());
    // The viewer turns only by the eight orientations the format defines.
    FUZZ_ASSERT(fromApp1 >= 0 && fromApp1 <= 8 && fromTiff >= 0 && fromTiff <= 8);
    FUZZ_ASSERT(OrientationForExif(fromApp1) >= 0 && OrientationForExif(fromApp1) < 8);
    return 0;
}

std::vector<Bytes> FuzzSeeds() {
    std::vector<Bytes> seeds;
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const Bytes body = ExifBody(orientation, orientation % 2 == 0);
        seeds.push_back(body);
        seeds.push_back(Bytes(body.begin() + 6, body.end()));  // the TIFF block alone
    }
    return seeds;
}
