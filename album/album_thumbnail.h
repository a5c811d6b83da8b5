// The thumbnails of an album's pages. Each page's slot (two runtime fields
// of its record block) holds 0 until a thumbnail is built, then either the
// failure mark 1 or the locked header and pixel blocks of a 24-bit,
// bottom-up picture of at most S x S pixels (S = ThumbSizeParam), kept in
// the page's unrotated orientation: painting turns a working copy, so the
// same thumbnail serves every orientation and no file is read again.
#pragma once

#include <windows.h>

#include "album/zub_album.h"
#include "image/picture_types.h"

class ThumbnailPrefetch;

// The slot's header value of a page for which no picture could be made.
constexpr BlockWord kThumbnailFailed = 1;

// Builds page's thumbnail, replacing the one it had, and records what it
// learns of the file in the page (size, write time, picture size and depth,
// InfoMask; for a page that is itself an album, its title as the comment).
// A page naming an album shows that album's cover picture. ahead, when
// given, may hold the picture already decoded by a worker. 1 when the page
// exists (its slot then holds a thumbnail or the failure mark), 0 when the
// album has no such page.
int BuildThumbnail(ZubAlbum* album, int page, ProgressProc progress, intptr_t userData,
                   ThumbnailPrefetch* ahead = nullptr);

// Draws page's slot into window's device context, centred in the S x S cell
// at (x, y): the thumbnail in the page's orientation, the failure square, or
// nothing when nothing has been built.
void PaintThumbnail(ZubAlbum* album, HWND window, int page, int x, int y);

// S of the album, kept within 1-1024 pixels whatever the field holds.
int ThumbnailSizeOf(const ZubAlbum& album);
