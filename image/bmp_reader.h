// The program's own BMP reader and writer. Only the extension "bmp" reaches
// the reader, after the plug-ins had their turn.
#pragma once

#include <windows.h>

#include <cstdint>

#include "image/picture_types.h"

// Reads a BMP file into a new DibImage (handles now the caller's). Hostile
// headers fail with LastLoadError 2 (not a usable BMP) or 4 (cannot be
// held); a file shorter than its pixels promise loads with the missing rows
// zero. Missing file: 3.
int ReadBmpFile(const char* path, HLOCAL* header, HLOCAL* pixels);
// ReadBmpFile for a worker thread: LastLoadError is left alone, and a
// picture whose blocks would take more than maxBytes is not read. 1 or 0.
int ReadBmpFileUnreported(const char* path, uint64_t maxBytes, HLOCAL* header, HLOCAL* pixels);
// Fills info from the BMP headers without reading pixels: 1 when biPlanes
// is 1.
int ReadBmpInfo(const char* path, PictureInfo* info);
// Reverses the order of the rows in place (row i swaps with row rows-1-i).
void FlipRowsInPlace(BYTE* pixels, size_t stride, int rows);
// Writes the picture as a bottom-up BMP file; a top-down picture has its
// rows reversed in place first (header height made positive). 1 when every
// byte was written.
int WriteDibAsBmp(const char* path, BITMAPINFOHEADER* header, BYTE* pixels);
