// The EXIF Orientation of a picture, from the bytes of its APP1 segment or
// of a TIFF block. Pure functions over byte spans (no Windows header), so
// hostile files can be tried on them directly.
#pragma once

#include <cstddef>
#include <cstdint>

// Orientation 1-8 from the body of a JPEG APP1 segment ("Exif\0\0" and a
// TIFF block); 0 when the segment is no EXIF one or names no valid value.
int ExifOrientationFromApp1(const uint8_t* data, size_t size);
// Orientation 1-8 from tag 0x0112 of IFD0 of a TIFF block ("II*\0" or
// "MM\0*"); 0 when absent, damaged or out of range.
int ExifOrientationFromTiff(const uint8_t* data, size_t size);
// The turn (image/transforms.h codes 0-7) that makes a picture stored with
// EXIF orientation 1-8 upright; 0 for anything else.
int OrientationForExif(int exifOrientation);
