#include "image/thumbnail_image.h"

#include <algorithm>

#include "browse/scoped_handles.h"
#include "image/dib_image.h"
#include "image/transforms.h"

ThumbnailExtent ThumbnailExtentFor(int width, int height, int size) {
    if (width <= 0 || height <= 0 || size <= 0) return ThumbnailExtent{0, 0};
    // 64-bit products: a hostile 65535-pixel side times the cell stays exact.
    if (width > height) {
        const int w = std::min(size, width);
        const int h = static_cast<int>(int64_t(w) * height / width);
        return ThumbnailExtent{w, std::max(h, 1)};
    }
    const int h = std::min(size, height);
    const int w = static_cast<int>(int64_t(h) * width / height);
    return ThumbnailExtent{std::max(w, 1), h};
}

void PaintThumbnailFailure(HDC dc, int x, int y, int size) {
    GdiObject<HBRUSH> brush(CreateSolidBrush(kThumbnailFailureColour));
    const RECT square{x, y, x + size, y + size};
    FillRect(dc, &square, brush);
}

int PaintThumbnailPicture(HDC dc, const BITMAPINFOHEADER* header, const BYTE* pixels, int orientation, int x,
                          int y, int size) {
    // An upright page is drawn straight from the kept thumbnail: a redraw
    // of a page of them then costs twelve copies to the screen and no more.
    LockedDib copy;
    if (orientation != 0) {
        if (!CopyDib(copy.header, copy.pixels, header, pixels)) return 0;
        // A failed turn leaves the copy upright; drawing it so is better
        // than a hole in the grid.
        OrientDib(copy.header, copy.pixels, orientation);
        header = copy.header;
        pixels = copy.pixels;
    }
    const int w = header->biWidth;
    const int h = DibRows(*header);
    SetDIBitsToDevice(dc, x + (size - w) / 2, y + (size - h) / 2, DWORD(w), DWORD(h), 0, 0, 0, UINT(h),
                      pixels, reinterpret_cast<const BITMAPINFO*>(header), DIB_RGB_COLORS);
    return 1;
}
