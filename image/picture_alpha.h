// Transparency: the fourth byte of 32-bit pictures made premultiplied
// coverage, and pictures composited over the background the user chose.
// Pure: plain memory, no window.
#pragma once

#include <windows.h>

#include <cstddef>

#include "image/dib_resample.h"

// What shows through a picture's clear parts: 8 x 8 cells of two light
// greys, or one colour (COLORREF).
struct Background {
    bool checkerboard = true;
    COLORREF colour = RGB(255, 255, 255);
};
constexpr BYTE kCheckerLight = 238, kCheckerDark = 204;
constexpr int kCheckerCell = 8;

// Makes count pixels of 32 bits (blue, green, red, alpha) premultiplied
// coverage, in place. Without meaningful alpha, or when every alpha byte is
// 0 (pictures that never used the byte), the picture is opaque: alpha 255,
// colours untouched. Straight alpha is multiplied in; premultiplied colours
// above their alpha are cut to it. True when some pixel is not opaque.
bool MakeCoverage(BYTE* pixels, size_t count, bool meaningful, bool premultiplied);

// The grey or colour of background at screen pixel (x, y), as blue, green, red.
void BackgroundAt(const Background& background, int x, int y, BYTE* bgr);

// Composites premultiplied 32-bit rows over background into 24-bit rows of
// the same size; pixel (0, 0) lies at screen position (originX, originY),
// so the cells are screen pixels whatever the picture's scale.
void CompositeOver(const PixelRows24& source32, const PixelRows24& target24, int originX, int originY,
                   const Background& background);
