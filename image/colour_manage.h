// Step 3 of the display pipeline: a picture's numbers converted from the
// colour space its embedded profile names to the display's, through the
// Windows colour system (perceptual rendering).
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

// The profile of the display a window is shown on, as bytes; null when the
// display has none the colour system can read, which is taken for sRGB.
using DisplayProfile = std::shared_ptr<const std::vector<uint8_t>>;
DisplayProfile DisplayProfileOf(HWND window);
// Whether two displays' profiles give the same conversions.
bool SameDisplayProfile(const DisplayProfile& a, const DisplayProfile& b);

// Converts a picture tagged with profile (the bytes the reader found) for
// display: 24-bit and 32-bit pixels (the fourth byte kept as it was) and
// colour tables (within headerBytes, the header block's size). Untagged pictures, sRGB pictures on an sRGB
// display, grey or CMYK profiles, pictures of other layouts and profiles the colour system refuses are left
// as they are. True when the colours changed. Safe on any thread: transforms are made once per pair of
// profiles and shared.
bool ManageColours(const std::vector<uint8_t>& profile, const DisplayProfile& display,
                   BITMAPINFOHEADER* header, size_t headerBytes, BYTE* pixels);

// The same for rows of 24-bit (blue, green, red) or 32-bit pixels, stride
// bytes apart (the thumbnail workers' buffers).
bool ManageColourRows(const std::vector<uint8_t>& profile, const DisplayProfile& display, BYTE* rows,
                      int width, int height, size_t stride, int bits);

// How many transforms the colour system has been asked to make this run.
int ColourTransformsMade();
