// How a picture file becomes a picture ready to be shown, wherever it is
// shown: the viewer, the ZubBOX thumbnails, the FileBOX preview, the
// wallpaper and the read-ahead of neighbouring pictures. Every one of them
// loads through here, so a picture looks the same in each.
//
// The order, fixed for all of them:
//   1. the reader (LoadPicture / LoadPreview: JPEG, pmp, BMP, plug-ins), which
//      also reports what the file says of itself (PictureMeta: its EXIF
//      orientation, its embedded colour profile, whether its alpha means
//      anything);
//   2. the picture's own orientation: turned upright;
//   3. its colours: converted from its embedded profile to the display's;
//   4. transparency kept: a picture with meaningful alpha leaves here as
//      32 bits per pixel, premultiplied;
// and then, by the caller, last:
//   5. the album page's orientation (it turns the upright picture);
//   6. scaling (area averaging of premultiplied pixels, so no dark fringes);
//   7. the background under transparent parts, composited in screen pixels.
// Steps 2-4 each have an option in DisplayOptions; with all of them off the
// picture is exactly what the reader gave.
#pragma once

#include <windows.h>

#include <cstdint>

#include "image/picture_types.h"

// The user's choices for steps 2-4 and 7. One process-wide value, touched
// by the user-interface thread; a worker takes a copy when it starts.
struct DisplayOptions {};

// The options every display path uses; the options dialog changes them.
DisplayOptions& PictureDisplayOptions();
// Back to the defaults (the start of a run).
void ResetPictureDisplayOptions();

// Steps 1-4 for the whole picture: 1 and the DibImage (the caller owns both
// blocks), or 0 with nothing allocated and LastLoadError saying why.
int LoadDisplayPicture(const char* path, ProgressProc progress, intptr_t userData, HLOCAL* header,
                       HLOCAL* pixels);
// Steps 1-4 through the readers' reduced decoding (LoadPreview), for
// thumbnails and previews of about targetSize pixels.
int LoadDisplayPreview(const char* path, ProgressProc progress, intptr_t userData, int targetSize,
                       HLOCAL* header, HLOCAL* pixels);
// Steps 1-4 for the whole picture on any thread: the readers' unreported
// entries (JPEG, pmp and BMP; plug-in pictures are not read this way yet),
// touching neither the progress target nor
// LastLoadError. 1 and the DibImage a LoadDisplayPicture of the same file
// gives; 0 with nothing allocated when the file cannot be read this way
// (the caller then loads it on the user-interface thread) or when its
// blocks would take more than maxBytes.
int LoadDisplayPictureUnreported(const char* path, uint64_t maxBytes, HLOCAL* header, HLOCAL* pixels);
// Whether LoadDisplayPictureUnreported reads files of this name at all.
bool IsUnreportedPictureName(const char* path);
