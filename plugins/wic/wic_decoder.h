// Decoding the pictures of every format the Windows Imaging Component reads
// on the machine (BMP left to the program) into the two movable blocks of a
// device-independent picture.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

typedef int(__stdcall* WicProgress)(int done, int total, intptr_t userData);

// The answers of the import-filter interface.
enum WicAnswer {
    kWicOk = 0,
    kWicStopped = 1,        // the progress callback asked to stop
    kWicUnknownFormat = 2,  // no picture of a format read here
    kWicBroken = 3,
    kWicNoMemory = 4,
    kWicReadError = 6,
    kWicInternalError = 8,
};

// Where the picture comes from: a file from its first byte, or a block of
// the caller's memory.
struct WicInput {
    const char* path = nullptr;
    const uint8_t* memory = nullptr;
    size_t size = 0;
};

// The longer side a preview is reduced to; the viewer's largest preview
// box is 300 pixels.
constexpr int kWicPreviewSide = 300;

// Whether the first bytes of a file (at least 22 of them for an icon) are
// those of a PNG, GIF, TIFF or ICO file.
bool HasWicSignature(const uint8_t* head, size_t size);

// One decoder installed in the system's WIC: its file patterns
// ("*.tif;*.tiff") and its name.
struct WicFormat {
    std::string patterns;
    std::string name;
};
// The installed decoders but BMP's and JPEG's (the program reads those by
// name itself), in WIC's order, each extension claimed once; enumerated at
// the first call.
const std::vector<WicFormat>& WicFormats();
// Whether a decoder other than BMP's and ICO's recognises head, the first
// bytes of a file, by its signature pattern.
bool WicMatchesPattern(const uint8_t* head, size_t size);

struct WicFacts {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;  // of the picture as stored
    int dpiX = 0;
    int dpiY = 0;
};
int WicReadFacts(const WicInput& input, WicFacts* facts);

// A top-row-first picture: 24 bits, or 32 bits (blue, green, red, alpha;
// colours premultiplied by alpha, that is composited onto black) when the
// picture has transparency. A preview is reduced so that its longer side is
// kWicPreviewSide. The blocks are the caller's when the answer is kWicOk;
// otherwise nothing is left allocated.
// A picture whose metadata names an orientation or which embeds an ICC
// profile gets a version 5 header instead of the 40-byte one: the profile
// follows it (PROFILE_EMBEDDED, perceptual), and bV5Reserved, zero
// otherwise, holds kWicOrientationTag with the EXIF orientation 1-8 in its
// lowest byte (0: none) and kWicPremultiplied for 32-bit pictures. 32-bit
// pictures always get one, so that a host knows their colours are
// premultiplied. Pixels are never turned here: the host decides.
constexpr DWORD kWicOrientationTag = 0x4F520000;  // "OR" in the upper half
constexpr DWORD kWicPremultiplied = 0x100;
int WicDecode(const WicInput& input, bool preview, HLOCAL* header, HLOCAL* pixels, WicProgress progress,
              intptr_t userData);
