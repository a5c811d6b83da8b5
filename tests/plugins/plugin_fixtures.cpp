#include "tests/plugins/plugin_fixtures.h"

#include <wrl/client.h>

#include <algorithm>
#include <cstdlib>

#include "image/dib_image.h"
#include "image/plugin_host.h"
#include "plugins/test_common/tiny_picture.h"

using Microsoft::WRL::ComPtr;

std::string PluginFile(const std::string& stem) {
    return stem + kPluginExtension;
}
std::string WicPluginPath() {
    return ProgramFolderPath() + PluginFile("ifwic");
}
std::string TestPluginFolder(const std::string& name) {
    return ProgramFolderPath() + "testplugins\\" + name + "\\";
}
std::string TestPluginPath(const std::string& name) {
    return TestPluginFolder(name) + PluginFile(name);
}
std::string OtherFlavourTestPluginPath(const std::string& name) {
    const char* other = sizeof(void*) == 8 ? "i686" : "x86_64";
    return ProgramFolderPath() + "..\\..\\" + other + "\\bin\\testplugins\\" + name + "\\" + name +
           kOtherPluginExtension;
}

void StageInWalkOrder(const TempDir& folder, const std::vector<std::string>& sources) {
    // The walk's order depends on the names (and the file system), not on
    // the contents: find the order of a set of names, then give the sources
    // those names in that order.
    for (size_t i = 0; i < sources.size(); ++i)
        WriteFileBytes(folder.File(PluginFile(std::string("filter") + char('a' + i))), Bytes());
    std::vector<std::string> order;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder.Path() + kPluginPattern).c_str(), &found);
    for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &found))
        order.push_back(found.cFileName);
    FindClose(find);
    for (size_t i = 0; i < order.size(); ++i)
        CopyFileA(sources[i].c_str(), folder.File(order[i]).c_str(), FALSE);
}

Bytes MakeTinyPicture(int width, int height, const std::string& comment) {
    std::vector<uint8_t> rgb;
    for (int i = 0; i < width * height; ++i) {
        Rgb c = DistinctPixel(i % width, i / width);
        rgb.insert(rgb.end(), {c.r, c.g, c.b});
    }
    return tiny_picture::Make(width, height, rgb, comment);
}

DibPixels::~DibPixels() {
    if (info_) LocalUnlock(header);
    if (bits_) LocalUnlock(pixels);
    if (header) LocalFree(header);
    if (pixels) LocalFree(pixels);
}

const BITMAPINFOHEADER* DibPixels::Info() const {
    if (!info_) {
        info_ = static_cast<const BITMAPINFOHEADER*>(LocalLock(header));
        bits_ = static_cast<const uint8_t*>(LocalLock(pixels));
    }
    return info_;
}

Rgba DibPixels::At(int x, int y) const {
    const BITMAPINFOHEADER* info = Info();  // locks the blocks, so before bits_ is read
    const Rgb c = PixelAt(info, bits_, x, y);
    const int row = Info()->biHeight < 0 ? y : Height() - 1 - y, bits = Bits();
    return Rgba{c.r, c.g, c.b, bits == 32 ? bits_[size_t(DibStride(32, Width())) * row + 4 * x + 3] : 255};
}

::testing::AssertionResult HasPixels(const DibPixels& dib, int width, int height, const PixelPattern& pattern,
                                     int step, int tolerance, int (*alpha)(int x, int y)) {
    if (dib.Width() != width || dib.Height() != height)
        return ::testing::AssertionFailure() << "the picture is " << dib.Width() << " x " << dib.Height()
                                             << ", not " << width << " x " << height;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Rgb want = pattern(x * step, y * step);
            Rgba got = dib.At(x, y);
            int a = alpha ? alpha(x * step, y * step) : 255;
            double slack = tolerance + (a % 255 ? 1 : 0);
            auto off = [&](int channel, int wanted) {
                return std::abs(channel - wanted * a / 255.0) > slack;
            };
            if ((alpha && got.a != a) || off(got.r, want.r) || off(got.g, want.g) || off(got.b, want.b))
                return ::testing::AssertionFailure()
                       << "pixel " << x << "," << y << " is " << got.r << "," << got.g << "," << got.b << ","
                       << got.a << ", not " << int(want.r) << "," << int(want.g) << "," << int(want.b) << ","
                       << a;
        }
    }
    return ::testing::AssertionSuccess();
}

Bytes EncodeWithWic(const GUID& container, const WicSource& source) {
    ComThread com;
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> options;
    ComPtr<IWICPalette> palette;
    WICPixelFormatGUID format = source.format;
    std::vector<WICColor> colours(source.palette.begin(), source.palette.end());
    HGLOBAL memory = nullptr;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory, reinterpret_cast<void**>(factory.GetAddressOf()))) ||
        FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.GetAddressOf())) ||
        FAILED(factory->CreateEncoder(container, nullptr, encoder.GetAddressOf())) ||
        FAILED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) ||
        FAILED(encoder->CreateNewFrame(frame.GetAddressOf(), options.GetAddressOf())) ||
        FAILED(frame->Initialize(options.Get())) ||
        FAILED(frame->SetSize(UINT(source.width), UINT(source.height))) ||
        FAILED(frame->SetPixelFormat(&format)) || format != source.format ||
        (!colours.empty() && (FAILED(factory->CreatePalette(palette.GetAddressOf())) ||
                              FAILED(palette->InitializeCustom(colours.data(), UINT(colours.size()))) ||
                              FAILED(frame->SetPalette(palette.Get())))) ||
        FAILED(frame->WritePixels(UINT(source.height), UINT(source.stride), UINT(source.pixels.size()),
                                  const_cast<BYTE*>(source.pixels.data()))) ||
        FAILED(frame->Commit()) || FAILED(encoder->Commit()) ||
        FAILED(GetHGlobalFromStream(stream.Get(), &memory)))
        return Bytes();
    STATSTG stat = {};
    stream->Stat(&stat, STATFLAG_NONAME);
    const uint8_t* data = static_cast<const uint8_t*>(GlobalLock(memory));
    Bytes bytes(data, data + stat.cbSize.LowPart);
    GlobalUnlock(memory);
    return bytes;
}

WicSource FilledSource(int width, int height, const GUID& format, int bytesPerPixel,
                       const std::function<uint32_t(int x, int y)>& pixel) {
    WicSource source{width, height, format, {}, (width * bytesPerPixel + 3) / 4 * 4, {}};
    source.pixels.resize(size_t(source.stride) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint32_t value = pixel(x, y);
            for (int i = 0; i < bytesPerPixel; ++i)
                source.pixels[size_t(y) * source.stride + x * bytesPerPixel + i] = uint8_t(value >> (8 * i));
        }
    }
    return source;
}

uint32_t Argb(Rgb colour, int alpha) {
    return uint32_t(alpha) << 24 | uint32_t(colour.r) << 16 | uint32_t(colour.g) << 8 | colour.b;
}

WicSource Bgr24Source(int width, int height, const PixelPattern& pattern) {
    return FilledSource(width, height, GUID_WICPixelFormat24bppBGR, 3,
                        [&pattern](int x, int y) { return Argb(pattern(x, y)); });
}

WicSource Bgra32Source(int width, int height, int (*alpha)(int x, int y)) {
    return FilledSource(width, height, GUID_WICPixelFormat32bppBGRA, 4,
                        [alpha](int x, int y) { return Argb(DistinctPixel(x, y), alpha(x, y)); });
}

WicSource Indexed8Source(int width, int height) {
    WicSource source = FilledSource(width, height, GUID_WICPixelFormat8bppIndexed, 1,
                                    [width](int x, int y) { return uint32_t(y * width + x); });
    for (int i = 0; i < width * height; ++i)
        source.palette.push_back(Argb(DistinctPixel(i % width, i / width)));
    return source;
}

Bytes MakeIcon(const std::vector<IconImage>& images) {
    Bytes out;
    for (uint32_t word : {size_t(0), size_t(1), images.size()}) PutU16(out, word);  // reserved, icon, count
    uint32_t offset = 6 + 16 * uint32_t(images.size());
    for (const IconImage& image : images) {
        PutU8(out, image.width >= 256 ? 0 : image.width);
        PutU8(out, image.height >= 256 ? 0 : image.height);
        PutU16(out, 0);  // no colour count, reserved
        PutU16(out, 1);  // planes
        PutU16(out, image.bits);
        PutU32(out, uint32_t(image.data.size()));
        PutU32(out, offset);
        offset += uint32_t(image.data.size());
    }
    for (const IconImage& image : images) PutBytes(out, image.data.data(), image.data.size());
    return out;
}
