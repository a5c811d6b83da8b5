#include "album/album_thumbnail.h"

#include <cstring>
#include <string>

#include "album/album_memory.h"
#include "browse/file_utils.h"
#include "browse/scoped_handles.h"
#include "image/dib_image.h"
#include "image/picture_loader.h"
#include "image/picture_pipeline.h"
#include "image/thumbnail_cache.h"
#include "image/thumbnail_image.h"
#include "image/thumbnail_prefetch.h"
#include "image/transforms.h"

namespace {

constexpr int kTitleSize = 260;

// The slot's fields are pointer-sized words of the record block (they are
// runtime-only and never reach a file).
BlockWord SlotWord(const void* address) {
    return reinterpret_cast<BlockWord>(address);
}
template <typename T>
T* SlotPointer(BlockWord word) {
    return reinterpret_cast<T*>(word);
}

bool IsAlbumFile(const char* path) {
    return lstrcmpiA(ExtensionOf(path), "zub") == 0;
}

// Size and last-write time of the file; a file that cannot be opened records
// zeros and no InfoMask bits, and the build goes on to the failure mark.
void RecordFileFacts(ZubAlbum& album, void* block, const char* path) {
    DWORD high = 0, low = 0;
    FILETIME written{0, 0};
    FileHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    const bool opened = file.valid();
    if (opened) {
        low = GetFileSize(file.get(), &high);
        if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) low = high = 0;
        GetFileTime(file.get(), nullptr, nullptr, &written);
    }
    album.FileSizeHigh->SetInt(block, int(high));
    album.FileSizeLow->SetInt(block, int(low));
    album.WriteTimeHigh->SetInt(block, int(written.dwHighDateTime));
    album.WriteTimeLow->SetInt(block, int(written.dwLowDateTime));
    if (opened)
        album.InfoMask->SetInt(block,
                               album.InfoMask->GetInt(block, nullptr) | kInfoFileSize | kInfoWriteTime);
}

// Copies a 24-bit bottom-up picture into two album blocks and puts them in
// the slot; false, with the slot untouched, when memory runs out.
bool StoreThumbnail(ZubAlbum& album, void* block, int width, int height, const BYTE* pixels) {
    const BITMAPINFOHEADER fields = Dib24Header(width, height);
    const size_t bytes = fields.biSizeImage;
    auto* header = static_cast<BITMAPINFOHEADER*>(AllocAlbumBlock(sizeof fields));
    void* bits = AllocAlbumBlock(bytes);
    if (!header || !bits) {
        FreeAlbumBlock(header);
        FreeAlbumBlock(bits);
        return false;
    }
    *header = fields;
    std::memcpy(bits, pixels, bytes);
    album.ThumbHeader->SetHandle(block, SlotWord(header));
    album.ThumbBits->SetHandle(block, SlotWord(bits));
    return true;
}

// A decoded picture reduced to its thumbnail size and stored; false when
// the resampling or the store failed.
bool ShrinkAndStore(ZubAlbum& album, void* block, HLOCAL header, HLOCAL pixels, int size) {
    LockedDib picture(header, pixels);
    if (!picture) return false;
    const ThumbnailExtent extent =
        ThumbnailExtentFor(picture.header->biWidth, DibRows(*picture.header), size);
    // A picture with coverage is shrunk premultiplied and laid over the
    // background here, in the cell's own pixels.
    if (!ScaleForDisplay(PictureDisplayOptions(), picture.header, picture.pixels, extent.width,
                         extent.height))
        return false;
    return StoreThumbnail(album, block, extent.width, extent.height, picture.pixels);
}

// The picture of a page that names an album: that album's cover. Its title
// becomes the page's comment. The cover is loaded as a picture, never as an
// album, so an album that names itself (or another album) as its cover
// ends in the failure mark, not in a loop.
bool BuildAlbumPage(ZubAlbum& album, int page, void* block, const char* path, int size) {
    char cover[MAX_PATH] = "";
    char title[kTitleSize] = "";
    // An album that cannot be read (gone, damaged) tells nothing of its
    // title: the comment the page has, perhaps the user's own, stays.
    const bool peeked = PeekZubFile(path, cover, title, kTitleSize, nullptr) != 0;
    if (peeked || title[0]) album.SetPageComment(page, title);
    if (!cover[0]) return false;
    HLOCAL header, pixels;
    if (!LoadDisplayPreview(cover, nullptr, 0, 2 * size, &header, &pixels)) return false;
    return ShrinkAndStore(album, block, header, pixels, size);
}

void RecordPictureFacts(ZubAlbum& album, void* block, const char* path, int bitCount) {
    album.PictureBitCount->SetInt(block, bitCount);
    PictureInfo info{};
    if (ReadPictureInfo(path, &info)) {
        album.PictureWidth->SetInt(block, int(info.width));
        album.PictureHeight->SetInt(block, int(info.height));
        FreePictureInfo(&info);
    }
    album.InfoMask->SetInt(block, album.InfoMask->GetInt(block, nullptr) | kInfoPicture);
}

// The page's thumbnail and picture facts from the disk cache.
bool TakeFromCache(ZubAlbum& album, void* block, const ThumbnailCacheKey& key) {
    CachedThumbnail cached;
    if (!FindCachedThumbnail(key, &cached)) return false;
    album.PictureBitCount->SetInt(block, int(cached.bitCount));
    album.PictureWidth->SetInt(block, int(cached.pictureWidth));
    album.PictureHeight->SetInt(block, int(cached.pictureHeight));
    album.InfoMask->SetInt(block, album.InfoMask->GetInt(block, nullptr) | kInfoPicture);
    return StoreThumbnail(album, block, int(cached.width), int(cached.height), cached.pixels.data());
}

// Writes the page's freshly built thumbnail to the disk cache.
void KeepInCache(ZubAlbum& album, void* block, const ThumbnailCacheKey& key) {
    const auto* header = SlotPointer<const BITMAPINFOHEADER>(album.ThumbHeader->GetHandle(block, nullptr));
    const auto* bits = SlotPointer<const BYTE>(album.ThumbBits->GetHandle(block, nullptr));
    if (!header || !bits) return;
    CachedThumbnail thumbnail;
    thumbnail.width = uint32_t(header->biWidth);
    thumbnail.height = uint32_t(DibRows(*header));
    thumbnail.bitCount = uint32_t(album.PictureBitCount->GetInt(block, nullptr));
    thumbnail.pictureWidth = uint32_t(album.PictureWidth->GetInt(block, nullptr));
    thumbnail.pictureHeight = uint32_t(album.PictureHeight->GetInt(block, nullptr));
    thumbnail.pixels.assign(bits, bits + CachedThumbnailStride(thumbnail.width) * thumbnail.height);
    StoreCachedThumbnail(key, thumbnail);
}

bool BuildPictureFresh(ZubAlbum& album, int page, void* block, const char* path, int size,
                       ProgressProc progress, intptr_t userData, ThumbnailPrefetch* ahead) {
    PreparedThumbnail prepared;
    if (ahead && ahead->Take(page, path, &prepared)) {
        RecordPictureFacts(album, block, path, prepared.bitCount);
        return StoreThumbnail(album, block, prepared.width, prepared.height, prepared.pixels.data());
    }
    HLOCAL header, pixels;
    if (!LoadDisplayPreview(path, progress, userData, 2 * size, &header, &pixels)) return false;
    const auto* fields = static_cast<const BITMAPINFOHEADER*>(LocalLock(header));
    const int bitCount = fields ? fields->biBitCount : 0;
    if (fields) LocalUnlock(header);
    RecordPictureFacts(album, block, path, bitCount);
    return ShrinkAndStore(album, block, header, pixels, size);
}

// A picture page: from the disk cache when it holds the file as it is now,
// else built and then kept there.
bool BuildPicturePage(ZubAlbum& album, int page, void* block, const char* path, int size,
                      ProgressProc progress, intptr_t userData, ThumbnailPrefetch* ahead) {
    RecordFileFacts(album, block, path);
    ThumbnailCacheKey key;
    const bool keyed = ThumbnailCacheKeyFor(path, uint32_t(size), &key);
    if (keyed && TakeFromCache(album, block, key)) return true;
    if (!BuildPictureFresh(album, page, block, path, size, progress, userData, ahead)) return false;
    if (keyed) KeepInCache(album, block, key);
    return true;
}

}  // namespace

int ThumbnailSizeOf(const ZubAlbum& album) {
    const uint32_t size = album.ThumbSizeParam;
    return size < 1 ? 1 : size > 1024 ? 1024 : int(size);
}

int BuildThumbnail(ZubAlbum* album, int page, ProgressProc progress, intptr_t userData,
                   ThumbnailPrefetch* ahead) {
    void* block = album ? album->PageBlock(page) : nullptr;
    if (!block) return 0;
    if (album->ThumbHeader->GetHandle(block, nullptr)) album->ThumbHeader->Release(block);
    const int size = ThumbnailSizeOf(*album);
    const std::string path = album->GetPagePath(page);
    const bool made = IsAlbumFile(path.c_str()) ? BuildAlbumPage(*album, page, block, path.c_str(), size)
                                                : BuildPicturePage(*album, page, block, path.c_str(), size,
                                                                   progress, userData, ahead);
    if (!made) {
        album->ThumbHeader->SetHandle(block, kThumbnailFailed);
        album->ThumbBits->SetHandle(block, 0);
    }
    return 1;
}

void PaintThumbnail(ZubAlbum* album, HWND window, int page, int x, int y) {
    void* block = album ? album->PageBlock(page) : nullptr;
    if (!block) return;
    const BlockWord header = album->ThumbHeader->GetHandle(block, nullptr);
    if (header == 0) return;
    const int size = ThumbnailSizeOf(*album);
    WindowDC dc(window);
    if (header == kThumbnailFailed) {
        PaintThumbnailFailure(dc, x, y, size);
        return;
    }
    const BlockWord bits = album->ThumbBits->GetHandle(block, nullptr);
    if (!bits) return;
    PaintThumbnailPicture(dc, SlotPointer<BITMAPINFOHEADER>(header), SlotPointer<BYTE>(bits),
                          album->GetPageOrientation(page), x, y, size);
}
