#include "image/picture_pipeline.h"

#include "image/bmp_reader.h"
#include "image/dib_image.h"
#include "image/exif_reader.h"
#include "image/picture_loader.h"
#include "image/transforms.h"

namespace {
DisplayOptions options;

// Turns pictures of whole bytes a pixel (grey, colour, 32 bits) without
// changing their depth, so that the depth shown stays the file's and a
// fourth byte of coverage survives; false when it cannot.
bool TurnKeepingDepth(LockedDib& dib, int turn) {
    const int bits = dib.header->biBitCount;
    if (bits != 8 && bits != 24 && bits != 32) return false;
    const int width = dib.header->biWidth, height = DibRows(*dib.header);
    const bool swaps = OrientationSwapsSides(turn);
    const int turnedWidth = swaps ? height : width, turnedHeight = swaps ? width : height;
    const uint64_t stride = DibStride(bits, turnedWidth);
    if (stride * uint64_t(turnedHeight) > kMaxDibPixelBytes) return false;
    auto* turned = static_cast<BYTE*>(AllocLockedBlock(size_t(stride * uint64_t(turnedHeight))));
    if (!turned) return false;
    OrientPixelRows(dib.pixels, width, height, size_t(DibStride(bits, width)), dib.header->biHeight > 0, bits / 8,
                    turn, turned, size_t(stride));
    FreeLockedBlock(dib.pixels);
    dib.pixels = turned;
    dib.header->biWidth = turnedWidth;
    dib.header->biHeight = -turnedHeight;
    dib.header->biSizeImage = 0;
    return true;
}

void TurnUpright(const PictureMeta& meta, LockedDib& dib) {
    const int turn = OrientationForExif(meta.exifOrientation);
    if (turn == 0) return;
    // A picture that cannot be turned (no memory) is shown as stored.
    if (!TurnKeepingDepth(dib, turn)) ApplyOrientation(nullptr, dib.header, dib.pixels, turn);
}
}  // namespace

DisplayOptions& PictureDisplayOptions() {
    return options;
}

void ResetPictureDisplayOptions() {
    options = DisplayOptions{};
}

void PrepareForDisplay(const DisplayOptions& chosen, const PictureMeta& meta, HLOCAL* header,
                       HLOCAL* pixels) {
    LockedDib dib(*header, *pixels);
    if (!dib) {
        *header = *pixels = nullptr;
        return;
    }
    if (chosen.uprightByExif) TurnUpright(meta, dib);
    dib.Release(header, pixels);
}

int LoadDisplayPicture(const char* path, ProgressProc progress, intptr_t userData, HLOCAL* header,
                       HLOCAL* pixels) {
    PictureMeta meta;
    if (!LoadPictureWithMeta(path, progress, userData, header, pixels, &meta)) return 0;
    PrepareForDisplay(options, meta, header, pixels);
    if (*header) return 1;
    LastLoadError = kLoadOutOfMemory;
    return 0;
}

int LoadDisplayPreview(const char* path, ProgressProc progress, intptr_t userData, int targetSize,
                       HLOCAL* header, HLOCAL* pixels) {
    PictureMeta meta;
    if (!LoadPreviewWithMeta(path, progress, userData, header, pixels, targetSize, &meta)) return 0;
    PrepareForDisplay(options, meta, header, pixels);
    if (*header) return 1;
    LastLoadError = kLoadOutOfMemory;
    return 0;
}

HBITMAP LoadDisplayPreviewBitmap(HWND window, const char* path, int targetSize) {
    HLOCAL header, pixels;
    PictureMeta meta;
    if (!LoadPreviewWithMeta(path, nullptr, 0, &header, &pixels, targetSize, &meta, true)) return nullptr;
    PrepareForDisplay(options, meta, &header, &pixels);
    return header ? MakePictureBitmap(window, header, pixels) : nullptr;
}

HBITMAP LoadDisplayPictureBitmap(HWND window, const char* path) {
    HLOCAL header, pixels;
    if (!LoadDisplayPicture(path, nullptr, 0, &header, &pixels)) return nullptr;
    return MakePictureBitmap(window, header, pixels);
}

int SaveDisplayPictureAsBmp(const char* source, const char* destination) {
    HLOCAL header, pixels;
    if (!LoadDisplayPicture(source, nullptr, 0, &header, &pixels)) return 0;
    LockedDib dib(header, pixels);
    if (!dib) return 0;
    return WriteDibAsBmp(destination, dib.header, dib.pixels);
}
