// The viewer's read-ahead: once a picture is painted, the next and the
// previous entry of whatever the arrow keys and the slideshow step through
// (album pages in the album display, the FolderList otherwise) are read on
// a worker (image/picture_read_ahead.h), under the ReadAheadMegabytes cap.
#pragma once

#include <windows.h>

// Asks for the shown picture's neighbours, starting the worker the first
// time; with the cap at 0 it drops the worker and everything it held.
void ReadNeighboursAhead();
// ReadAheadMegabytes as it is now, at once: at 0 the worker goes with
// everything it held; a lower cap drops the pictures held past it.
void ApplyReadAheadCap();
// The picture of CurrentPath in CurrentOrientation, when it was read ahead
// and its file is unchanged: 1, the shown bitmap to be (the caller's) and
// the picture's own depth, and in fitted the picture already scaled for
// the fitted display (a 24-bit DIB section, the caller's) or null; else 0
// and the caller loads it.
int TakeReadAheadPicture(HBITMAP* picture, int* bitCount, HBITMAP* fitted);
