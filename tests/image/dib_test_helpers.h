#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "image/dib_image.h"
#include "image/picture_loader.h"
#include "tests/support/test_files.h"

inline Rgb PixelAt(const LockedDib& dib, int x, int y) {
    return PixelAt(dib.header, dib.pixels, x, y);
}
bool SamePixels(const LockedDib& a, const LockedDib& b);
// Flat 8 x 8 blocks of strong colours, which a JPEG keeps within a level or two.
Rgb BlockColour(int x, int y);
// What MakeBmp stores at (x, y) of a picture width wide at the given depth.
Rgb BmpPixel(int x, int y, int width, int bits);

// A picture in fresh locked blocks (24, 16 or 8 bits with a grey table that
// takes the pattern's green), its header headerSize bytes long.
LockedDib MakeDib(int width, int height, int bits, bool topDown, const PixelPattern& pattern = DistinctPixel,
                  DWORD headerSize = 40);
LockedDib LoadDib(const std::string& path);

class ImageTest : public ::testing::Test {
protected:
    static DWORD GdiObjects() { return GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS); }
    void SetUp() override { blocks_ = LiveDibBlocks(), gdi_ = GdiObjects(); }
    void TearDown() override {
        EXPECT_EQ(LiveDibBlocks(), blocks_) << "a pixel block was left behind";
        EXPECT_EQ(GdiObjects(), gdi_) << "a GDI object was left behind";
    }
    // Writes the file (making the folder a name holds) and gives its path.
    std::string Write(const std::string& name, const Bytes& bytes) {
        const size_t slash = name.rfind('\\');
        if (slash != std::string::npos) CreateDirectoryA(dir_.File(name.substr(0, slash)).c_str(), nullptr);
        EXPECT_TRUE(WriteFileBytes(dir_.File(name), bytes));
        return dir_.File(name);
    }
    // The file written and loaded through the dispatch.
    LockedDib Load(const std::string& name, const Bytes& bytes) { return LoadDib(Write(name, bytes)); }
    TempDir dir_;
    long blocks_ = 0;
    DWORD gdi_ = 0;
};
