// The ZubBOX's grid, in client pixels whatever the dialog units: twelve
// cells a page, four across and three down, at a pitch of 95 pixels; each
// cell starts with a 5-pixel gap at its left and top. Pure arithmetic.
#pragma once

#include <windows.h>

constexpr int kCellsPerPage = 12;
constexpr int kCellPitch = 95;
// What paging and selection repaint: the grid and the frames around it.
constexpr RECT kGridRect{0, 0, 383, 288};

// Screen pages for an album of pages pages (0 for an empty album).
inline int ZubBOXPageCount(int pages) {
    return pages <= 0 ? 0 : (pages - 1) / kCellsPerPage + 1;
}
// Album index of cell 0 of screen page page (counted from 1).
inline int FirstIndexOfPage(int page) {
    return (page - 1) * kCellsPerPage;
}
// The edge rectangle of cell 0-11 (right and bottom exclusive).
RECT CellEdgeRect(int cell);
// Where the thumbnail of album index goes.
POINT ThumbnailOrigin(int index);
// The album index under client position (x, y) on screen page page, both
// taken as unsigned 16-bit values; -1 in a gap or beyond the grid. The
// caller checks the index against the album.
int HitTestCell(int page, LPARAM position);
