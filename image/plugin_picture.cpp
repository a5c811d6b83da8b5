#include "image/plugin_picture.h"

#include <cstring>

#include "browse/scoped_handles.h"
#include "image/dib_image.h"
#include "image/plugin_meta.h"
#include "image/plugin_picture_core.h"

bool TakeOverPluginPicture(const uint8_t* headerBytes, size_t headerSize, const uint8_t* pixelBytes,
                           size_t pixelSize, HLOCAL* header, HLOCAL* pixels, HLOCAL ready, size_t readyBytes,
                           PictureMeta* meta) {
    DibBlock readyBlock(ready);
    *header = nullptr;
    *pixels = nullptr;
    PluginPictureLayout layout;
    if (!pixelBytes || !CheckPluginPicture(headerBytes, headerSize, pixelSize, &layout)) return false;
    const DibInfo& info = layout.info;
    const uint64_t rowBytes = layout.pixelBytes;
    DibBlock newHeader(AllocDibBlock(DibHeaderBytes(info)));
    DibBlock newPixels(readyBlock.Get() && readyBytes == rowBytes ? readyBlock.Release()
                                                                  : AllocDibBlock(size_t(rowBytes)));
    if (!newHeader.Get() || !newPixels.Get()) return false;
    {
        LockedBlock<uint8_t> out(newHeader.Get());
        if (!out) return false;
        std::memcpy(out.get(), &info, sizeof info);
        // Entries beyond a short table stay zero: readers index the full one.
        std::memcpy(out.get() + sizeof info, headerBytes + layout.tableOffset, layout.tableBytes);
    }
    {
        LockedBlock<uint8_t> out(newPixels.Get());
        if (!out) return false;
        CopyPictureBytes(out.get(), pixelBytes, size_t(rowBytes));
    }
    if (meta) {
        // Published plug-ins hand over straight alpha; the header may say otherwise.
        meta->alphaMeaningful = info.biBitCount == 32 && info.biCompression == BI_RGB;
        ReadPluginHeaderMeta(headerBytes, headerSize, meta);
    }
    *header = newHeader.Release();
    *pixels = newPixels.Release();
    return true;
}

bool PluginPictureTooLarge(const uint8_t* headerBytes, size_t headerSize) {
    if (!headerBytes || headerSize < sizeof(BITMAPINFOHEADER)) return false;
    BITMAPINFOHEADER info;
    std::memcpy(&info, headerBytes, sizeof info);
    return info.biWidth > 0 && info.biHeight != 0 && IsDibBitCount(info.biBitCount) &&
           DibPixelBytes(info) > kMaxDibPixelBytes;
}
