// Area-averaging resampling of 24-bit pixel rows: every result pixel is the
// mean of the source area it covers, partly covered source pixels weighted
// by the part covered. Pure: no window, no device context.
#pragma once

#include <windows.h>

#include <cstddef>

struct PixelRows24 {
    BYTE* pixels;
    int width;
    int height;
    size_t stride;
    bool topDown;  // stored top row first
};

// Resamples source into target (both 24 bits, any row order, any sizes of
// at least 1 x 1). Never fails; the caller owns both blocks.
void ResampleArea24(const PixelRows24& source, const PixelRows24& target);
// The same for rows of 4 bytes a pixel: premultiplied colours and their
// coverage are averaged alike, so a clear pixel adds nothing to an edge.
void ResampleArea32(const PixelRows24& source, const PixelRows24& target);
