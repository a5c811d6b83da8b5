#include "tests/image/dib_test_helpers.h"

#include <cstdio>
#include <cstdlib>

// The decoder reports damage it was fed on purpose on the error stream;
// the test results go to standard output.
static FILE* const quietErrors = freopen("NUL", "w", stderr);

bool SamePixels(const LockedDib& a, const LockedDib& b) {
    if (a.header->biWidth != b.header->biWidth || DibRows(*a.header) != DibRows(*b.header)) return false;
    for (int y = 0; y < DibRows(*a.header); ++y)
        for (int x = 0; x < a.header->biWidth; ++x)
            if (!(PixelAt(a.header, a.pixels, x, y) == PixelAt(b.header, b.pixels, x, y))) return false;
    return true;
}

Rgb BlockColour(int x, int y) {
    static const Rgb colours[] = {{250, 10, 10}, {10, 250, 10}, {10, 10, 250}, {240, 240, 20}, {30, 30, 30}};
    return colours[(x / 8 + 2 * (y / 8)) % 5];
}

Rgb BmpPixel(int x, int y, int width, int bits) {
    if (bits == 16) return Quantise555(DistinctPixel(x, y));
    if (bits > 16) return DistinctPixel(x, y);
    const int colours = 1 << bits;
    const uint8_t grey = uint8_t((x + y * width) % colours * 255 / (colours - 1));
    return Rgb{grey, grey, grey};
}

LockedDib MakeDib(int width, int height, int bits, bool topDown, const PixelPattern& pattern,
                  DWORD headerSize) {
    BITMAPINFOHEADER fields{
        sizeof fields, width, topDown ? -height : height, 1, WORD(bits), BI_RGB, 0, 0, 0, 0, 0};
    LockedDib dib;
    dib.header = static_cast<BITMAPINFOHEADER*>(AllocLockedBlock(DibHeaderBytes(fields) - 40 + headerSize));
    dib.pixels = static_cast<BYTE*>(AllocLockedBlock(size_t(DibPixelBytes(fields))));
    *dib.header = fields;
    dib.header->biSize = headerSize;
    auto* table = reinterpret_cast<RGBQUAD*>(reinterpret_cast<BYTE*>(dib.header) + headerSize);
    for (int i = 0; bits == 8 && i < 256; ++i) table[i] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
    for (int y = 0; y < height; ++y) {
        BYTE* row = dib.pixels + size_t(DibStride(bits, width)) * (topDown ? y : height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const Rgb c = pattern(x, y);
            const unsigned v = (c.r >> 3) << 10 | (c.g >> 3) << 5 | c.b >> 3;
            if (bits == 8) row[x] = c.g;
            if (bits == 16) row[2 * x] = BYTE(v), row[2 * x + 1] = BYTE(v >> 8);
            if (bits == 24) row[3 * x] = c.b, row[3 * x + 1] = c.g, row[3 * x + 2] = c.r;
        }
    }
    return dib;
}

LockedDib LoadDib(const std::string& path) {
    HLOCAL header, pixels;
    if (!LoadPicture(path.c_str(), nullptr, 0, &header, &pixels)) return LockedDib();
    return LockedDib(header, pixels);
}
