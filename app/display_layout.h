// Where the picture goes in the client area: pure arithmetic, so that tests
// check it without a window. Divisions are signed integer divisions and the
// centring halves with an arithmetic shift, as the drawing code does.
#pragma once

#include <windows.h>

struct DrawRect {
    int x = 0;
    int y = 0;
    int width = 0;  // negative: drawn mirrored left to right
    int height = 0;
};

// Fit display: the picture scaled to the client; with the spin on, the width
// follows sin(phase * 0.1).
DrawRect FitDrawRect(SIZE picture, SIZE client, bool spin, int animPhase);

// True-size display without overflow and with the spin on: the width
// follows sin(phase / rotation); the picture stays at its own height.
DrawRect TrueSizeSpinRect(SIZE picture, SIZE client, int animPhase, int rotationParam);

// Offset that centres a true-size picture smaller than the client (0 where
// it is not smaller).
POINT TrueSizeOrigin(SIZE picture, SIZE client);

// The columns left and right of a spinning picture that still hold the
// previous, wider frame: [0, left) and [right, clientWidth).
struct SideBands {
    int left;
    int right;
};
SideBands SpinSideBands(const DrawRect& drawn);

// A scroll position moved by delta and kept inside [0, picture - client].
int ClampScroll(int position, int delta, int pictureLength, int clientLength);
