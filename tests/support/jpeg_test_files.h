// JPEG streams made by the tests with the same library that decodes them.
#pragma once

#include "tests/support/test_files.h"

// Cmyk: ink 255 - colour, no black; Ycck: as Adobe writes it (inverted).
enum class JpegKind { Grey, Colour, Cmyk, Ycck };

struct JpegOptions {
    JpegKind kind = JpegKind::Colour;
    int quality = 95;
    bool progressive = false;
    bool fullChroma = true;  // so that flat colours survive nearly exactly
};

Bytes MakeJpeg(int width, int height, const PixelPattern& pattern, const JpegOptions& options = {});
// A pmp file: 21-byte head (first byte 16, offset big-endian at 8..11),
// filler up to offset, then the stream.
Bytes MakePmp(const Bytes& jpeg, uint32_t offset, uint8_t firstByte = 0x10);
// The stream with an APPn segment (marker 0xE0 + n) holding body right
// after its start marker.
Bytes WithSegment(const Bytes& jpeg, uint8_t marker, const Bytes& body);
