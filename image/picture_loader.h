// Turning picture files into in-memory pictures: the reader dispatch (JPEG,
// pmp, plug-ins, BMP), picture facts without decoding, and BMP output.
//
// A DibImage travels as a pair of movable memory handles: the header block
// (BITMAPINFOHEADER and, below 16 bits, the full colour table) and the pixel
// block (rows padded to 4 bytes; negative height = top row first). Whoever
// receives the pair owns and frees both blocks.
#pragma once

#include <windows.h>

#include "image/picture_meta.h"
#include "image/picture_types.h"

// Full-size picture as a device bitmap for window's device context, or null.
HBITMAP LoadPictureBitmap(HWND window, const char* path, ProgressProc progress, intptr_t userData);
// 1 and a full-size DibImage, or 0 (nothing allocated; LastLoadError says why).
int LoadPicture(const char* path, ProgressProc progress, intptr_t userData, HLOCAL* header, HLOCAL* pixels);
// Reduced picture for previews (JPEG and pmp decoded at 1/2..1/8, plug-ins
// through their preview entry), as a device bitmap, or null.
HBITMAP LoadPreviewBitmap(HWND window, const char* path, ProgressProc progress, intptr_t userData,
                          int targetSize);
// 1 and a reduced DibImage, or 0.
int LoadPreview(const char* path, ProgressProc progress, intptr_t userData, HLOCAL* header, HLOCAL* pixels,
                int targetSize);
// LoadPicture and LoadPreview that also give what the file says of itself
// (cleared first; filled by the readers that know it). With
// ownReaderFailureEnds, a JPEG or pmp the own reader failed on is not
// offered to the plug-ins (as LoadPreviewBitmap does).
int LoadPictureWithMeta(const char* path, ProgressProc progress, intptr_t userData, HLOCAL* header,
                        HLOCAL* pixels, PictureMeta* meta);
int LoadPreviewWithMeta(const char* path, ProgressProc progress, intptr_t userData, HLOCAL* header,
                        HLOCAL* pixels, int targetSize, PictureMeta* meta, bool ownReaderFailureEnds = false);
// 1 when some reader recognised the file and filled info.
int ReadPictureInfo(const char* path, PictureInfo* info);
// Frees info's text handle and clears it; 1.
int FreePictureInfo(PictureInfo* info);
// 1 when the file exists and a plug-in accepts it or its extension is one of
// "jpg", "jpeg", "pmp", "bmp".
int IsPictureFile(const char* path);
// 1 when the name's extension is listed by a plug-in or is one of the four.
int IsPictureName(const char* path);
// Destroys a bitmap made by the loaders; null is allowed. Always 1.
int DeletePictureBitmap(HWND window, HBITMAP bitmap);
// Header of the last DibImage that MakePictureBitmap turned into a bitmap.
const BITMAPINFOHEADER& LastBitmapHeader();
// Loads source and writes it as a bottom-up BMP file; non-zero when the
// whole file was written.
int SavePictureAsBmp(const char* source, const char* destination);
// Device bitmap from a DibImage, its dimension set to the picture size;
// frees both blocks in every case.
HBITMAP MakePictureBitmap(HWND window, HLOCAL header, HLOCAL pixels);
