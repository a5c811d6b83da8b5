// What the plug-in tests share: where the built plug-ins lie, staging them
// in a folder in a chosen walk order, pictures in the tiny test format and
// through WIC's own encoders, and reading pixels back out of a DibImage.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <wincodec.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/test_files.h"

// A test with a temporary folder for the files it writes.
class PluginTest : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const Bytes& bytes) {
        std::string path = files.File(name);
        EXPECT_TRUE(WriteFileBytes(path, bytes));
        return path;
    }
    TempDir files;
};

// stem with the extension of this build's plug-ins (".spi" or ".sph").
std::string PluginFile(const std::string& stem);
// The WIC filter beside the program, or test filter <name> in testplugins\<name>\.
std::string WicPluginPath();
std::string TestPluginPath(const std::string& name);
std::string TestPluginFolder(const std::string& name);
// The extension of the other flavour's plug-ins, and where the other
// flavour's build keeps a test plug-in (build/<flavour>/bin beside this one's).
constexpr const char* kOtherPluginExtension = sizeof(void*) == 8 ? ".spi" : ".sph";
std::string OtherFlavourTestPluginPath(const std::string& name);
// Copies the plug-in files into folder so that the folder walk meets them in
// the order given.
void StageInWalkOrder(const TempDir& folder, const std::vector<std::string>& sources);

// An observation call that a test filter exports beside the interface.
template <typename Call>
Call TestExport(HMODULE module, const char* name) {
    return reinterpret_cast<Call>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// A tiny-format picture whose pixel (x, y) is DistinctPixel(x, y).
Bytes MakeTinyPicture(int width, int height, const std::string& comment = std::string());

// One pixel read back from a DibImage, whatever its depth and row order.
struct Rgba {
    int r, g, b, a;
};
// A DibImage's two blocks, freed when the object goes away. A loader call
// fills the two slots; whatever it leaves there is this object's.
class DibPixels {
public:
    DibPixels() = default;
    DibPixels(HLOCAL header, HLOCAL pixels) : header(header), pixels(pixels) {}
    ~DibPixels();
    DibPixels(const DibPixels&) = delete;
    DibPixels& operator=(const DibPixels&) = delete;
    const BITMAPINFOHEADER& Header() const { return *Info(); }
    int Width() const { return Info()->biWidth; }
    int Height() const { return Info()->biHeight < 0 ? -Info()->biHeight : Info()->biHeight; }
    int Bits() const { return Info()->biBitCount; }
    Rgba At(int x, int y) const;
    SIZE_T HeaderBlockSize() const { return LocalSize(header); }
    const RGBQUAD* ColourTable() const { return reinterpret_cast<const RGBQUAD*>(Info() + 1); }

    HLOCAL header = nullptr;
    HLOCAL pixels = nullptr;

private:
    const BITMAPINFOHEADER* Info() const;  // locks both blocks on first use
    mutable const BITMAPINFOHEADER* info_ = nullptr;
    mutable const uint8_t* bits_ = nullptr;
};
// Whether dib is width x height and its pixel (x, y) is, to within
// tolerance in each channel, pattern(x * step, y * step) (a preview takes
// every step-th pixel). With alpha, the pixel's alpha is alpha(x * step,
// y * step) and its colour composited onto black, within 1 more where it is
// neither clear nor opaque.
::testing::AssertionResult HasPixels(const DibPixels& dib, int width, int height,
                                     const PixelPattern& pattern = DistinctPixel, int step = 1,
                                     int tolerance = 0, int (*alpha)(int x, int y) = nullptr);

// COM for the calling thread while the object lives.
struct ComThread {
    ComThread() : result(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComThread() {
        if (SUCCEEDED(result)) CoUninitialize();
    }
    ComThread(const ComThread&) = delete;
    const HRESULT result;
};

// A picture for WIC's encoders: rows top first, `stride` bytes each, in the
// named WIC pixel format; palette entries (0xAARRGGBB) for indexed formats.
struct WicSource {
    int width = 0, height = 0;
    GUID format{};
    std::vector<uint8_t> pixels;
    int stride = 0;
    std::vector<uint32_t> palette;
};
// The encoded file, or empty when the encoder refused.
Bytes EncodeWithWic(const GUID& container, const WicSource& source);

// Rows padded to 4 bytes of bytesPerPixel bytes each, the low bytes of
// pixel(x, y): 0xAARRGGBB gives blue, green, red, alpha; an index gives itself.
WicSource FilledSource(int width, int height, const GUID& format, int bytesPerPixel,
                       const std::function<uint32_t(int x, int y)>& pixel);
uint32_t Argb(Rgb colour, int alpha = 255);
// Sources with the DistinctPixel colours (or pattern's): 24-bit; 32-bit with
// alpha alpha(x, y); 8-bit indexed, one palette entry per pixel.
WicSource Bgr24Source(int width, int height, const PixelPattern& pattern = DistinctPixel);
WicSource Bgra32Source(int width, int height, int (*alpha)(int x, int y));
WicSource Indexed8Source(int width, int height);
inline WicSource SolidSource(int width, int height, Rgb colour) {
    return Bgr24Source(width, height, Flat(colour));
}

// An icon file holding the given images (each a PNG or a BMP-format entry).
struct IconImage {
    int width;
    int height;
    int bits;
    Bytes data;
};
Bytes MakeIcon(const std::vector<IconImage>& images);
