// The eight orientations of a picture, built from in-place mirrors, the
// free flip of the row order, and two tiled rotations.
#include "image/transforms.h"

#include <cstring>
#include <vector>

namespace {

// Rows of the picture as seen on screen, top row first, whatever the
// stored order.
std::vector<BYTE*> DisplayRows(const BITMAPINFOHEADER& header, BYTE* pixels) {
    const int rows = DibRows(header);
    const size_t stride = size_t(DibStride(header.biBitCount, header.biWidth));
    std::vector<BYTE*> display(rows);
    for (int y = 0; y < rows; ++y) {
        const int stored = header.biHeight < 0 ? y : rows - 1 - y;
        display[y] = pixels + size_t(stored) * stride;
    }
    return display;
}

bool WantsStop(ProgressProc progress, int done, int total, intptr_t userData) {
    return progress && progress(done, total, userData) != 0;
}

void MirrorRow(BYTE* row, int width, int bytesPerPixel) {
    BYTE* left = row;
    BYTE* right = row + size_t(width - 1) * bytesPerPixel;
    BYTE spare[4];
    while (left < right) {
        std::memcpy(spare, left, bytesPerPixel);
        std::memcpy(left, right, bytesPerPixel);
        std::memcpy(right, spare, bytesPerPixel);
        left += bytesPerPixel;
        right -= bytesPerPixel;
    }
}

// Tiles keep both the rows read and the rows written in the cache; walking
// whole source columns would touch a new cache line for every pixel.
constexpr int kTile = 64;

template <int kBytes>
void CopyTransposed(const std::vector<BYTE*>& sourceRows, int sourceWidth, BYTE* target, size_t targetStride,
                    int y0, int y1, bool reverseColumns, bool reverseRows) {
    const int sourceHeight = int(sourceRows.size());
    // Result display row y is source column (reversed: width-1-y); result
    // column x is source display row (reversed: height-1-x). Results are
    // stored bottom row first.
    for (int x0 = 0; x0 < sourceHeight; x0 += kTile) {
        const int x1 = x0 + kTile < sourceHeight ? x0 + kTile : sourceHeight;
        for (int y = y0; y < y1; ++y) {
            const int column = reverseColumns ? sourceWidth - 1 - y : y;
            BYTE* out = target + size_t(sourceWidth - 1 - y) * targetStride + size_t(x0) * kBytes;
            const size_t columnOffset = size_t(column) * kBytes;
            for (int x = x0; x < x1; ++x, out += kBytes) {
                const BYTE* in = sourceRows[reverseRows ? sourceHeight - 1 - x : x] + columnOffset;
                std::memcpy(out, in, kBytes);
            }
        }
    }
}

// The turn by 90 degrees either way: result pixel (x, y) is the source
// pixel (column y or W-1-y, display row H-1-x or x).
int Rotate(BITMAPINFOHEADER*& header, BYTE*& pixels, bool clockwise, ProgressProc progress, intptr_t userData) {
    const int bytesPerPixel = header->biBitCount / 8;
    if (header->biBitCount % 8 != 0 || (bytesPerPixel != 2 && bytesPerPixel != 3)) return 0;
    const int width = header->biWidth;
    const int height = DibRows(*header);
    if (width <= 0 || height <= 0) return 0;
    const uint64_t targetStride = DibStride(header->biBitCount, height);
    if (targetStride * uint64_t(width) > kMaxDibPixelBytes) return 0;
    auto* target = static_cast<BYTE*>(AllocLockedBlock(size_t(targetStride * uint64_t(width))));
    if (!target) return 0;
    const std::vector<BYTE*> sourceRows = DisplayRows(*header, pixels);

    if (WantsStop(progress, 0, width, userData)) {
        FreeLockedBlock(target);
        return 0;
    }
    for (int y0 = 0; y0 < width; y0 += kTile) {
        const int y1 = y0 + kTile < width ? y0 + kTile : width;
        for (int column = y0; column < y1; ++column) {
            if (WantsStop(progress, column, width, userData)) {
                FreeLockedBlock(target);
                return 0;
            }
        }
        if (bytesPerPixel == 3) {
            CopyTransposed<3>(sourceRows, width, target, size_t(targetStride), y0, y1, !clockwise, clockwise);
        } else {
            CopyTransposed<2>(sourceRows, width, target, size_t(targetStride), y0, y1, !clockwise, clockwise);
        }
    }
    WantsStop(progress, width, width, userData);

    FreeLockedBlock(pixels);
    pixels = target;
    header->biWidth = height;
    header->biHeight = width;
    header->biSizeImage = 0;
    return 1;
}

}  // namespace

bool OrientationSwapsSides(int orientation) {
    return orientation == 1 || orientation == 3 || orientation == 4 || orientation == 6;
}

int FlipVertical(BITMAPINFOHEADER* header) {
    header->biHeight = -header->biHeight;
    return 1;
}

int MirrorHorizontal(BITMAPINFOHEADER*& header, BYTE*& pixels, ProgressProc progress, intptr_t userData) {
    if (header->biBitCount < 8 || header->biBitCount % 8 != 0 || header->biBitCount > 32) return 0;
    const int bytesPerPixel = header->biBitCount / 8;
    const int width = header->biWidth;
    const int rows = DibRows(*header);
    const size_t stride = size_t(DibStride(header->biBitCount, width));
    if (width <= 0) return 0;
    if (WantsStop(progress, 0, rows, userData)) return 0;
    for (int row = 0; row < rows; ++row) {
        if (WantsStop(progress, row, rows, userData)) {
            // Mirroring is its own inverse: undoing the rows done leaves the
            // picture as it was.
            for (int done = 0; done < row; ++done)
                MirrorRow(pixels + size_t(done) * stride, width, bytesPerPixel);
            return 0;
        }
        MirrorRow(pixels + size_t(row) * stride, width, bytesPerPixel);
    }
    WantsStop(progress, rows, rows, userData);
    return 1;
}

int RotateRight90(BITMAPINFOHEADER*& header, BYTE*& pixels, ProgressProc progress, intptr_t userData) {
    return Rotate(header, pixels, true, progress, userData);
}

int RotateRight270(BITMAPINFOHEADER*& header, BYTE*& pixels, ProgressProc progress, intptr_t userData) {
    return Rotate(header, pixels, false, progress, userData);
}

int RotateRight90Mirror(BITMAPINFOHEADER*& header, BYTE*& pixels, ProgressProc progress, intptr_t userData) {
    return RotateRight270(header, pixels, progress, userData) && FlipVertical(header);
}

int RotateRight270Mirror(BITMAPINFOHEADER*& header, BYTE*& pixels, ProgressProc progress, intptr_t userData) {
    return RotateRight90(header, pixels, progress, userData) && FlipVertical(header);
}

int ApplyOrientation(HDC dc, BITMAPINFOHEADER*& header, BYTE*& pixels, int orientation) {
    if (orientation < 1 || orientation >= kOrientationCount) return 1;
    // The rotations work on 16 and 24 bits only.
    if (!ConvertDibTo24(dc, header, pixels)) return 0;
    return OrientDib(header, pixels, orientation);
}

int OrientDib(BITMAPINFOHEADER*& header, BYTE*& pixels, int orientation) {
    switch (orientation) {
        case 1:
            return RotateRight90(header, pixels);
        case 2:
            // Mirror first: should it fail, nothing has changed yet.
            return MirrorHorizontal(header, pixels) && FlipVertical(header);
        case 3:
            return RotateRight270(header, pixels);
        case 4:
            return RotateRight90Mirror(header, pixels);
        case 5:
            return MirrorHorizontal(header, pixels);
        case 6:
            return RotateRight270Mirror(header, pixels);
        case 7:
            return FlipVertical(header);
    }
    return 1;
}

int CopyDib(BITMAPINFOHEADER*& outHeader, BYTE*& outPixels, const BITMAPINFOHEADER* header,
            const BYTE* pixels) {
    if (!IsUsableDibHeader(*header)) return 0;
    // The whole header block comes along, colour table included: without it
    // an 8-bit copy would send the graphics layer reading past its header
    // block, and a longer header version keeps its table behind its own end.
    size_t headerBytes = DibHeaderBytes(*header);
    HLOCAL sourceBlock = LocalHandle(header);
    const size_t available = sourceBlock ? LocalSize(sourceBlock) : headerBytes;
    if (available > headerBytes) headerBytes = available;
    auto* newHeader = static_cast<BITMAPINFOHEADER*>(AllocLockedBlock(headerBytes));
    if (!newHeader) return 0;
    const size_t pixelBytes = size_t(DibPixelBytes(*header));
    auto* newPixels = static_cast<BYTE*>(AllocLockedBlock(pixelBytes));
    if (!newPixels) {
        FreeLockedBlock(newHeader);
        return 0;
    }
    std::memcpy(newHeader, header, available);
    std::memcpy(newPixels, pixels, pixelBytes);
    outHeader = newHeader;
    outPixels = newPixels;
    return 1;
}

int ConvertDibTo24(HDC dc, BITMAPINFOHEADER*& header, BYTE*& pixels) {
    if (header->biBitCount == 24) return 1;
    if (!IsUsableDibHeader(*header)) return 0;
    BITMAPINFOHEADER fields = Dib24Header(header->biWidth, DibRows(*header));
    const uint64_t pixelBytes = fields.biSizeImage;
    if (pixelBytes == 0) return 0;

    auto* newHeader = static_cast<BITMAPINFOHEADER*>(AllocLockedBlock(sizeof fields));
    auto* newPixels = static_cast<BYTE*>(AllocLockedBlock(size_t(pixelBytes)));
    HDC memoryDc = CreateCompatibleDC(dc);
    void* sectionBits = nullptr;
    HBITMAP section = memoryDc ? CreateDIBSection(memoryDc, reinterpret_cast<BITMAPINFO*>(&fields),
                                                  DIB_RGB_COLORS, &sectionBits, nullptr, 0)
                               : nullptr;
    // The graphics layer converts every depth, colour table and bit-field
    // layout the same way it would draw them.
    const bool converted =
        newHeader && newPixels && section && sectionBits &&
        SetDIBits(memoryDc, section, 0, UINT(fields.biHeight), pixels, reinterpret_cast<BITMAPINFO*>(header),
                  DIB_RGB_COLORS) == fields.biHeight;
    if (converted) {
        GdiFlush();
        std::memcpy(newPixels, sectionBits, size_t(pixelBytes));
        std::memcpy(newHeader, &fields, sizeof fields);
    }
    if (section) DeleteObject(section);
    if (memoryDc) DeleteDC(memoryDc);
    if (!converted) {
        FreeLockedBlock(newHeader);
        FreeLockedBlock(newPixels);
        return 0;
    }
    FreeLockedBlock(header);
    FreeLockedBlock(pixels);
    header = newHeader;
    pixels = newPixels;
    return 1;
}

void OrientPixelRows(const BYTE* source, int width, int height, size_t stride, bool sourceBottomUp,
                     int bytesPerPixel, int orientation, BYTE* target, size_t targetStride) {
    const bool swaps = OrientationSwapsSides(orientation);
    const int targetWidth = swaps ? height : width;
    const int targetHeight = swaps ? width : height;
    for (int y = 0; y < targetHeight; ++y) {
        BYTE* out = target + size_t(y) * targetStride;
        for (int x = 0; x < targetWidth; ++x, out += bytesPerPixel) {
            // The source pixel, in display coordinates, that lands on (x, y).
            int sx = x, sy = y;
            switch (orientation) {
                case 1:
                    sx = y, sy = height - 1 - x;
                    break;
                case 2:
                    sx = width - 1 - x, sy = height - 1 - y;
                    break;
                case 3:
                    sx = width - 1 - y, sy = x;
                    break;
                case 4:
                    sx = y, sy = x;
                    break;
                case 5:
                    sx = width - 1 - x;
                    break;
                case 6:
                    sx = width - 1 - y, sy = height - 1 - x;
                    break;
                case 7:
                    sy = height - 1 - y;
                    break;
            }
            const int row = sourceBottomUp ? height - 1 - sy : sy;
            std::memcpy(out, source + size_t(row) * stride + size_t(sx) * bytesPerPixel, bytesPerPixel);
        }
    }
}

int OrientDibKeepingDepth(BITMAPINFOHEADER*& header, BYTE*& pixels, int turn) {
    const int bits = header->biBitCount;
    if (bits != 8 && bits != 24 && bits != 32) return 0;
    const int width = header->biWidth, height = DibRows(*header);
    const bool swaps = OrientationSwapsSides(turn);
    const int turnedWidth = swaps ? height : width, turnedHeight = swaps ? width : height;
    const uint64_t stride = DibStride(bits, turnedWidth);
    if (stride * uint64_t(turnedHeight) > kMaxDibPixelBytes) return 0;
    auto* turned = static_cast<BYTE*>(AllocLockedBlock(size_t(stride * uint64_t(turnedHeight))));
    if (!turned) return 0;
    OrientPixelRows(pixels, width, height, size_t(DibStride(bits, width)), header->biHeight > 0, bits / 8,
                    turn, turned, size_t(stride));
    FreeLockedBlock(pixels);
    pixels = turned;
    header->biWidth = turnedWidth;
    header->biHeight = -turnedHeight;
    header->biSizeImage = 0;
    return 1;
}
