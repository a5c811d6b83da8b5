#include "browse/dialogs/zub_box_grid.h"

RECT CellEdgeRect(int cell) {
    const int x = kCellPitch * (cell % 4);
    const int y = kCellPitch * (cell / 4);
    return RECT{x + 3, y + 3, x + 97, y + 97};
}

POINT ThumbnailOrigin(int index) {
    return POINT{kCellPitch * (index % 4) + 5, kCellPitch * ((index % kCellsPerPage) / 4) + 5};
}

int HitTestCell(int page, LPARAM position) {
    // Unsigned: a position left of or above the client area (a captured
    // drag) lands far right or below, beyond the grid.
    const unsigned x = LOWORD(position);
    const unsigned y = HIWORD(position);
    if (x % kCellPitch < 5 || y % kCellPitch < 5 || y > 285 || x > 380) return -1;
    return FirstIndexOfPage(page) + int(y / kCellPitch) * 4 + int(x / kCellPitch);
}
