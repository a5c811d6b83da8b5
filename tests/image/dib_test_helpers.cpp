#include "tests/image/dib_test_helpers.h"

#include <cstring>

#include "image/picture_loader.h"

Rgb PixelAt(const BITMAPINFOHEADER* header, const BYTE* pixels, int x, int y) {
    const int rows = DibRows(*header);
    const int stored = header->biHeight < 0 ? y : rows - 1 - y;
    const BYTE* row = pixels + size_t(DibStride(header->biBitCount, header->biWidth)) * stored;
    const auto* table =
        reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const BYTE*>(header) + header->biSize);
    switch (header->biBitCount) {
        case 1: {
            const RGBQUAD q = table[(row[x / 8] >> (7 - x % 8)) & 1];
            return Rgb{q.rgbRed, q.rgbGreen, q.rgbBlue};
        }
        case 4: {
            const RGBQUAD q = table[(row[x / 2] >> (x % 2 ? 0 : 4)) & 15];
            return Rgb{q.rgbRed, q.rgbGreen, q.rgbBlue};
        }
        case 8: {
            const RGBQUAD q = table[row[x]];
            return Rgb{q.rgbRed, q.rgbGreen, q.rgbBlue};
        }
        case 16: {
            const unsigned v = row[2 * x] | row[2 * x + 1] << 8;
            auto expand = [](unsigned c) { return uint8_t(c << 3 | c >> 2); };
            return Rgb{expand(v >> 10 & 31), expand(v >> 5 & 31), expand(v & 31)};
        }
        case 24:
            return Rgb{row[3 * x + 2], row[3 * x + 1], row[3 * x]};
        case 32:
            return Rgb{row[4 * x + 2], row[4 * x + 1], row[4 * x]};
    }
    return Rgb{0, 0, 0};
}

LockedDib MakeDib(int width, int height, int bits, bool topDown, const PixelPattern& pattern) {
    BITMAPINFOHEADER fields{};
    fields.biSize = sizeof fields;
    fields.biWidth = width;
    fields.biHeight = topDown ? -height : height;
    fields.biPlanes = 1;
    fields.biBitCount = WORD(bits);
    LockedDib dib;
    dib.header = static_cast<BITMAPINFOHEADER*>(AllocLockedBlock(DibHeaderBytes(fields)));
    dib.pixels = static_cast<BYTE*>(AllocLockedBlock(size_t(DibPixelBytes(fields))));
    *dib.header = fields;
    auto* table = reinterpret_cast<RGBQUAD*>(dib.header + 1);
    if (bits == 8)
        for (int i = 0; i < 256; ++i) table[i] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
    const size_t stride = size_t(DibStride(bits, width));
    for (int y = 0; y < height; ++y) {
        BYTE* row = dib.pixels + stride * (topDown ? y : height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const Rgb c = pattern(x, y);
            if (bits == 24) {
                row[3 * x] = c.b;
                row[3 * x + 1] = c.g;
                row[3 * x + 2] = c.r;
            } else if (bits == 16) {
                const unsigned v = (c.r >> 3) << 10 | (c.g >> 3) << 5 | c.b >> 3;
                row[2 * x] = BYTE(v);
                row[2 * x + 1] = BYTE(v >> 8);
            } else if (bits == 8) {
                row[x] = c.g;
            }
        }
    }
    return dib;
}

LockedDib LoadDib(const std::string& path) {
    HLOCAL header, pixels;
    if (!LoadPicture(path.c_str(), nullptr, 0, &header, &pixels)) return LockedDib();
    return LockedDib(header, pixels);
}

DWORD GdiObjectCount() {
    return GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
}
