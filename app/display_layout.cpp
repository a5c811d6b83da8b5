#include "app/display_layout.h"

#include <cmath>

namespace {
int SpinWidth(double angle, int width) {
    return static_cast<int>(std::sin(angle) * width);
}
}  // namespace

DrawRect FitDrawRect(SIZE picture, SIZE client, bool spin, int animPhase) {
    DrawRect r;
    if (picture.cx <= 0 || picture.cy <= 0) return r;
    // Whole percentages decide which side limits; ties go to the height.
    const int h = client.cx * 100 / picture.cx;
    const int v = client.cy * 100 / picture.cy;
    if (h < v) {
        r.width = client.cx;
        r.height = picture.cy * client.cx / picture.cx;
    } else {
        r.height = client.cy;
        r.width = picture.cx * client.cy / picture.cy;
    }
    if (spin) r.width = SpinWidth(animPhase * 0.1, r.width);
    r.x = (client.cx - r.width) >> 1;
    r.y = (client.cy - r.height) >> 1;
    return r;
}

DrawRect TrueSizeSpinRect(SIZE picture, SIZE client, int animPhase, int rotationParam) {
    DrawRect r;
    const POINT origin = TrueSizeOrigin(picture, client);
    // A rotation parameter of 0 would divide by zero; the picture then
    // simply stands still at its full width.
    r.width = rotationParam == 0 ? picture.cx
                                 : SpinWidth(static_cast<double>(animPhase) / rotationParam, picture.cx);
    r.height = picture.cy;
    r.x = (client.cx - r.width) / 2;
    r.y = origin.y;
    return r;
}

POINT TrueSizeOrigin(SIZE picture, SIZE client) {
    POINT origin{0, 0};
    if (picture.cx < client.cx) origin.x = (client.cx - picture.cx) / 2;
    if (picture.cy < client.cy) origin.y = (client.cy - picture.cy) / 2;
    return origin;
}

SideBands SpinSideBands(const DrawRect& drawn) {
    if (drawn.width > 0) return SideBands{drawn.x, drawn.x + drawn.width};
    return SideBands{drawn.x + drawn.width, drawn.x};
}

int ClampScroll(int position, int delta, int pictureLength, int clientLength) {
    // Wide enough for any step the options allow, up to 2^31 - 1 pixels.
    long long moved = static_cast<long long>(position) + delta;
    if (moved > pictureLength - clientLength) moved = pictureLength - clientLength;
    if (moved < 0) moved = 0;
    return static_cast<int>(moved);
}
