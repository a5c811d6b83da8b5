#include "image/picture_alpha.h"

namespace {
const BYTE* Row(const PixelRows24& rows, int y) {
    return rows.pixels + size_t(rows.topDown ? y : rows.height - 1 - y) * rows.stride;
}
}  // namespace

bool MakeCoverage(BYTE* pixels, size_t count, bool meaningful, bool premultiplied) {
    bool anyAlpha = false, clear = false;
    for (size_t i = 0; i < count && meaningful && !anyAlpha; ++i) anyAlpha = pixels[4 * i + 3] != 0;
    for (size_t i = 0; i < count; ++i) {
        BYTE* pixel = pixels + 4 * i;
        if (!anyAlpha) {
            pixel[3] = 255;
            continue;
        }
        const unsigned alpha = pixel[3];
        clear = clear || alpha != 255;
        for (int c = 0; c < 3; ++c) {
            if (!premultiplied) pixel[c] = BYTE((pixel[c] * alpha + 127) / 255);
            if (pixel[c] > alpha) pixel[c] = BYTE(alpha);
        }
    }
    return clear;
}

void BackgroundAt(const Background& background, int x, int y, BYTE* bgr) {
    if (!background.checkerboard) {
        bgr[0] = GetBValue(background.colour), bgr[1] = GetGValue(background.colour);
        bgr[2] = GetRValue(background.colour);
        return;
    }
    // Cells counted from the origin also for negative positions.
    const int cell = ((x >= 0 ? x : x - kCheckerCell + 1) / kCheckerCell +
                      (y >= 0 ? y : y - kCheckerCell + 1) / kCheckerCell);
    bgr[0] = bgr[1] = bgr[2] = (cell & 1) ? kCheckerDark : kCheckerLight;
}

void CompositeOver(const PixelRows24& source32, const PixelRows24& target24, int originX, int originY,
                   const Background& background) {
    for (int y = 0; y < target24.height; ++y) {
        const BYTE* in = Row(source32, y);
        BYTE* out = const_cast<BYTE*>(Row(target24, y));
        for (int x = 0; x < target24.width; ++x, in += 4, out += 3) {
            BYTE under[3];
            BackgroundAt(background, originX + x, originY + y, under);
            const unsigned rest = 255 - in[3];
            for (int c = 0; c < 3; ++c) {
                const unsigned value = in[c] + (under[c] * rest + 127) / 255;
                out[c] = BYTE(value < 255 ? value : 255);
            }
        }
    }
}
