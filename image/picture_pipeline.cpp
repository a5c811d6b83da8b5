#include "image/picture_pipeline.h"

#include "image/picture_loader.h"

namespace {
DisplayOptions options;
}  // namespace

DisplayOptions& PictureDisplayOptions() { return options; }

void ResetPictureDisplayOptions() { options = DisplayOptions{}; }

int LoadDisplayPicture(const char* path, ProgressProc progress, intptr_t userData, HLOCAL* header,
                       HLOCAL* pixels) {
    return LoadPicture(path, progress, userData, header, pixels);
}

int LoadDisplayPreview(const char* path, ProgressProc progress, intptr_t userData, int targetSize,
                       HLOCAL* header, HLOCAL* pixels) {
    return LoadPreview(path, progress, userData, header, pixels, targetSize);
}
