// The tests' writers of outside bytes that need no Windows header: little
// -endian appenders, BMP files laid out field by field, .zub records laid out
// by hand. The Wine tests and the native fuzz seed generator share them.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Little-endian appenders for laying files out by hand.
void PutU8(Bytes& out, uint32_t value);
void PutU16(Bytes& out, uint32_t value);
void PutU32(Bytes& out, uint32_t value);
void PutBytes(Bytes& out, const void* data, size_t size);
void PutText(Bytes& out, const std::string& text);

struct Rgb {
    uint8_t r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};
using PixelPattern = std::function<Rgb(int x, int y)>;
// Gives every pixel of a small picture a distinct colour.
Rgb DistinctPixel(int x, int y);

// A BMP laid out field by field: the classic 40 fields at the head of a
// headerSize header (the rest 0x77), the masks right behind the 40 (inside a
// longer header), the colour table behind the whole header, then the data.
// The density is in pixels a metre, both ways.
Bytes BmpFile(uint32_t headerSize, int width, int height, int bits, uint32_t compression,
              const std::vector<uint32_t>& masks, const std::vector<uint32_t>& table, const Bytes& data,
              uint32_t density = 0);
// A BMP file of 1, 4, 8, 16 (5-5-5), 24 or 32 bits. Below 16 bits the table
// is a grey ramp and pixel (x, y) takes index (x + y * width) modulo its
// size. topDown writes a negative height.
Bytes MakeBmp(int width, int height, int bits, bool topDown = false,
              const PixelPattern& pattern = DistinctPixel);
// What a pixel becomes in 5-5-5 and back.
Rgb Quantise555(Rgb colour);

// The .zub writer of the tests: words, bodies and records laid out by hand.
inline Bytes Chars(const std::string& text) {
    return Bytes(text.begin(), text.end());
}
inline Bytes Words(std::initializer_list<uint32_t> words) {
    Bytes out;
    for (uint32_t word : words) PutU32(out, word);
    return out;
}
inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}
// A text body with its terminator; a path body is a flag word and a text.
inline Bytes TextBody(const std::string& text) {
    return Chars(text + '\0');
}
inline Bytes PathBody(uint32_t flag, const std::string& text) {
    return Cat({Words({flag}), TextBody(text)});
}
// One file record: keyword word, size, body.
inline Bytes Rec(uint32_t keywordWord, const Bytes& body) {
    return Cat({Words({keywordWord, static_cast<uint32_t>(body.size())}), body});
}
inline const Bytes kStoredZubMagic = Chars("-ZUBFile V1.00-\r");
// A .zub file laid out by hand: magic, header block, one block a page (the
// first marked 0xFFFF0001), both end markers. Unsized blocks say 0, as hand
// -made files may.
inline Bytes ZubBytes(const Bytes& header, const std::vector<Bytes>& pages, bool sized = true) {
    auto block = [&](uint32_t marker, const Bytes& records) {
        return Cat({Words({marker, sized ? static_cast<uint32_t>(records.size()) : 0u}), records});
    };
    Bytes out = Cat({kStoredZubMagic, block(0xFFFFFFFF, header)});
    for (size_t i = 0; i < pages.size(); ++i) out = Cat({out, block(i ? 0xFFFFFFFF : 0xFFFF0001, pages[i])});
    return Cat({out, Words({0xFFFF0000, 0xFFFF0000})});
}

// JPEG metadata bodies, for the readers of the picture's own facts.
// An APP1 "Exif" body whose IFD0 holds only the orientation tag.
Bytes ExifBody(int orientation, bool bigEndian = false);
// The APP2 bodies carrying profile in chunks of at most chunkBytes.
std::vector<Bytes> IccChunks(const Bytes& profile, size_t chunkBytes);
// A matrix profile of an RGB space: red, green and blue colorants (XYZ,
// D50) and one parametric tone curve of the given gamma for all three
// (2.4 with sRGB's linear foot when srgbCurve).
Bytes MatrixProfile(const double colorants[3][3], double gamma, bool srgbCurve);
