// The byte-level half of the BMP reader: what the file and info headers say
// and the run-length decoder, over plain bytes. bmp_reader.cpp reads the
// file through these and places the parts into a DibImage's blocks.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/dib_layout.h"

// The file header (14 bytes) and the 40 bytes every info header begins with.
constexpr size_t kBmpHeadersSize = 14 + 40;

// Where the parts of a BMP file lie and what the picture becomes.
struct BmpLayout {
    // The header the DibImage gets: the 40-byte form, run-length pictures
    // as the plain rows they are decoded into, colour counts the table
    // cannot hold cleared.
    DibInfo info{};
    // The colour table, or the three channel masks: the file offset to read
    // from, and the bytes the header block holds after the 40 (what the
    // file lacks stays zero).
    uint64_t tableOffset = 0;
    size_t tableBytes = 0;
    // The pixel rows, or the run-length data, from here on.
    uint64_t pixelOffset = 0;
    // Bytes of the decoded pixel block.
    uint64_t pixelBytes = 0;
    // Run-length data to read and decode (0 for plain rows): at most what
    // the file holds and what any picture of this size could need.
    uint64_t codedBytes = 0;
    bool runLength = false;
    int runBits = 0;  // 8 or 4
};

enum class BmpVerdict { kUsable, kNotBmp, kTooLarge };

// Checks the first kBmpHeadersSize bytes of a file of fileSize bytes (fewer
// bytes: not a BMP) and fills layout for a usable one.
BmpVerdict ReadBmpHeaders(const uint8_t* bytes, size_t size, uint64_t fileSize, BmpLayout* layout);

// The info header right after the file header, whatever the file header
// says; false when the bytes are too few.
bool ReadBmpInfoHeader(const uint8_t* bytes, size_t size, DibInfo* info);

// Decodes run-length rows (RLE8 or RLE4, bottom row first) into plain rows
// of the same depth, in a block of height rows of stride bytes.
void DecodeRunLength(const uint8_t* data, size_t size, int bits, int width, int height, size_t stride,
                     uint8_t* pixels);
