// Device bitmaps made from DibImages, sized for the window that shows them.
#include "image/dib_image.h"
#include "image/picture_loader.h"

namespace {
BITMAPINFOHEADER lastBitmapHeader{};

// Whether the blocks hold what the header promises: the graphics layer
// reads the table and the rows without knowing the block sizes, and a
// plug-in may hand over anything.
bool BlocksMatchHeader(HLOCAL headerBlock, const BITMAPINFOHEADER& header, HLOCAL pixelBlock) {
    // Plug-ins may hand over the longer header versions (up to 124 bytes),
    // which carry their masks inside; the table follows the header.
    if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biSize > 124 || !IsUsableDibHeader(header))
        return false;
    // The graphics layer reads biClrUsed entries when the count is given,
    // the full table otherwise.
    const uint64_t entries = header.biClrUsed ? header.biClrUsed : DibColorTableEntries(header);
    const bool separateMasks =
        header.biCompression == BI_BITFIELDS && header.biSize == sizeof(BITMAPINFOHEADER);
    const uint64_t headerBytes = header.biSize + (separateMasks ? 3 * sizeof(DWORD) : 0) + 4 * entries;
    return LocalSize(headerBlock) >= headerBytes && LocalSize(pixelBlock) >= DibPixelBytes(header);
}
}  // namespace

HBITMAP MakePictureBitmap(HWND window, HLOCAL headerBlock, HLOCAL pixelBlock) {
    LockedDib dib(headerBlock, pixelBlock);  // frees both blocks on return
    if (!dib || LocalSize(headerBlock) < sizeof(BITMAPINFOHEADER)) return nullptr;
    lastBitmapHeader = *dib.header;
    if (!BlocksMatchHeader(headerBlock, *dib.header, pixelBlock)) return nullptr;
    HDC dc = GetDC(window);
    if (!dc) return nullptr;
    HBITMAP bitmap = CreateDIBitmap(dc, dib.header, CBM_INIT, dib.pixels,
                                    reinterpret_cast<BITMAPINFO*>(dib.header), DIB_RGB_COLORS);
    if (bitmap) SetBitmapDimensionEx(bitmap, dib.header->biWidth, DibRows(*dib.header), nullptr);
    ReleaseDC(window, dc);
    return bitmap;
}

int DeletePictureBitmap(HWND, HBITMAP bitmap) {
    if (bitmap) DeleteObject(bitmap);
    return 1;
}

const BITMAPINFOHEADER& LastBitmapHeader() {
    return lastBitmapHeader;
}
