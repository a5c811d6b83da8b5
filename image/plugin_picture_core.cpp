#include "image/plugin_picture_core.h"

#include <cstring>

namespace {

constexpr size_t kInfoHeaderSize = sizeof(DibInfo);
constexpr size_t kMaskBytes = 3 * sizeof(uint32_t);

// GDI reads the table right after biSize bytes; the masks of a bit-field
// picture lie inside a header of 52 bytes or more, and after a 40-byte one.
bool LocateTable(const DibInfo& info, size_t* offset, size_t* bytes) {
    if (info.biBitCount <= 8) {
        const uint32_t full = uint32_t(DibColorTableEntries(info));
        if (info.biClrUsed > full) return false;
        *offset = info.biSize;
        *bytes = size_t(info.biClrUsed ? info.biClrUsed : full) * 4;
    } else if (info.biCompression == kDibBitFields) {
        *offset = info.biSize >= kInfoHeaderSize + kMaskBytes ? kInfoHeaderSize : info.biSize;
        *bytes = kMaskBytes;
    } else {
        *offset = info.biSize;
        *bytes = 0;
    }
    return true;
}

}  // namespace

bool CheckPluginPicture(const uint8_t* headerBytes, size_t headerSize, size_t pixelSize,
                        PluginPictureLayout* layout) {
    if (!headerBytes || headerSize < kInfoHeaderSize) return false;
    DibInfo info;
    std::memcpy(&info, headerBytes, sizeof info);
    if (info.biSize < kInfoHeaderSize || info.biSize > headerSize || !IsUsableDibHeader(info)) return false;
    size_t tableOffset = 0, tableBytes = 0;
    if (!LocateTable(info, &tableOffset, &tableBytes) || tableBytes > headerSize - tableOffset) return false;
    const uint64_t rowBytes = DibPixelBytes(info);
    if (rowBytes > pixelSize) return false;

    info.biSize = kInfoHeaderSize;
    if (info.biBitCount > 8) info.biClrUsed = 0;  // no table follows a deep picture's header
    layout->info = info;
    layout->tableOffset = tableOffset;
    layout->tableBytes = tableBytes;
    layout->pixelBytes = rowBytes;
    return true;
}
