// The pictures of album thumbnails, apart from the album that keeps them:
// the size a picture takes in an S x S cell, the cell's drawing in a page's
// orientation, and the square that stands for a page without a picture.
// The album's side (building a page's thumbnail, painting it from its slot)
// is album/album_thumbnail.h.
#pragma once

#include <windows.h>

struct ThumbnailExtent {
    int width;
    int height;
};

// The colour of a page for which no picture could be made.
constexpr COLORREF kThumbnailFailureColour = RGB(200, 100, 100);

// Thumbnail size of a width x height picture in a size x size cell: the
// longer side becomes min(size, side) and the other follows in proportion,
// truncated. A picture is never enlarged, and a very thin one keeps at
// least one pixel across.
ThumbnailExtent ThumbnailExtentFor(int width, int height, int size);

// The failure square from (x, y) to (x + size, y + size).
void PaintThumbnailFailure(HDC dc, int x, int y, int size);

// Draws a 24-bit thumbnail unscaled, turned into orientation code 0-7 on a
// working copy (the thumbnail itself stays as it is), centred in the
// size x size cell at (x, y). 1, or 0 when the copy could not be made.
int PaintThumbnailPicture(HDC dc, const BITMAPINFOHEADER* header, const BYTE* pixels, int orientation, int x,
                          int y, int size);
