// The reader dispatch: the extension chooses JPEG, pmp or BMP first, then
// every plug-in is asked.
#include "image/picture_loader.h"

#include "browse/file_utils.h"
#include "image/bmp_reader.h"
#include "image/dib_image.h"
#include "image/jpeg_decoder.h"
#include "image/picture_name.h"
#include "image/plugin_host.h"

namespace {

enum class LoadKind { Full, Preview, PreviewBitmap };

// 0 when the file opens and has a size, else the code to record.
int CheckFileReadable(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return kLoadCannotOpen;
    LARGE_INTEGER size;
    const BOOL sized = GetFileSizeEx(file, &size);
    CloseHandle(file);
    return sized ? kLoadOk : kLoadNoSize;
}

int Dispatch(const char* path, ProgressProc progress, intptr_t userData, HLOCAL* header, HLOCAL* pixels,
             LoadKind kind, int targetSize, PictureMeta* meta = nullptr) {
    if (meta) *meta = PictureMeta{};
    *header = nullptr;
    *pixels = nullptr;
    LastLoadError = kLoadOk;
    if (const int code = CheckFileReadable(path)) {
        LastLoadError = code;
        return 0;
    }
    const char* extension = LoaderExtensionOf(path);
    if (!extension) {
        LastLoadError = kLoadNoExtension;
        return 0;
    }
    const bool preview = kind != LoadKind::Full;
    if (targetSize < 1) targetSize = 1;

    if (SameExtension(extension, "jpg") || SameExtension(extension, "jpeg")) {
        if (preview ? LoadJpegScaled(path, progress, userData, 0, targetSize, header, pixels, meta)
                    : LoadJpeg(path, progress, userData, 1, 0, header, pixels, meta))
            return 1;
    }
    if (SameExtension(extension, "pmp")) {
        if (preview ? LoadPmpScaled(path, progress, userData, targetSize, header, pixels, meta)
                    : LoadPmp(path, progress, userData, header, pixels, meta))
            return 1;
    }
    // A stopped decode ends the load; the preview bitmap of the file box
    // also gives up on a JPEG that failed, rather than offer it elsewhere.
    if (kind == LoadKind::PreviewBitmap ? LastLoadError != kLoadOk : LastLoadError == kLoadStopped) return 0;

    // A BMP is read by the own reader first, so that it never waits for the
    // plug-in helpers to start; the plug-ins still get the ones it refuses.
    const bool bmp = SameExtension(extension, "bmp");
    if (bmp && ReadBmpFile(path, header, pixels)) {
        // A 32-bit BMP's fourth byte is straight alpha (all zero: none).
        if (meta) meta->alphaMeaningful = true;
        return 1;
    }
    const int ownError = LastLoadError;
    if (preview ? PluginLoadPreview(path, progress, userData, header, pixels, meta)
                : PluginLoadPicture(path, progress, userData, header, pixels, meta))
        return 1;
    // A damaged BMP that no plug-in reads either keeps the BMP reader's
    // reason, and so does a picture the own reader refused for its size.
    if (bmp || ownError == kLoadOutOfMemory) LastLoadError = ownError;
    *header = nullptr;
    *pixels = nullptr;
    if (LastLoadError == kLoadOk) LastLoadError = kLoadNotThisFormat;
    return 0;
}

}  // namespace

int LoadPicture(const char* path, ProgressProc progress, intptr_t userData, HLOCAL* header, HLOCAL* pixels) {
    return Dispatch(path, progress, userData, header, pixels, LoadKind::Full, 0);
}

int LoadPreview(const char* path, ProgressProc progress, intptr_t userData, HLOCAL* header, HLOCAL* pixels,
                int targetSize) {
    return Dispatch(path, progress, userData, header, pixels, LoadKind::Preview, targetSize);
}

int LoadPictureWithMeta(const char* path, ProgressProc progress, intptr_t userData, HLOCAL* header,
                        HLOCAL* pixels, PictureMeta* meta) {
    return Dispatch(path, progress, userData, header, pixels, LoadKind::Full, 0, meta);
}

int LoadPreviewWithMeta(const char* path, ProgressProc progress, intptr_t userData, HLOCAL* header,
                        HLOCAL* pixels, int targetSize, PictureMeta* meta, bool ownReaderFailureEnds) {
    return Dispatch(path, progress, userData, header, pixels,
                    ownReaderFailureEnds ? LoadKind::PreviewBitmap : LoadKind::Preview, targetSize, meta);
}

HBITMAP LoadPictureBitmap(HWND window, const char* path, ProgressProc progress, intptr_t userData) {
    HLOCAL header, pixels;
    if (!Dispatch(path, progress, userData, &header, &pixels, LoadKind::Full, 0)) return nullptr;
    return MakePictureBitmap(window, header, pixels);
}

HBITMAP LoadPreviewBitmap(HWND window, const char* path, ProgressProc progress, intptr_t userData,
                          int targetSize) {
    HLOCAL header, pixels;
    if (!Dispatch(path, progress, userData, &header, &pixels, LoadKind::PreviewBitmap, targetSize))
        return nullptr;
    return MakePictureBitmap(window, header, pixels);
}

int ReadPictureInfo(const char* path, PictureInfo* info) {
    if (CheckFileReadable(path) != kLoadOk) return 0;
    info->textHandle = nullptr;
    const char* extension = LoaderExtensionOf(path);
    if (!extension) return 0;
    if (SameExtension(extension, "jpg") || SameExtension(extension, "jpeg")) {
        if (ReadJpegInfo(path, 1, info, 0)) return 1;
    }
    if (SameExtension(extension, "pmp")) {
        uint32_t offset;
        if (ReadPmpOffset(path, &offset) && ReadJpegInfo(path, 1, info, offset)) return 1;
    }
    if (SameExtension(extension, "bmp") && ReadBmpInfo(path, info)) return 1;
    return PluginReadInfo(path, info);
}

int FreePictureInfo(PictureInfo* info) {
    if (info->textHandle) {
        LocalFree(info->textHandle);
        info->textHandle = nullptr;
    }
    return 1;
}

int IsPictureFile(const char* path) {
    if (CheckFileReadable(path) != kLoadOk) return 0;
    // The own formats first: they need no plug-in helper.
    if (IsOwnPictureExtension(LoaderExtensionOf(path))) return 1;
    return PluginSupportsFile(path);
}

int IsPictureName(const char* path) {
    const char* extension = ExtensionOf(path);
    if (IsOwnPictureExtension(extension)) return 1;
    return PluginMatchesExtension(extension);
}

int SavePictureAsBmp(const char* source, const char* destination) {
    HLOCAL header, pixels;
    if (!LoadPicture(source, nullptr, 0, &header, &pixels)) return 0;
    LockedDib dib(header, pixels);
    if (!dib) return 0;
    return WriteDibAsBmp(destination, dib.header, dib.pixels);
}
