#include "image/picture_pipeline.h"

#include <vector>

#include "image/bmp_reader.h"
#include "image/dib_image.h"
#include "image/exif_reader.h"
#include "image/jpeg_decoder.h"
#include "image/picture_loader.h"
#include "image/picture_name.h"
#include "image/transforms.h"

namespace {
DisplayOptions options;

// Step 4. A 32-bit picture whose layout is the plain one (bit fields of the
// usual masks included, with the fourth byte as alpha) leaves as plain
// premultiplied coverage; its depth says it has some.
void KeepCoverage(const PictureMeta& meta, LockedDib& dib) {
    BITMAPINFOHEADER& header = *dib.header;
    if (header.biBitCount != 32) return;
    if (header.biCompression == BI_BITFIELDS) {
        const auto* masks = reinterpret_cast<const DWORD*>(&header + 1);
        if (masks[0] != 0xFF0000 || masks[1] != 0xFF00 || masks[2] != 0xFF) return;
        header.biCompression = BI_RGB;
    }
    if (header.biCompression != BI_RGB) return;
    MakeCoverage(dib.pixels, size_t(header.biWidth) * size_t(DibRows(header)), meta.alphaMeaningful,
                 meta.alphaPremultiplied);
}

// Coverage rows of a picture and a fresh 24-bit picture of width x height.
bool ComposeInto(const Background& background, BITMAPINFOHEADER*& header, BYTE*& pixels, int width,
                 int height) {
    const int sourceWidth = header->biWidth, sourceHeight = DibRows(*header);
    std::vector<BYTE> scaled;
    PixelRows24 source{pixels, sourceWidth, sourceHeight, size_t(DibStride(32, sourceWidth)),
                       header->biHeight < 0};
    if (width != sourceWidth || height != sourceHeight) {
        scaled.resize(size_t(DibStride(32, width)) * size_t(height));
        const PixelRows24 target{scaled.data(), width, height, size_t(DibStride(32, width)), true};
        ResampleArea32(source, target);
        source = target;
    }
    BITMAPINFOHEADER fields = Dib24Header(width, height);
    if (fields.biSizeImage == 0) return false;
    auto* newHeader = static_cast<BITMAPINFOHEADER*>(AllocLockedBlock(sizeof fields));
    auto* newPixels = static_cast<BYTE*>(AllocLockedBlock(fields.biSizeImage));
    if (!newHeader || !newPixels) {
        FreeLockedBlock(newHeader);
        FreeLockedBlock(newPixels);
        return false;
    }
    *newHeader = fields;
    CompositeOver(source, PixelRows24{newPixels, width, height, size_t(DibStride(24, width)), false}, 0, 0,
                  background);
    FreeLockedBlock(header);
    FreeLockedBlock(pixels);
    header = newHeader;
    pixels = newPixels;
    return true;
}

void TurnUpright(const PictureMeta& meta, LockedDib& dib) {
    const int turn = OrientationForExif(meta.exifOrientation);
    if (turn == 0) return;
    // A picture that cannot be turned (no memory) is shown as stored.
    if (!OrientDibKeepingDepth(dib.header, dib.pixels, turn))
        ApplyOrientation(nullptr, dib.header, dib.pixels, turn);
}
}  // namespace

DisplayOptions& PictureDisplayOptions() {
    return options;
}

uint32_t DisplayOptionsFingerprint(const DisplayOptions& chosen) {
    // FNV-1a over each option's value in turn.
    uint32_t hash = 2166136261u;
    auto mix = [&hash](uint32_t value) {
        for (int i = 0; i < 4; ++i) hash = (hash ^ uint8_t(value >> 8 * i)) * 16777619u;
    };
    mix(chosen.uprightByExif);
    mix(chosen.manageColours);
    mix(chosen.keepTransparency);
    mix(chosen.background.checkerboard);
    mix(chosen.background.colour);
    if (chosen.displayProfile)
        for (uint8_t byte : *chosen.displayProfile) mix(byte);
    return hash;
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
    if (chosen.manageColours) {
        HLOCAL block = LocalHandle(dib.header);
        ManageColours(meta.iccProfile, chosen.displayProfile, dib.header, block ? LocalSize(block) : 0,
                      dib.pixels);
    }
    if (chosen.keepTransparency) KeepCoverage(meta, dib);
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

// The device bitmap of a prepared picture, over the chosen background.
HBITMAP ComposedBitmap(HWND window, HLOCAL header, HLOCAL pixels) {
    LockedDib dib(header, pixels);
    if (!dib) return nullptr;
    CompositeForDisplay(options, options.background, dib.header, dib.pixels);
    dib.Release(&header, &pixels);
    return MakePictureBitmap(window, header, pixels);
}

HBITMAP LoadDisplayPreviewBitmap(HWND window, const char* path, int targetSize) {
    HLOCAL header, pixels;
    PictureMeta meta;
    if (!LoadPreviewWithMeta(path, nullptr, 0, &header, &pixels, targetSize, &meta, true)) return nullptr;
    PrepareForDisplay(options, meta, &header, &pixels);
    return header ? ComposedBitmap(window, header, pixels) : nullptr;
}

HBITMAP LoadDisplayPictureBitmap(HWND window, const char* path) {
    HLOCAL header, pixels;
    if (!LoadDisplayPicture(path, nullptr, 0, &header, &pixels)) return nullptr;
    return ComposedBitmap(window, header, pixels);
}

int SaveDisplayPictureAsBmp(const char* source, const char* destination) {
    HLOCAL header, pixels;
    if (!LoadDisplayPicture(source, nullptr, 0, &header, &pixels)) return 0;
    LockedDib dib(header, pixels);
    if (!dib) return 0;
    // A wallpaper has nothing behind it: its clear parts take the colour.
    Background colour = options.background;
    colour.checkerboard = false;
    if (!CompositeForDisplay(options, colour, dib.header, dib.pixels)) return 0;
    return WriteDibAsBmp(destination, dib.header, dib.pixels);
}

bool HasCoverage(const DisplayOptions& chosen, const BITMAPINFOHEADER& header) {
    return chosen.keepTransparency && header.biBitCount == 32 && header.biCompression == BI_RGB;
}

int ScaleForDisplay(const DisplayOptions& chosen, BITMAPINFOHEADER*& header, BYTE*& pixels, int width,
                    int height) {
    if (!HasCoverage(chosen, *header)) return StretchDib(nullptr, header, pixels, width, height);
    if (width < 1 || height < 1) return 0;
    return ComposeInto(chosen.background, header, pixels, width, height) ? 1 : 0;
}

int CompositeForDisplay(const DisplayOptions& chosen, const Background& background, BITMAPINFOHEADER*& header,
                        BYTE*& pixels) {
    if (!HasCoverage(chosen, *header)) return 1;
    return ComposeInto(background, header, pixels, header->biWidth, DibRows(*header)) ? 1 : 0;
}

bool IsUnreportedPictureName(const char* path) {
    // The dispatch gives these extensions to its JPEG reader before any
    // plug-in, so the worker's reader is the one a fresh load would use.
    const char* extension = LoaderExtensionOf(path);
    return extension && (SameExtension(extension, "jpg") || SameExtension(extension, "jpeg") ||
                         SameExtension(extension, "pmp") || SameExtension(extension, "bmp"));
}

int LoadDisplayPictureUnreported(const char* path, const DisplayOptions& chosen, uint64_t maxBytes,
                                 HLOCAL* header, HLOCAL* pixels, const std::atomic<bool>* abandon) {
    if (!IsUnreportedPictureName(path)) return 0;
    PictureMeta meta;
    const bool read = SameExtension(LoaderExtensionOf(path), "bmp")
                          ? ReadBmpFileUnreported(path, maxBytes, header, pixels)
                          : LoadJpegUnreported(path, SameExtension(LoaderExtensionOf(path), "pmp"), maxBytes,
                                               header, pixels, &meta, abandon);
    if (!read) return 0;
    // The BMP reader's 32-bit pictures carry straight alpha, as in the dispatch.
    if (SameExtension(LoaderExtensionOf(path), "bmp")) meta.alphaMeaningful = true;
    PrepareForDisplay(chosen, meta, header, pixels);
    if (!*header) return 0;
    // A picture with coverage is drawn over the background by the viewer's
    // own path: it is loaded there, not read ahead.
    const auto* fields = static_cast<const BITMAPINFOHEADER*>(LocalLock(*header));
    const bool coverage = fields && HasCoverage(chosen, *fields);
    if (fields) LocalUnlock(*header);
    if (!coverage) return 1;
    FreeDibBlock(*header);
    FreeDibBlock(*pixels);
    *header = *pixels = nullptr;
    return 0;
}
