// JPEG pictures through libjpeg, also inside the "pmp" container (a 21-byte
// head whose bytes 8-11 give the offset of a JPEG stream, most significant
// byte first). Output: 8-bit grey with a grey table, or 24-bit rows in
// blue-green-red order, top row first (negative height).
#pragma once

#include <windows.h>

#include <atomic>

#include <cstdint>

#include "image/picture_meta.h"
#include "image/picture_types.h"

// Answers of DecodeJpeg.
enum JpegDecodeResult : int {
    kJpegDone = 0,
    kJpegStopped = 1,
    kJpegCannotOpen = 2,
    kJpegFailed = 3,
};

// Reads the stream's head at offset and fills info with the output size at
// scale 1/denominator (1, 2, 4 or 8) and the depth. 1 for grey and colour
// streams; 0 otherwise (CMYK and YCCK are refused, info filled all the same).
int ReadJpegInfo(const char* path, int denominator, PictureInfo* info, uint32_t offset);
// Decodes into destination, rows of ((width x components + 3) / 4) x 4
// bytes, top row first. destinationBytes bounds what is written.
int DecodeJpeg(const char* path, int denominator, BYTE* destination, size_t destinationBytes,
               uint32_t offset);
// DecodeJpeg without reporting progress: it touches no process-wide value
// (neither the progress target nor LastLoadError), so a worker thread may
// run it, with ReadJpegInfo, while the user-interface thread loads pictures.
// meta, when given, receives the stream's EXIF orientation and ICC profile.
int DecodeJpegUnreported(const char* path, int denominator, BYTE* destination, size_t destinationBytes,
                         uint32_t offset, PictureMeta* meta = nullptr);
// Full decode at scale 1/denominator into a new DibImage; 0 with
// LastLoadError 1 (stopped), 2 (not a usable JPEG), 3 (cannot open),
// 4 (cannot be held) or 255 (damaged stream). Nothing stays allocated on
// failure. meta, when given, receives what the APP1 and APP2 segments say
// (kept by the decoder during its one read of the file).
int LoadJpeg(const char* path, ProgressProc progress, intptr_t userData, int denominator, uint32_t offset,
             HLOCAL* header, HLOCAL* pixels, PictureMeta* meta = nullptr);
// Decodes at the largest reduction that keeps the longer side near
// targetSize (see JpegScaleFor).
int LoadJpegScaled(const char* path, ProgressProc progress, intptr_t userData, uint32_t offset,
                   int targetSize, HLOCAL* header, HLOCAL* pixels, PictureMeta* meta = nullptr);
// LoadJpeg (pmp: LoadPmp) at full size without reporting anything: no
// progress target, no LastLoadError, so a worker thread may run it. 1 and
// the same DibImage as LoadJpeg, or 0 with nothing allocated (also when
// its blocks would take more than maxBytes, or when abandon, looked at
// about twenty times a decode, turns true).
int LoadJpegUnreported(const char* path, bool pmp, uint64_t maxBytes, HLOCAL* header, HLOCAL* pixels,
                       PictureMeta* meta = nullptr, const std::atomic<bool>* abandon = nullptr);
int LoadPmp(const char* path, ProgressProc progress, intptr_t userData, HLOCAL* header, HLOCAL* pixels,
            PictureMeta* meta = nullptr);
int LoadPmpScaled(const char* path, ProgressProc progress, intptr_t userData, int targetSize, HLOCAL* header,
                  HLOCAL* pixels, PictureMeta* meta = nullptr);
// The JPEG stream's offset inside a pmp file: 1 and offset, or 0 with
// LastLoadError 3 (cannot open) or 2 (not a pmp file).
int ReadPmpOffset(const char* path, uint32_t* offset);

// The scale denominator for a picture of width x height asked for at
// target size T: q = (max(width, height) - 1) / T; 8 when q >= 4, 4 for
// q = 2 or 3, 2 for q = 1, else 1.
int JpegScaleFor(int width, int height, int targetSize);

// Reports decode progress to the progress target registered by the last
// LoadJpeg / LoadJpegScaled: its answer, or 0 when none is registered.
int JpegProgressHook(int rowsDone, int totalRows);
