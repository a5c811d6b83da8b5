#include "image/plugin_picture.h"

#include <cstring>

#include "browse/scoped_handles.h"
#include "image/dib_image.h"
#include "image/plugin_meta.h"

namespace {

constexpr size_t kInfoHeaderSize = sizeof(BITMAPINFOHEADER);
constexpr size_t kMaskBytes = 3 * sizeof(DWORD);

// Where the colour table (or the masks) lies in the plug-in's header block
// and how many bytes of it the graphics layer would read there. GDI reads
// the table right after biSize bytes; the masks of a bit-field picture lie
// inside a header of 52 bytes or more, and after a 40-byte one.
bool LocateTable(const BITMAPINFOHEADER& info, size_t* offset, size_t* bytes) {
    if (info.biBitCount <= 8) {
        const DWORD full = DWORD(DibColorTableEntries(info));
        if (info.biClrUsed > full) return false;
        *offset = info.biSize;
        *bytes = size_t(info.biClrUsed ? info.biClrUsed : full) * sizeof(RGBQUAD);
    } else if (info.biCompression == BI_BITFIELDS) {
        *offset = info.biSize >= kInfoHeaderSize + kMaskBytes ? kInfoHeaderSize : info.biSize;
        *bytes = kMaskBytes;
    } else {
        *offset = info.biSize;
        *bytes = 0;
    }
    return true;
}

}  // namespace

bool TakeOverPluginPicture(const uint8_t* headerBytes, size_t headerSize, const uint8_t* pixelBytes,
                           size_t pixelSize, HLOCAL* header, HLOCAL* pixels, HLOCAL ready, size_t readyBytes,
                           PictureMeta* meta) {
    DibBlock readyBlock(ready);
    *header = nullptr;
    *pixels = nullptr;
    if (!headerBytes || !pixelBytes || headerSize < kInfoHeaderSize) return false;
    BITMAPINFOHEADER info;
    std::memcpy(&info, headerBytes, sizeof info);
    if (info.biSize < kInfoHeaderSize || info.biSize > headerSize || !IsUsableDibHeader(info)) return false;
    size_t tableOffset = 0, tableBytes = 0;
    if (!LocateTable(info, &tableOffset, &tableBytes) || tableBytes > headerSize - tableOffset) return false;
    const uint64_t rowBytes = DibPixelBytes(info);
    if (rowBytes > pixelSize) return false;

    info.biSize = kInfoHeaderSize;
    if (info.biBitCount > 8) info.biClrUsed = 0;  // no table follows a deep picture's header
    DibBlock newHeader(AllocDibBlock(DibHeaderBytes(info)));
    DibBlock newPixels(readyBlock.Get() && readyBytes == rowBytes ? readyBlock.Release()
                                                                   : AllocDibBlock(size_t(rowBytes)));
    if (!newHeader.Get() || !newPixels.Get()) return false;
    {
        LockedBlock<uint8_t> out(newHeader.Get());
        if (!out) return false;
        std::memcpy(out.get(), &info, sizeof info);
        // Entries beyond a short table stay zero: readers index the full one.
        std::memcpy(out.get() + sizeof info, headerBytes + tableOffset, tableBytes);
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
    if (!headerBytes || headerSize < kInfoHeaderSize) return false;
    BITMAPINFOHEADER info;
    std::memcpy(&info, headerBytes, sizeof info);
    return info.biWidth > 0 && info.biHeight != 0 && IsDibBitCount(info.biBitCount) &&
           DibPixelBytes(info) > kMaxDibPixelBytes;
}
