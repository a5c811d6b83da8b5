#include "tests/plugins/plugin_fixtures.h"

#include <objbase.h>

#include <algorithm>

#include "image/plugin_host.h"
#include "plugins/test_common/tiny_picture.h"

namespace {

// Owns one COM interface pointer.
template <typename T>
struct ComPtr {
    T* p = nullptr;
    ~ComPtr() {
        if (p) p->Release();
    }
    T* operator->() const { return p; }
};

}  // namespace

std::string ProgramFolderPath() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

std::string PluginFile(const std::string& stem) {
    return stem + kPluginExtension;
}

std::string OtherFlavourTestPluginPath(const std::string& name) {
#ifdef _WIN64
    const char* other = "i686";
#else
    const char* other = "x86_64";
#endif
    return ProgramFolderPath() + "..\\..\\" + other + "\\bin\\testplugins\\" + name + "\\" + name +
           kOtherPluginExtension;
}

std::string WicPluginPath() {
    return ProgramFolderPath() + "ifwic" + kPluginExtension;
}
std::string TestPluginFolder(const std::string& name) {
    return ProgramFolderPath() + "testplugins\\" + name + "\\";
}
std::string TestPluginPath(const std::string& name) {
    return TestPluginFolder(name) + name + kPluginExtension;
}

std::vector<std::string> WalkOrder(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + kPluginPattern).c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        names.push_back(found.cFileName);
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return names;
}

std::vector<std::string> StageInWalkOrder(const TempDir& folder, const std::vector<std::string>& sources) {
    // The walk's order depends on the names (and the file system), not on
    // the contents: find the order of a set of names, then give the sources
    // those names in that order.
    std::vector<std::string> names;
    for (size_t i = 0; i < sources.size(); ++i) {
        names.push_back(std::string("filter") + char('a' + i) + kPluginExtension);
        WriteFileBytes(folder.File(names.back()), Bytes());
    }
    std::vector<std::string> order = WalkOrder(folder.Path());
    for (size_t i = 0; i < sources.size(); ++i) {
        CopyFileA(sources[i].c_str(), folder.File(order[i]).c_str(), FALSE);
    }
    return order;
}

Bytes MakeTinyPicture(int width, int height, const std::string& comment) {
    std::vector<uint8_t> rgb;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Rgb c = DistinctPixel(x, y);
            rgb.push_back(c.r);
            rgb.push_back(c.g);
            rgb.push_back(c.b);
        }
    }
    return tiny_picture::Make(width, height, rgb, comment);
}

DibPixels::DibPixels(HLOCAL header, HLOCAL pixels)
    : headerBlock_(header),
      pixelBlock_(pixels),
      header_(static_cast<const BITMAPINFOHEADER*>(LocalLock(header))),
      pixels_(static_cast<const uint8_t*>(LocalLock(pixels))) {}

DibPixels::~DibPixels() {
    LocalUnlock(headerBlock_);
    LocalUnlock(pixelBlock_);
    LocalFree(headerBlock_);
    LocalFree(pixelBlock_);
}

Rgba DibPixels::At(int x, int y) const {
    int bits = header_->biBitCount;
    size_t stride = (size_t(Width()) * bits + 31) / 32 * 4;
    int row = header_->biHeight < 0 ? y : Height() - 1 - y;
    const uint8_t* line = pixels_ + stride * size_t(row);
    switch (bits) {
        case 8: {
            const RGBQUAD& c = ColourTable()[line[x]];
            return Rgba{c.rgbRed, c.rgbGreen, c.rgbBlue, 255};
        }
        case 24:
            return Rgba{line[x * 3 + 2], line[x * 3 + 1], line[x * 3], 255};
        case 32:
            return Rgba{line[x * 4 + 2], line[x * 4 + 1], line[x * 4], line[x * 4 + 3]};
        default:
            return Rgba{-1, -1, -1, -1};
    }
}

ComThread::ComThread() : result_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
ComThread::~ComThread() {
    if (SUCCEEDED(result_)) CoUninitialize();
}

Bytes EncodeWithWic(const GUID& container, const WicSource& source) {
    ComThread com;
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> options;
    ComPtr<IWICPalette> palette;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory, reinterpret_cast<void**>(&factory.p))) ||
        FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream.p)) ||
        FAILED(factory->CreateEncoder(container, nullptr, &encoder.p)) ||
        FAILED(encoder->Initialize(stream.p, WICBitmapEncoderNoCache)) ||
        FAILED(encoder->CreateNewFrame(&frame.p, &options.p)) || FAILED(frame->Initialize(options.p)) ||
        FAILED(frame->SetSize(UINT(source.width), UINT(source.height))))
        return Bytes();
    WICPixelFormatGUID format = source.format;
    if (FAILED(frame->SetPixelFormat(&format)) || format != source.format) return Bytes();
    if (!source.palette.empty()) {
        std::vector<WICColor> colours(source.palette.begin(), source.palette.end());
        if (FAILED(factory->CreatePalette(&palette.p)) ||
            FAILED(palette->InitializeCustom(colours.data(), UINT(colours.size()))) ||
            FAILED(frame->SetPalette(palette.p)))
            return Bytes();
    }
    if (FAILED(frame->WritePixels(UINT(source.height), UINT(source.stride), UINT(source.pixels.size()),
                                  const_cast<BYTE*>(source.pixels.data()))) ||
        FAILED(frame->Commit()) || FAILED(encoder->Commit()))
        return Bytes();
    HGLOBAL memory = nullptr;
    if (FAILED(GetHGlobalFromStream(stream.p, &memory))) return Bytes();
    STATSTG stat = {};
    stream->Stat(&stat, STATFLAG_NONAME);
    const uint8_t* data = static_cast<const uint8_t*>(GlobalLock(memory));
    Bytes bytes(data, data + stat.cbSize.LowPart);
    GlobalUnlock(memory);
    return bytes;
}

WicSource Bgr24Source(int width, int height) {
    WicSource source{width, height, GUID_WICPixelFormat24bppBGR, {}, (width * 3 + 3) / 4 * 4, {}};
    source.pixels.resize(size_t(source.stride) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Rgb c = DistinctPixel(x, y);
            uint8_t* p = &source.pixels[size_t(y) * source.stride + x * 3];
            p[0] = c.b;
            p[1] = c.g;
            p[2] = c.r;
        }
    }
    return source;
}

WicSource Bgra32Source(int width, int height, int (*alpha)(int x, int y)) {
    WicSource source{width, height, GUID_WICPixelFormat32bppBGRA, {}, width * 4, {}};
    source.pixels.resize(size_t(source.stride) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Rgb c = DistinctPixel(x, y);
            uint8_t* p = &source.pixels[size_t(y) * source.stride + x * 4];
            p[0] = c.b;
            p[1] = c.g;
            p[2] = c.r;
            p[3] = uint8_t(alpha(x, y));
        }
    }
    return source;
}

WicSource Indexed8Source(int width, int height) {
    WicSource source{width, height, GUID_WICPixelFormat8bppIndexed, {}, (width + 3) / 4 * 4, {}};
    source.pixels.resize(size_t(source.stride) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Rgb c = DistinctPixel(x, y);
            source.pixels[size_t(y) * source.stride + x] = uint8_t(source.palette.size());
            source.palette.push_back(0xFF000000u | uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b);
        }
    }
    return source;
}

WicSource SolidSource(int width, int height, Rgb colour) {
    WicSource source{width, height, GUID_WICPixelFormat24bppBGR, {}, (width * 3 + 3) / 4 * 4, {}};
    source.pixels.resize(size_t(source.stride) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &source.pixels[size_t(y) * source.stride + x * 3];
            p[0] = colour.b;
            p[1] = colour.g;
            p[2] = colour.r;
        }
    }
    return source;
}

Bytes MakeIcon(const std::vector<IconImage>& images) {
    Bytes out;
    PutU16(out, 0);
    PutU16(out, 1);
    PutU16(out, uint32_t(images.size()));
    uint32_t offset = 6 + 16 * uint32_t(images.size());
    for (const IconImage& image : images) {
        PutU8(out, image.width >= 256 ? 0 : image.width);
        PutU8(out, image.height >= 256 ? 0 : image.height);
        PutU8(out, 0);  // colours
        PutU8(out, 0);  // reserved
        PutU16(out, 1);
        PutU16(out, image.bits);
        PutU32(out, uint32_t(image.data.size()));
        PutU32(out, offset);
        offset += uint32_t(image.data.size());
    }
    for (const IconImage& image : images) PutBytes(out, image.data.data(), image.data.size());
    return out;
}
