#include "plugins/wic/wic_decoder.h"

#include "image/exif_reader.h"
#include "image/icc_reader.h"

#include <icm.h>
#include <objbase.h>
#include <wincodec.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace {

// The largest pixel block handed back: a 32-bit process cannot hold much
// more, and a hostile header must not make it try.
constexpr uint64_t kMaxPixelBytes = 1024ull * 1024 * 1024;

// Owns one COM interface pointer.
template <typename T>
class Com {
public:
    Com() = default;
    ~Com() {
        if (p_) p_->Release();
    }
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T** out() {
        if (p_) p_->Release();
        p_ = nullptr;
        return &p_;
    }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

// COM for the calling thread for the length of one call. The host may call
// from its user-interface thread (COM perhaps set up already, in either
// model) or from a fresh worker thread (no COM at all).
class ComScope {
public:
    ComScope() : result_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    // RPC_E_CHANGED_MODE: the thread already has an apartment, usable as is.
    bool usable() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

private:
    HRESULT result_;
};

// BMP is the program's own; every other format the system decodes is read
// here (JPEG too: the program's reader refuses CMYK and YCCK ones).
bool IsReadFormat(const GUID& container) {
    return container != GUID_ContainerFormatBmp;
}

bool MakeFactory(Com<IWICImagingFactory>* factory) {
    return SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IWICImagingFactory, reinterpret_cast<void**>(factory->out())));
}

// Calls visit(info, container) for each decoder installed in the system's
// WIC until it answers true.
template <typename Visit>
void ForEachDecoder(IWICImagingFactory* factory, Visit visit) {
    Com<IEnumUnknown> list;
    if (FAILED(factory->CreateComponentEnumerator(WICDecoder, WICComponentEnumerateDefault, list.out())))
        return;
    for (;;) {
        Com<IUnknown> item;
        ULONG got = 0;
        if (list->Next(1, item.out(), &got) != S_OK || got != 1) return;
        Com<IWICBitmapDecoderInfo> info;
        GUID container;
        if (FAILED(item->QueryInterface(IID_IWICBitmapDecoderInfo, reinterpret_cast<void**>(info.out()))) ||
            FAILED(info->GetContainerFormat(&container)))
            continue;
        if (visit(info.get(), container)) return;
    }
}

// A text the component hands out through a (length, buffer, actual) call.
template <typename Get>
std::string ComponentText(Get get) {
    UINT length = 0;
    if (FAILED(get(0, nullptr, &length)) || length == 0 || length > 4096) return std::string();
    std::wstring wide(length, L'\0');
    if (FAILED(get(length, &wide[0], &length))) return std::string();
    char narrow[4096 * 2] = {};
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, narrow, sizeof(narrow) - 1, nullptr, nullptr);
    return narrow;
}

// The patterns of a decoder's extensions (".tif,.tiff" or ".tif;.tiff" becomes
// "*.tif;*.tiff"), leaving out those an earlier decoder claimed.
std::string PatternsOf(const std::string& extensions, std::vector<std::string>* claimed) {
    std::string patterns, extension;
    for (size_t i = 0; i <= extensions.size(); ++i) {
        const char c = i < extensions.size() ? extensions[i] : ',';
        if (c != ',' && c != ';') {  // WIC's lists use either
            if (c != ' ' && c != '.' && c != '*') extension += char(c >= 'A' && c <= 'Z' ? c + 32 : c);
            continue;
        }
        if (!extension.empty() && std::find(claimed->begin(), claimed->end(), extension) == claimed->end()) {
            claimed->push_back(extension);
            patterns += (patterns.empty() ? "*." : ";*.") + extension;
        }
        extension.clear();
    }
    return patterns;
}

std::vector<WicFormat> EnumerateFormats() {
    std::vector<WicFormat> formats;
    ComScope com;
    Com<IWICImagingFactory> factory;
    if (!com.usable() || !MakeFactory(&factory)) return formats;
    std::vector<std::string> claimed;
    ForEachDecoder(factory.get(), [&](IWICBitmapDecoderInfo* info, const GUID& container) {
        if (container == GUID_ContainerFormatBmp || container == GUID_ContainerFormatJpeg) return false;
        WicFormat format;
        format.patterns = PatternsOf(ComponentText([&](UINT n, WCHAR* text, UINT* got) {
                                         return info->GetFileExtensions(n, text, got);
                                     }),
                                     &claimed);
        format.name = ComponentText(
            [&](UINT n, WCHAR* text, UINT* got) { return info->GetFriendlyName(n, text, got); });
        // A group must fit the buffer the interface's hosts give (100 bytes).
        if (!format.patterns.empty() && format.patterns.size() < 100) formats.push_back(format);
        return false;
    });
    return formats;
}

// Everything needed to decode one picture; members are declared in the
// order they must be released in reverse.
struct Session {
    Com<IWICImagingFactory> factory;
    Com<IWICStream> stream;
    Com<IWICBitmapDecoder> decoder;
    Com<IWICBitmapFrameDecode> frame;
    std::vector<uint8_t> fileBytes;  // a file read at an offset, kept for the stream
};

std::wstring Widen(const char* text) {
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], length);
    wide.resize(static_cast<size_t>(length - 1));
    return wide;
}

int OpenDecoder(const WicInput& input, Session* session) {
    if (!MakeFactory(&session->factory)) return kWicInternalError;
    HRESULT result;
    if (input.memory) {
        if (input.size > 0xFFFFFFFFu) return kWicNoMemory;
        if (FAILED(session->factory->CreateStream(session->stream.out())) ||
            FAILED(session->stream->InitializeFromMemory(const_cast<BYTE*>(input.memory),
                                                         static_cast<DWORD>(input.size))))
            return kWicInternalError;
        result = session->factory->CreateDecoderFromStream(
            session->stream.get(), nullptr, WICDecodeMetadataCacheOnDemand, session->decoder.out());
    } else {
        std::wstring path = Widen(input.path);
        if (path.empty()) return kWicReadError;
        if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return kWicReadError;
        result = session->factory->CreateDecoderFromFilename(
            path.c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand, session->decoder.out());
    }
    if (FAILED(result)) return kWicUnknownFormat;
    GUID container;
    if (FAILED(session->decoder->GetContainerFormat(&container)) || !IsReadFormat(container))
        return kWicUnknownFormat;
    return kWicOk;
}

// The frame to show: the first page or frame, except that of an icon's
// images the largest is the picture and, for a preview, the smallest that
// still fills the preview.
int SelectFrame(Session* session, bool preview) {
    UINT count = 0;
    if (FAILED(session->decoder->GetFrameCount(&count)) || count == 0) return kWicBroken;
    GUID container;
    session->decoder->GetContainerFormat(&container);
    UINT chosen = 0;
    if (container == GUID_ContainerFormatIco && count > 1) {
        uint64_t chosenArea = 0;
        bool chosenFills = false;
        for (UINT i = 0; i < count; ++i) {
            Com<IWICBitmapFrameDecode> frame;
            UINT width = 0, height = 0;
            if (FAILED(session->decoder->GetFrame(i, frame.out())) || FAILED(frame->GetSize(&width, &height)))
                continue;
            uint64_t area = uint64_t(width) * height;
            bool fills = preview && (width >= UINT(kWicPreviewSide) || height >= UINT(kWicPreviewSide));
            bool better = chosenArea == 0 || (fills && !chosenFills) ||
                          (fills == chosenFills && (fills ? area < chosenArea : area > chosenArea));
            if (better) {
                chosen = i;
                chosenArea = area;
                chosenFills = fills;
            }
        }
    }
    return SUCCEEDED(session->decoder->GetFrame(chosen, session->frame.out())) ? kWicOk : kWicBroken;
}

// Whether the frame carries transparency: an alpha channel in its pixel
// format, or a palette with a see-through entry.
bool HasAlpha(Session* session) {
    WICPixelFormatGUID format;
    if (FAILED(session->frame->GetPixelFormat(&format))) return false;
    static const GUID* const kAlphaFormats[] = {
        &GUID_WICPixelFormat16bppBGRA5551,       &GUID_WICPixelFormat32bppBGRA,
        &GUID_WICPixelFormat32bppPBGRA,          &GUID_WICPixelFormat32bppRGBA,
        &GUID_WICPixelFormat32bppPRGBA,          &GUID_WICPixelFormat64bppRGBA,
        &GUID_WICPixelFormat64bppPRGBA,          &GUID_WICPixelFormat64bppRGBAHalf,
        &GUID_WICPixelFormat64bppRGBAFixedPoint, &GUID_WICPixelFormat128bppRGBAFloat,
        &GUID_WICPixelFormat128bppPRGBAFloat,
    };
    for (const GUID* alpha : kAlphaFormats) {
        if (format == *alpha) return true;
    }
    static const GUID* const kIndexedFormats[] = {
        &GUID_WICPixelFormat1bppIndexed, &GUID_WICPixelFormat2bppIndexed, &GUID_WICPixelFormat4bppIndexed,
        &GUID_WICPixelFormat8bppIndexed};
    for (const GUID* indexed : kIndexedFormats) {
        if (format != *indexed) continue;
        Com<IWICPalette> palette;
        BOOL alpha = FALSE;
        if (SUCCEEDED(session->factory->CreatePalette(palette.out())) &&
            SUCCEEDED(session->frame->CopyPalette(palette.get())) && SUCCEEDED(palette->HasAlpha(&alpha)))
            return alpha != FALSE;
        return false;
    }
    return false;
}

int BitsPerPixel(Session* session) {
    WICPixelFormatGUID format;
    Com<IWICComponentInfo> info;
    Com<IWICPixelFormatInfo> formatInfo;
    UINT bits = 0;
    if (FAILED(session->frame->GetPixelFormat(&format)) ||
        FAILED(session->factory->CreateComponentInfo(format, info.out())) ||
        FAILED(info->QueryInterface(IID_IWICPixelFormatInfo, reinterpret_cast<void**>(formatInfo.out()))) ||
        FAILED(formatInfo->GetBitsPerPixel(&bits)))
        return 0;
    return static_cast<int>(bits);
}

// A converter from source to format in converter; false when refused.
bool Convert(Session* session, IWICBitmapSource* source, const GUID& format,
             Com<IWICFormatConverter>* converter) {
    return SUCCEEDED(session->factory->CreateFormatConverter(converter->out())) &&
           SUCCEEDED((*converter)
                         ->Initialize(source, format, WICBitmapDitherTypeNone, nullptr, 0.0,
                                      WICBitmapPaletteTypeCustom));
}

// What the picture's header block tells the host besides the picture.
struct WicExtras {
    int orientation = 0;
    std::vector<uint8_t> profile;
};

// Unlocks and frees the blocks of a failed decode.
void Discard(HLOCAL* header, HLOCAL* pixels) {
    if (*header) LocalFree(*header);
    if (*pixels) LocalFree(*pixels);
    *header = nullptr;
    *pixels = nullptr;
}

// Copies source into a fresh top-row-first picture, in bands so that the
// caller's progress callback is asked about twenty times.
int CopyToBlocks(IWICBitmapSource* source, int bits, const WicFacts& facts, const WicExtras& extras,
                 HLOCAL* header, HLOCAL* pixels, WicProgress progress, intptr_t userData) {
    UINT width = 0, height = 0;
    if (FAILED(source->GetSize(&width, &height)) || width == 0 || height == 0 || width > 0x7FFFFFFF ||
        height > 0x7FFFFFFF)
        return kWicBroken;
    uint64_t stride = (uint64_t(width) * bits + 31) / 32 * 4;
    uint64_t total = stride * height;
    if (total > kMaxPixelBytes) return kWicNoMemory;

    // A version 5 header only when there is something to say in it: the
    // profile behind it, the orientation in its last field.
    const bool v5 = extras.orientation != 0 || !extras.profile.empty() || bits == 32;
    const size_t headerBytes = v5 ? sizeof(BITMAPV5HEADER) + extras.profile.size() : sizeof(BITMAPINFOHEADER);
    *header = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, headerBytes);
    *pixels = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, static_cast<SIZE_T>(total));
    if (!*header || !*pixels) {
        Discard(header, pixels);
        return kWicNoMemory;
    }
    auto* info = static_cast<BITMAPINFOHEADER*>(LocalLock(*header));
    info->biSize = v5 ? sizeof(BITMAPV5HEADER) : sizeof(BITMAPINFOHEADER);
    info->biWidth = static_cast<LONG>(width);
    info->biHeight = -static_cast<LONG>(height);  // top row first, as WIC delivers the rows
    info->biPlanes = 1;
    info->biBitCount = static_cast<WORD>(bits);
    info->biCompression = BI_RGB;
    info->biSizeImage = static_cast<DWORD>(total);
    info->biXPelsPerMeter = MulDiv(facts.dpiX, 10000, 254);
    info->biYPelsPerMeter = MulDiv(facts.dpiY, 10000, 254);
    if (v5) {
        auto* more = reinterpret_cast<BITMAPV5HEADER*>(info);
        // "sRGB" and "MBED", spelled as numbers (the headers use multi-character constants).
        more->bV5CSType = extras.profile.empty() ? 0x73524742 : 0x4D424544;
        more->bV5Intent = LCS_GM_IMAGES;
        more->bV5ProfileData = extras.profile.empty() ? 0 : sizeof(BITMAPV5HEADER);
        more->bV5ProfileSize = static_cast<DWORD>(extras.profile.size());
        more->bV5Reserved =
            kWicOrientationTag | DWORD(extras.orientation) | (bits == 32 ? kWicPremultiplied : 0);
        if (!extras.profile.empty())
            std::memcpy(reinterpret_cast<uint8_t*>(more) + sizeof(BITMAPV5HEADER), extras.profile.data(),
                        extras.profile.size());
    }
    LocalUnlock(*header);

    auto* out = static_cast<uint8_t*>(LocalLock(*pixels));
    int answer = progress(0, static_cast<int>(height), userData) ? kWicStopped : kWicOk;
    UINT band = height / 20 > 0 ? height / 20 : 1;
    for (UINT top = 0; top < height && answer == kWicOk; top += band) {
        UINT rows = height - top < band ? height - top : band;
        WICRect rect = {0, static_cast<INT>(top), static_cast<INT>(width), static_cast<INT>(rows)};
        if (FAILED(source->CopyPixels(&rect, static_cast<UINT>(stride), static_cast<UINT>(stride * rows),
                                      out + stride * top)))
            answer = kWicBroken;
        else if (progress(static_cast<int>(top + rows), static_cast<int>(height), userData))
            answer = kWicStopped;
    }
    LocalUnlock(*pixels);
    if (answer != kWicOk) Discard(header, pixels);
    return answer;
}

// Bytes of the input at offset, as many as there are up to size.
std::vector<uint8_t> ReadInputBytes(const WicInput& input, uint64_t offset, size_t size) {
    std::vector<uint8_t> bytes;
    if (input.memory) {
        if (offset < input.size)
            bytes.assign(input.memory + offset,
                         input.memory + offset + std::min<uint64_t>(size, input.size - offset));
        return bytes;
    }
    HANDLE file = CreateFileW(Widen(input.path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    LARGE_INTEGER at;
    at.QuadPart = LONGLONG(offset);
    DWORD got = 0;
    bytes.resize(size);
    if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN) ||
        !ReadFile(file, bytes.data(), DWORD(size), &got, nullptr))
        got = 0;
    CloseHandle(file);
    bytes.resize(got);
    return bytes;
}

// A TIFF's orientation from its first directory, read here: the system's
// metadata reader was seen looping on damaged directories. Only the head
// and that directory are read, laid out as a small TIFF block of their own.
int ReadTiffOrientation(const WicInput& input) {
    std::vector<uint8_t> block = ReadInputBytes(input, 0, 8);
    if (block.size() < 8) return 0;
    const bool big = block[0] == 'M';
    const uint64_t directory = big ? uint64_t(block[4]) << 24 | block[5] << 16 | block[6] << 8 | block[7]
                                   : uint64_t(block[7]) << 24 | block[6] << 16 | block[5] << 8 | block[4];
    constexpr size_t kEntriesRead = 64;
    const std::vector<uint8_t> entries = ReadInputBytes(input, directory, 2 + 12 * kEntriesRead);
    block[4] = block[5] = block[6] = block[7] = 0;
    block[big ? 7 : 4] = 8;
    block.insert(block.end(), entries.begin(), entries.end());
    return ExifOrientationFromTiff(block.data(), block.size());
}

// The EXIF orientation 1-8 the picture names, or 0: TIFF directories read
// here, the photo property of other formats through the frame's metadata.
int ReadOrientation(Session* session, const WicInput& input) {
    GUID container;
    if (FAILED(session->decoder->GetContainerFormat(&container))) return 0;
    if (container == GUID_ContainerFormatTiff) return ReadTiffOrientation(input);
    if (container != GUID_ContainerFormatJpeg && container != GUID_ContainerFormatHeif) return 0;
    Com<IWICMetadataQueryReader> reader;
    if (FAILED(session->frame->GetMetadataQueryReader(reader.out()))) return 0;
    for (const wchar_t* name : {L"/app1/ifd/{ushort=274}", L"System.Photo.Orientation"}) {
        PROPVARIANT value;
        PropVariantInit(&value);
        const int found =
            SUCCEEDED(reader->GetMetadataByName(name, &value)) && value.vt == VT_UI2 ? value.uiVal : 0;
        PropVariantClear(&value);
        if (found >= 1 && found <= 8) return found;
    }
    return 0;
}

// The bytes of the frame's first ICC colour context (PNG iCCP, JPEG APP2,
// TIFF, WebP, HEIF), or none. A profile too large for the header block the
// host takes over is left out: the picture is shown unmanaged.
std::vector<uint8_t> ReadProfile(Session* session) {
    constexpr UINT kLargestProfile = 512 * 1024;
    UINT count = 0;
    if (FAILED(session->frame->GetColorContexts(0, nullptr, &count)) || count == 0 || count > 16) return {};
    std::vector<IWICColorContext*> contexts(count, nullptr);
    std::vector<uint8_t> profile;
    bool made = true;
    for (IWICColorContext*& context : contexts)
        made = made && SUCCEEDED(session->factory->CreateColorContext(&context));
    WICColorContextType type;
    UINT size = 0;
    if (made && SUCCEEDED(session->frame->GetColorContexts(count, contexts.data(), &count)) && count > 0 &&
        SUCCEEDED(contexts[0]->GetType(&type)) && type == WICColorContextProfile &&
        SUCCEEDED(contexts[0]->GetProfileBytes(0, nullptr, &size)) && size > 0 && size <= kLargestProfile) {
        profile.resize(size);
        if (FAILED(contexts[0]->GetProfileBytes(size, profile.data(), &size))) profile.clear();
        profile.resize(size < profile.size() ? size : profile.size());
    }
    for (IWICColorContext* context : contexts)
        if (context) context->Release();
    return profile;
}

// The ICC profile of a JPEG file's APP2 segments, from the bytes before
// its picture data (read up to 4 MB), or none.
std::vector<uint8_t> ReadJpegProfile(const WicInput& input) {
    constexpr size_t kHead = 4 * 1024 * 1024;
    if (input.memory) return IccProfileOfJpeg(input.memory, std::min(input.size, kHead));
    HANDLE file = CreateFileA(input.path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::vector<uint8_t> head(kHead);
    DWORD read = 0;
    if (!ReadFile(file, head.data(), DWORD(head.size()), &read, nullptr)) read = 0;
    CloseHandle(file);
    return IccProfileOfJpeg(head.data(), read);
}

// A CMYK picture with its press's profile, converted through that profile
// to sRGB by the Windows colour system (perceptual): the picture bitmap
// holds the result, 32 bits a pixel. False when the profile is no CMYK
// one, or the colour system or the memory fails; the usual formula then
// serves.
bool ConvertCmykThroughProfile(Session* session, const std::vector<uint8_t>& profile,
                               Com<IWICBitmap>* picture) {
    if (profile.size() < 132 || std::memcmp(profile.data() + 16, "CMYK", 4) != 0) return false;
    UINT width = 0, height = 0;
    if (FAILED(session->frame->GetSize(&width, &height)) || width == 0 || height == 0 ||
        uint64_t(width) * height * 4 > kMaxPixelBytes)
        return false;
    char srgbPath[MAX_PATH];
    DWORD pathSize = sizeof srgbPath;
    // LCS_sRGB, spelt as the number its four letters make.
    if (!GetStandardColorSpaceProfileA(nullptr, 0x73524742, srgbPath, &pathSize)) return false;
    PROFILE from{PROFILE_MEMBUFFER, const_cast<uint8_t*>(profile.data()), DWORD(profile.size())};
    PROFILE to{PROFILE_FILENAME, srgbPath, DWORD(std::strlen(srgbPath) + 1)};
    HPROFILE pair[2] = {OpenColorProfileA(&from, PROFILE_READ, FILE_SHARE_READ, OPEN_EXISTING),
                        OpenColorProfileA(&to, PROFILE_READ, FILE_SHARE_READ, OPEN_EXISTING)};
    DWORD intents[2] = {INTENT_PERCEPTUAL, INTENT_PERCEPTUAL};
    HTRANSFORM transform = pair[0] && pair[1]
                               ? CreateMultiProfileTransform(pair, 2, intents, 2, BEST_MODE, INDEX_DONT_CARE)
                               : nullptr;
    for (HPROFILE opened : pair)
        if (opened) CloseColorProfile(opened);
    if (!transform) return false;
    bool done = false;
    try {
        // WIC's CMYK bytes lie cyan first, as the colour system's "KYMC"
        // quads (named as a 32-bit number reads them) do; the result comes
        // as quads of blue, green, red and one unused byte.
        const UINT stride = width * 4;
        std::vector<BYTE> cmyk(size_t(stride) * height), bgr(size_t(stride) * height);
        done = SUCCEEDED(session->frame->CopyPixels(nullptr, stride, UINT(cmyk.size()), cmyk.data())) &&
               TranslateBitmapBits(transform, cmyk.data(), BM_KYMCQUADS, width, height, stride, bgr.data(),
                                   BM_xRGBQUADS, stride, nullptr, 0) &&
               SUCCEEDED(session->factory->CreateBitmapFromMemory(width, height, GUID_WICPixelFormat32bppBGR,
                                                                  stride, UINT(bgr.size()), bgr.data(),
                                                                  picture->out()));
    } catch (const std::bad_alloc&) {
        done = false;
    }
    DeleteColorTransform(transform);
    return done;
}

void ReadFactsOfFrame(Session* session, WicFacts* facts) {
    UINT width = 0, height = 0;
    session->frame->GetSize(&width, &height);
    facts->width = static_cast<int>(width);
    facts->height = static_cast<int>(height);
    facts->bitsPerPixel = BitsPerPixel(session);
    double dpiX = 0, dpiY = 0;
    if (SUCCEEDED(session->frame->GetResolution(&dpiX, &dpiY))) {
        facts->dpiX = dpiX > 0 && dpiX < 65535 ? static_cast<int>(dpiX + 0.5) : 0;
        facts->dpiY = dpiY > 0 && dpiY < 65535 ? static_cast<int>(dpiY + 0.5) : 0;
    }
}

}  // namespace

bool HasWicSignature(const uint8_t* head, size_t size) {
    static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size >= 8 && std::memcmp(head, kPng, 8) == 0) return true;
    if (size >= 6 && (std::memcmp(head, "GIF87a", 6) == 0 || std::memcmp(head, "GIF89a", 6) == 0))
        return true;
    if (size >= 4 && (std::memcmp(head, "II*\0", 4) == 0 || std::memcmp(head, "MM\0*", 4) == 0)) return true;
    // An icon's signature is weak (0, 1 and a count), so its first directory
    // entry must be plausible too: reserved byte 0, at most one plane, a
    // known depth, and image data after the directory.
    if (size >= 22 && head[0] == 0 && head[1] == 0 && head[2] == 1 && head[3] == 0) {
        unsigned count = head[4] | head[5] << 8;
        const uint8_t* entry = head + 6;
        unsigned planes = entry[4] | entry[5] << 8;
        unsigned bits = entry[6] | entry[7] << 8;
        uint32_t bytes = entry[8] | entry[9] << 8 | entry[10] << 16 | uint32_t(entry[11]) << 24;
        uint32_t offset = entry[12] | entry[13] << 8 | entry[14] << 16 | uint32_t(entry[15]) << 24;
        bool knownBits =
            bits == 0 || bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
        return count > 0 && entry[3] == 0 && planes <= 1 && knownBits && bytes > 0 &&
               offset >= 6 + 16 * count;
    }
    return false;
}

const std::vector<WicFormat>& WicFormats() {
    static const std::vector<WicFormat> formats = EnumerateFormats();
    return formats;
}

bool WicMatchesPattern(const uint8_t* head, size_t size) {
    ComScope com;
    Com<IWICImagingFactory> factory;
    Com<IWICStream> stream;
    if (!com.usable() || size == 0 || !MakeFactory(&factory) || FAILED(factory->CreateStream(stream.out())) ||
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(head), static_cast<DWORD>(size))))
        return false;
    bool matches = false;
    ForEachDecoder(factory.get(), [&](IWICBitmapDecoderInfo* info, const GUID& container) {
        // An icon's signature is too weak to trust alone: HasWicSignature
        // judges icons.
        if (container == GUID_ContainerFormatBmp || container == GUID_ContainerFormatIco) return false;
        BOOL found = FALSE;
        matches = SUCCEEDED(info->MatchesPattern(stream.get(), &found)) && found;
        return matches;
    });
    return matches;
}

int WicReadFacts(const WicInput& input, WicFacts* facts) {
    ComScope com;
    if (!com.usable()) return kWicInternalError;
    Session session;
    int answer = OpenDecoder(input, &session);
    if (answer == kWicOk) answer = SelectFrame(&session, false);
    if (answer == kWicOk) ReadFactsOfFrame(&session, facts);
    return answer;
}

int WicDecode(const WicInput& input, bool preview, HLOCAL* header, HLOCAL* pixels, WicProgress progress,
              intptr_t userData) {
    *header = nullptr;
    *pixels = nullptr;
    ComScope com;
    if (!com.usable()) return kWicInternalError;
    Session session;
    int answer = OpenDecoder(input, &session);
    if (answer == kWicOk) answer = SelectFrame(&session, preview);
    if (answer != kWicOk) return answer;
    WicFacts facts;
    ReadFactsOfFrame(&session, &facts);
    if (facts.width <= 0 || facts.height <= 0) return kWicBroken;

    // Colours premultiplied by alpha are the picture composited onto black,
    // which is what a display that ignores the fourth byte shows; the alpha
    // stays there for whoever wants it. Scaling premultiplied pixels also
    // keeps the colours of see-through pixels from bleeding into the rest.
    bool alpha = HasAlpha(&session);
    WICPixelFormatGUID format;
    if (FAILED(session.frame->GetPixelFormat(&format))) return kWicBroken;
    IWICBitmapSource* source = session.frame.get();
    Com<IWICFormatConverter> toBgra;
    Com<IWICFormatConverter> toTarget;
    WicExtras extras;
    extras.orientation = ReadOrientation(&session, input);
    extras.profile = ReadProfile(&session);
    // Some systems' JPEG decoders report no colour context; the profile is
    // then read from the file's own segments.
    const bool cmyk = format == GUID_WICPixelFormat32bppCMYK;
    if (cmyk && extras.profile.empty()) extras.profile = ReadJpegProfile(input);
    Com<IWICBitmap> fromCmyk;
    if (cmyk && ConvertCmykThroughProfile(&session, extras.profile, &fromCmyk)) {
        if (!Convert(&session, fromCmyk.get(), GUID_WICPixelFormat24bppBGR, &toTarget)) return kWicBroken;
        source = toTarget.get();
    } else if (alpha) {
        if (!Convert(&session, source, GUID_WICPixelFormat32bppPBGRA, &toTarget)) return kWicBroken;
        source = toTarget.get();
    } else if (format != GUID_WICPixelFormat24bppBGR) {
        // Some converters (Wine's among them) turn indexed and grey pixels
        // into 32-bit ones only; that step is exact, and so is the next.
        if (!Convert(&session, source, GUID_WICPixelFormat32bppBGRA, &toBgra) ||
            !Convert(&session, toBgra.get(), GUID_WICPixelFormat24bppBGR, &toTarget))
            return kWicBroken;
        source = toTarget.get();
    }

    Com<IWICBitmapScaler> scaler;
    int longer = facts.width > facts.height ? facts.width : facts.height;
    if (preview && longer > kWicPreviewSide) {
        UINT width = static_cast<UINT>(MulDiv(facts.width, kWicPreviewSide, longer));
        UINT height = static_cast<UINT>(MulDiv(facts.height, kWicPreviewSide, longer));
        if (width == 0) width = 1;
        if (height == 0) height = 1;
        if (FAILED(session.factory->CreateBitmapScaler(scaler.out())) ||
            FAILED(scaler->Initialize(source, width, height, WICBitmapInterpolationModeFant)))
            return kWicBroken;
        source = scaler.get();
    }
    // The pixels are sRGB or the formula's by now: the host manages RGB
    // pictures only, and a CMYK profile would mislead it.
    if (cmyk) extras.profile.clear();
    return CopyToBlocks(source, alpha ? 32 : 24, facts, extras, header, pixels, progress, userData);
}
