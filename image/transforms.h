// Orientation and whole-picture transforms of a DibImage held as two locked
// pointers (see LockedDib in image/dib_image.h).
//
// Ownership: every operation takes the header and pixel pointers by
// reference. One that replaces a block frees the old block itself and stores
// the new locked pointer in the reference, so the caller only ever frees
// what its two pointers hold at the end (LockedDib does that on scope exit).
// An operation that answers 0 leaves the picture exactly as it was.
//
// Typical use (the viewer's display):
//     HLOCAL h, p;
//     if (LoadPicture(path, nullptr, 0, &h, &p)) {
//         LockedDib dib(h, p);
//         ApplyOrientation(dc, dib.header, dib.pixels, orientation);
//         ... SetDIBits(dc, bitmap, 0, DibRows(*dib.header), dib.pixels,
//                       reinterpret_cast<BITMAPINFO*>(dib.header), DIB_RGB_COLORS);
//     }   // both blocks freed here, whichever they are by now
#pragma once

#include <windows.h>

#include "image/dib_image.h"
#include "image/picture_types.h"

// Orientation codes 0..7: 0-3 turn clockwise by 0/90/180/270 degrees, 4-7
// are the mirrored states (4 transpose, 5 mirror left-right, 6 the other
// diagonal, 7 upside down).
constexpr int kOrientationCount = 8;
// Codes 1, 3, 4 and 6 swap width and height.
bool OrientationSwapsSides(int orientation);

// Negates biHeight: the picture turns upside down, no pixel moves. 1.
int FlipVertical(BITMAPINFOHEADER* header);
// Mirrors every row left to right in place; 8, 16, 24 and 32 bits (else 0).
int MirrorHorizontal(BITMAPINFOHEADER*& header, BYTE*& pixels, ProgressProc progress = nullptr,
                     intptr_t userData = 0);
// Turns clockwise by 90 / 270 degrees into a new bottom-up pixel block;
// 16 and 24 bits only (else 0).
int RotateRight90(BITMAPINFOHEADER*& header, BYTE*& pixels, ProgressProc progress = nullptr,
                  intptr_t userData = 0);
int RotateRight270(BITMAPINFOHEADER*& header, BYTE*& pixels, ProgressProc progress = nullptr,
                   intptr_t userData = 0);
// The two diagonal mirrors: RotateRight270 then FlipVertical (the transpose),
// RotateRight90 then FlipVertical.
int RotateRight90Mirror(BITMAPINFOHEADER*& header, BYTE*& pixels, ProgressProc progress = nullptr,
                        intptr_t userData = 0);
int RotateRight270Mirror(BITMAPINFOHEADER*& header, BYTE*& pixels, ProgressProc progress = nullptr,
                         intptr_t userData = 0);

// Turns the picture into orientation code 0..7, converting it to 24 bits
// first unless the code is 0 (other codes change nothing). 1 on success; 0
// when it could not (the picture then looks as it did, possibly converted
// to 24 bits). dc may be null.
int ApplyOrientation(HDC dc, BITMAPINFOHEADER*& header, BYTE*& pixels, int orientation);

// Runs the primitives of orientation code 0..7 without converting first:
// for pictures of 16 or 24 bits, such as thumbnails. 1, or 0 when a
// primitive could not run (picture as it was).
int OrientDib(BITMAPINFOHEADER*& header, BYTE*& pixels, int orientation);

// Two new locked blocks holding a copy of the picture (header with its
// colour table, and the pixels); 1, or 0 with nothing allocated.
int CopyDib(BITMAPINFOHEADER*& outHeader, BYTE*& outPixels, const BITMAPINFOHEADER* header,
            const BYTE* pixels);

// Makes the picture 24 bits per pixel, bottom row first (a 24-bit picture
// is left untouched, whatever its row order). 1, or 0 when it cannot.
int ConvertDibTo24(HDC dc, BITMAPINFOHEADER*& header, BYTE*& pixels);

// Resamples the picture to width x height by area averaging (enlarging
// repeats source pixels with blended edges); the result is 24 bits, bottom
// row first. 1, or 0 with the picture unchanged. dc is used only to convert
// pictures of other depths and may be null.
int StretchDib(HDC dc, BITMAPINFOHEADER*& header, BYTE*& pixels, int width, int height);

// Turns a picture of 8, 24 or 32 bits into orientation code 0..7 without
// changing its depth, so that the depth shown stays the file's and a fourth
// byte of coverage survives; the result is top row first. 1, or 0 (picture
// as it was) for other depths or without memory.
int OrientDibKeepingDepth(BITMAPINFOHEADER*& header, BYTE*& pixels, int orientation);

// Orientation code 0..7 in plain memory, for pixels of 1 to 4 bytes: the
// source picture (width x height, rows top first unless sourceBottomUp)
// into target, rows top first, width and height swapped for the codes
// OrientationSwapsSides names. Touches nothing else, so any thread may run it.
void OrientPixelRows(const BYTE* source, int width, int height, size_t stride, bool sourceBottomUp,
                     int bytesPerPixel, int orientation, BYTE* target, size_t targetStride);
