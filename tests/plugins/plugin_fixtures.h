// What the plug-in tests share: where the built plug-ins lie, staging them
// in a folder in a chosen walk order, pictures in the tiny test format and
// through WIC's own encoders, and reading pixels back out of a DibImage.
#pragma once

#include <windows.h>
#include <wincodec.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/test_files.h"

// The folder of the running test program, with a trailing "\".
std::string ProgramFolderPath();
// A built plug-in file: the WIC filter beside the program, or test filter
// <name> in testplugins\<name>\.
std::string WicPluginPath();
std::string TestPluginPath(const std::string& name);
std::string TestPluginFolder(const std::string& name);

// Copies the plug-in files into folder so that the folder walk meets them in
// the order given. Returns the names they were given, in that order.
std::vector<std::string> StageInWalkOrder(const TempDir& folder, const std::vector<std::string>& sources);
// The extension of the other flavour's plug-ins, and where the other
// flavour's build keeps a test plug-in (build/<flavour>/bin beside this one's).
#ifdef _WIN64
constexpr char kOtherPluginExtension[] = ".spi";
#else
constexpr char kOtherPluginExtension[] = ".sph";
#endif
std::string OtherFlavourTestPluginPath(const std::string& name);

// stem with the extension of this build's plug-ins (".spi" or ".sph").
std::string PluginFile(const std::string& stem);

// The plug-in names of folder in the order the folder walk meets them.
std::vector<std::string> WalkOrder(const std::string& folder);

// A tiny-format picture whose pixel (x, y) is DistinctPixel(x, y).
Bytes MakeTinyPicture(int width, int height, const std::string& comment = std::string());

// One pixel read back from a DibImage, whatever its depth and row order.
struct Rgba {
    int r, g, b, a;
};
class DibPixels {
public:
    // Takes over both blocks and frees them when it goes away.
    DibPixels(HLOCAL header, HLOCAL pixels);
    ~DibPixels();
    DibPixels(const DibPixels&) = delete;
    DibPixels& operator=(const DibPixels&) = delete;
    const BITMAPINFOHEADER& Header() const { return *header_; }
    int Width() const { return header_->biWidth; }
    int Height() const { return header_->biHeight < 0 ? -header_->biHeight : header_->biHeight; }
    int Bits() const { return header_->biBitCount; }
    Rgba At(int x, int y) const;
    SIZE_T HeaderBlockSize() const { return LocalSize(headerBlock_); }
    const RGBQUAD* ColourTable() const { return reinterpret_cast<const RGBQUAD*>(header_ + 1); }

private:
    HLOCAL headerBlock_;
    HLOCAL pixelBlock_;
    const BITMAPINFOHEADER* header_;
    const uint8_t* pixels_;
};

// COM for the calling thread while the object lives.
class ComThread {
public:
    ComThread();
    ~ComThread();
    ComThread(const ComThread&) = delete;
    ComThread& operator=(const ComThread&) = delete;

private:
    HRESULT result_;
};

// A picture for WIC's encoders: rows top first, `stride` bytes each, in the
// named WIC pixel format; palette entries (0xAARRGGBB) for indexed formats.
struct WicSource {
    int width = 0;
    int height = 0;
    GUID format{};
    std::vector<uint8_t> pixels;
    int stride = 0;
    std::vector<uint32_t> palette;
};
// The encoded file, or empty when the encoder refused.
Bytes EncodeWithWic(const GUID& container, const WicSource& source);

// Sources with the DistinctPixel colours: 24-bit; 32-bit with alpha
// alpha(x, y); 8-bit indexed, one palette entry per pixel.
WicSource Bgr24Source(int width, int height);
WicSource Bgra32Source(int width, int height, int (*alpha)(int x, int y));
WicSource Indexed8Source(int width, int height);
// A solid colour, 24-bit.
WicSource SolidSource(int width, int height, Rgb colour);

// An icon file holding the given images (each a PNG or a BMP-format entry).
struct IconImage {
    int width;
    int height;
    int bits;
    Bytes data;
};
Bytes MakeIcon(const std::vector<IconImage>& images);
