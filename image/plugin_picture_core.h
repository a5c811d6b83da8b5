// The check every picture a plug-in hands back passes, over plain bytes: the
// header may be longer than 40 bytes (version 4 and 5 headers), the colour
// table may stop at biClrUsed entries, and the blocks may be smaller than the
// header claims. plugin_picture.cpp copies what this finds into new blocks.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/dib_layout.h"

struct PluginPictureLayout {
    // The header the copy gets: 40 bytes, no colour count at deep depths.
    DibInfo info{};
    // Where the colour table (or the masks) lies in the plug-in's header
    // block and how many bytes of it the graphics layer would read there.
    size_t tableOffset = 0;
    size_t tableBytes = 0;
    // Bytes of every row, which the pixel block holds.
    uint64_t pixelBytes = 0;
};

// False when the header block of headerSize bytes and a pixel block of
// pixelSize bytes do not make a picture the pipeline can hold.
bool CheckPluginPicture(const uint8_t* headerBytes, size_t headerSize, size_t pixelSize,
                        PluginPictureLayout* layout);
