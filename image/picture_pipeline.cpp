#include "image/picture_pipeline.h"

#include "image/bmp_reader.h"
#include "image/jpeg_decoder.h"
#include "image/picture_loader.h"
#include "image/picture_name.h"

namespace {
DisplayOptions options;
}  // namespace

DisplayOptions& PictureDisplayOptions() {
    return options;
}

void ResetPictureDisplayOptions() {
    options = DisplayOptions{};
}

int LoadDisplayPicture(const char* path, ProgressProc progress, intptr_t userData, HLOCAL* header,
                       HLOCAL* pixels) {
    return LoadPicture(path, progress, userData, header, pixels);
}

int LoadDisplayPreview(const char* path, ProgressProc progress, intptr_t userData, int targetSize,
                       HLOCAL* header, HLOCAL* pixels) {
    return LoadPreview(path, progress, userData, header, pixels, targetSize);
}

bool IsUnreportedPictureName(const char* path) {
    // The dispatch gives these extensions to its JPEG reader before any
    // plug-in, so the worker's reader is the one a fresh load would use.
    const char* extension = LoaderExtensionOf(path);
    return extension && (SameExtension(extension, "jpg") || SameExtension(extension, "jpeg") ||
                         SameExtension(extension, "pmp") || SameExtension(extension, "bmp"));
}

int LoadDisplayPictureUnreported(const char* path, uint64_t maxBytes, HLOCAL* header, HLOCAL* pixels) {
    if (!IsUnreportedPictureName(path)) return 0;
    if (SameExtension(LoaderExtensionOf(path), "bmp"))
        return ReadBmpFileUnreported(path, maxBytes, header, pixels);
    return LoadJpegUnreported(path, SameExtension(LoaderExtensionOf(path), "pmp"), maxBytes, header, pixels);
}
