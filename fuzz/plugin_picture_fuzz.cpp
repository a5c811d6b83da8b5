// The check every plug-in picture passes. The input is the plug-in's header
// block behind a 4-byte size of its pixel block; the new header block is then
// filled as TakeOverPluginPicture fills it, in a block of the size it
// allocates, and the rows must fit the plug-in's pixel block.
#include "fuzz/fuzz_support.h"
#include "image/plugin_picture_core.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    uint32_t pixelSize = 0;
    std::memcpy(&pixelSize, data, 4);
    pixelSize %= 1u << 20;
    const std::vector<uint8_t> given(data + 4, data + size);
    PluginPictureLayout layout;
    if (!CheckPluginPicture(given.data(), given.size(), pixelSize, &layout)) return 0;
    FUZZ_ASSERT(IsUsableDibHeader(layout.info));
    // The rows are copied out of the plug-in's pixel block.
    FUZZ_ASSERT(layout.pixelBytes <= pixelSize);
    std::vector<uint8_t> header(DibHeaderBytes(layout.info));
    FUZZ_ASSERT(layout.tableBytes <= header.size() - sizeof layout.info);
    std::memcpy(header.data() + sizeof layout.info, given.data() + layout.tableOffset, layout.tableBytes);
    return 0;
}

std::vector<Bytes> FuzzSeeds() {
    // A plug-in's answer: the pixel block's size, then a header block laid
    // out like a BMP file's info header, masks and table.
    auto answer = [](uint32_t pixelSize, uint32_t headerSize, int bits, uint32_t compression,
                     size_t entries) {
        const std::vector<uint32_t> masks = {0x7C00, 0x03E0, 0x001F};
        const Bytes file =
            BmpFile(headerSize, 3, -2, bits, compression, compression ? masks : std::vector<uint32_t>{},
                    std::vector<uint32_t>(entries, 0x00112233), {});
        return Cat({Words({pixelSize}), Bytes(file.begin() + 14, file.end())});
    };
    return {answer(24, 40, 24, kDibRgb, 0),       answer(8, 40, 8, kDibRgb, 256),
            answer(8, 52, 4, kDibRgb, 16),        answer(8, 40, 1, kDibRgb, 2),
            answer(16, 40, 16, kDibBitFields, 0), answer(24, 108, 32, kDibBitFields, 0),
            answer(24, 124, 32, kDibRgb, 0),      answer(8, 40, 8, kDibRgb, 16)};
}
