// Helpers shared by the image tests: loaded pictures held for the length of
// a test, pixel access by display position, and leak counters.
#pragma once

#include <windows.h>

#include <string>

#include "image/dib_image.h"
#include "tests/support/test_files.h"

// The picture's pixel (x, y) as seen on screen (row 0 at the top), read
// through the colour table below 16 bits and as 5-5-5 at 16 bits.
Rgb PixelAt(const BITMAPINFOHEADER* header, const BYTE* pixels, int x, int y);

// A DibImage in fresh locked blocks, built from a pattern (24 or 16 bits,
// either row order, or 8 bits with a grey table).
LockedDib MakeDib(int width, int height, int bits, bool topDown, const PixelPattern& pattern = DistinctPixel);

// LoadPicture into a LockedDib (empty on failure).
LockedDib LoadDib(const std::string& path);

// GDI objects of this process now.
DWORD GdiObjectCount();
