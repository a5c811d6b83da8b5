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

#include <atomic>
#include <cstdint>

#include "image/colour_manage.h"
#include "image/picture_alpha.h"
#include "image/picture_meta.h"
#include "image/picture_types.h"

// The user's choices for steps 2-4 and 7. One process-wide value, touched
// by the user-interface thread; a worker takes a copy when it starts.
struct DisplayOptions {
    // Step 2: turn a picture upright as its EXIF orientation says.
    bool uprightByExif = true;
    // Step 3: convert the colours of a picture with an embedded profile to
    // the display's; off, its numbers are drawn as they are stored.
    bool manageColours = true;
    // The display the pictures are shown on (null: sRGB); the viewer keeps
    // it to the monitor its window is on.
    DisplayProfile displayProfile;
    // Step 4: 32-bit pictures keep their coverage and are drawn over
    // background (step 7); off, the fourth byte is ignored as it always was.
    bool keepTransparency = true;
    Background background;

    bool operator==(const DisplayOptions& other) const {
        return uprightByExif == other.uprightByExif && manageColours == other.manageColours &&
               SameDisplayProfile(displayProfile, other.displayProfile) &&
               keepTransparency == other.keepTransparency &&
               background.checkerboard == other.background.checkerboard &&
               background.colour == other.background.colour;
    }
};

// A fingerprint of every option in options (the display profile's bytes
// included): pictures made under equal options share it. The thumbnail
// cache keeps it with each thumbnail.
uint32_t DisplayOptionsFingerprint(const DisplayOptions& options);

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
// LoadDisplayPreview and LoadDisplayPicture as a device bitmap for window,
// or null, failing as LoadPreviewBitmap / LoadPictureBitmap do (the FileBOX
// preview).
HBITMAP LoadDisplayPreviewBitmap(HWND window, const char* path, int targetSize);
HBITMAP LoadDisplayPictureBitmap(HWND window, const char* path);
// Loads source through steps 1-4 and writes it as a bottom-up BMP file;
// non-zero when the whole file was written (the wallpaper).
int SaveDisplayPictureAsBmp(const char* source, const char* destination);

// Steps 2-4 on a picture the reader gave, with meta what the reader said
// of it. Touches no process-wide value (a worker may run it). The blocks
// may be replaced; a step that cannot run leaves the picture as it was
// before that step, so the answer is always a showable picture.
void PrepareForDisplay(const DisplayOptions& options, const PictureMeta& meta, HLOCAL* header,
                       HLOCAL* pixels);

// Whether a picture the pipeline gave carries coverage to composite: 32
// bits, plain layout, transparency kept.
bool HasCoverage(const DisplayOptions& options, const BITMAPINFOHEADER& header);
// Steps 6 and 7 for pictures shown at the size they are made: shrinks (or
// stretches) the picture to width x height, averaging premultiplied pixels,
// and composites it over the background, cells from its top left corner.
// The result is 24 bits; 1, or 0 with the picture as it was. Pictures
// without coverage are resampled as StretchDib does.
int ScaleForDisplay(const DisplayOptions& options, BITMAPINFOHEADER*& header, BYTE*& pixels, int width,
                    int height);
// Step 7 alone, at the picture's size, over background (the FileBOX preview
// over the chosen background, the wallpaper over the chosen colour). A
// picture without coverage is left as it is. 1, or 0 as it was.
int CompositeForDisplay(const DisplayOptions& options, const Background& background,
                        BITMAPINFOHEADER*& header, BYTE*& pixels);

// Steps 1-4 for the whole picture on any thread: the readers' unreported
// entries (JPEG, pmp and BMP; plug-in pictures are not read this way yet),
// touching neither the progress target nor
// LastLoadError. 1 and the DibImage a LoadDisplayPicture of the same file
// gives; 0 with nothing allocated when the file cannot be read this way
// (the caller then loads it on the user-interface thread) or when its
// blocks would take more than maxBytes.
// The options are the caller's copy of PictureDisplayOptions(); a picture
// with coverage to composite is left to the user-interface thread (0).
// A JPEG's decode ends early, with 0, once abandon turns true.
int LoadDisplayPictureUnreported(const char* path, const DisplayOptions& options, uint64_t maxBytes,
                                 HLOCAL* header, HLOCAL* pixels, const std::atomic<bool>* abandon = nullptr);
// Whether LoadDisplayPictureUnreported reads files of this name at all.
bool IsUnreportedPictureName(const char* path);
