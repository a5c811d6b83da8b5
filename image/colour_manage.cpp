#include "image/colour_manage.h"

#include <icm.h>

#include <algorithm>
#include <cstring>
#include <atomic>
#include <list>
#include <mutex>
#include <string>
#include <thread>

#include "image/dib_image.h"
#include "image/icc_reader.h"

namespace {
struct TransformHandle {
    HTRANSFORM handle = nullptr;
    ~TransformHandle() {
        if (handle) DeleteColorTransform(handle);
    }
};
using SharedTransform = std::shared_ptr<const TransformHandle>;

// The transforms made, newest first; a refused pair is kept too, with no
// handle, so that it is not asked for again.
struct CachedTransform {
    std::string key;
    SharedTransform transform;
};
constexpr size_t kKeptTransforms = 8;
std::mutex cacheLock;
std::list<CachedTransform> cache;
std::atomic<int> transformsMade{0};

struct ProfileHandle {
    HPROFILE handle = nullptr;
    ~ProfileHandle() {
        if (handle) CloseColorProfile(handle);
    }
};

HPROFILE OpenProfileBytes(const std::vector<uint8_t>& bytes) {
    PROFILE profile{PROFILE_MEMBUFFER, const_cast<uint8_t*>(bytes.data()), DWORD(bytes.size())};
    return OpenColorProfileA(&profile, PROFILE_READ, FILE_SHARE_READ, OPEN_EXISTING);
}

HPROFILE OpenSrgb() {
    char path[MAX_PATH];
    DWORD size = sizeof path;
    // LCS_sRGB, spelt as the number its four letters make.
    if (!GetStandardColorSpaceProfileA(nullptr, 0x73524742, path, &size)) return nullptr;
    PROFILE profile{PROFILE_FILENAME, path, DWORD(std::strlen(path) + 1)};
    return OpenColorProfileA(&profile, PROFILE_READ, FILE_SHARE_READ, OPEN_EXISTING);
}

SharedTransform MakeTransform(const std::vector<uint8_t>& source, const DisplayProfile& display) {
    auto made = std::make_shared<TransformHandle>();
    ++transformsMade;
    ProfileHandle from, to;
    from.handle = OpenProfileBytes(source);
    to.handle = display ? OpenProfileBytes(*display) : OpenSrgb();
    if (!from.handle || !to.handle) return made;
    HPROFILE pair[2] = {from.handle, to.handle};
    DWORD intents[2] = {INTENT_PERCEPTUAL, INTENT_PERCEPTUAL};
    made->handle = CreateMultiProfileTransform(pair, 2, intents, 2, BEST_MODE, INDEX_DONT_CARE);
    return made;
}

SharedTransform TransformFor(const std::vector<uint8_t>& source, const DisplayProfile& display) {
    std::string key(source.begin(), source.end());
    key += '\0';
    if (display) key.append(display->begin(), display->end());
    std::lock_guard<std::mutex> hold(cacheLock);
    for (auto it = cache.begin(); it != cache.end(); ++it) {
        if (it->key != key) continue;
        cache.splice(cache.begin(), cache, it);
        return it->transform;
    }
    SharedTransform made = MakeTransform(source, display);
    cache.push_front(CachedTransform{std::move(key), made});
    if (cache.size() > kKeptTransforms) cache.pop_back();
    return made;
}

// Rows [first, end) of a picture in place; the fourth byte of 32-bit
// pixels is put back, whatever the colour system did with it.
bool TranslateRows(HTRANSFORM transform, BYTE* rows, int width, int count, int bits, size_t stride) {
    const BMFORMAT format = bits == 32 ? BM_xRGBQUADS : BM_RGBTRIPLETS;
    std::vector<BYTE> alpha;
    if (bits == 32) {
        alpha.resize(size_t(width) * size_t(count));
        for (int y = 0; y < count; ++y)
            for (int x = 0; x < width; ++x) alpha[size_t(y) * width + x] = rows[y * stride + 4 * x + 3];
    }
    const bool done = TranslateBitmapBits(transform, rows, format, DWORD(width), DWORD(count), DWORD(stride), rows,
                                          format, DWORD(stride), nullptr, 0);
    for (int y = 0; y < int(alpha.empty() ? 0 : count); ++y)
        for (int x = 0; x < width; ++x) rows[y * stride + 4 * x + 3] = alpha[size_t(y) * width + x];
    return done;
}

// The pixels in bands, one per processor: a large photo is converted in a
// fraction of its decoding time.
bool TranslatePixels(HTRANSFORM transform, BYTE* pixels, int width, int height, int bits, size_t stride) {
    const int bands = height < 64 ? 1 : int(std::min<unsigned>(4, std::max(1u, std::thread::hardware_concurrency())));
    const int rowsPerBand = (height + bands - 1) / bands;
    std::vector<std::thread> helpers;
    std::atomic<bool> allDone{true};
    auto band = [&](int first) {
        const int count = std::min(rowsPerBand, height - first);
        if (count > 0 && !TranslateRows(transform, pixels + size_t(first) * stride, width, count, bits, stride))
            allDone = false;
    };
    for (int b = 1; b < bands; ++b) helpers.emplace_back(band, b * rowsPerBand);
    band(0);
    for (std::thread& helper : helpers) helper.join();
    return allDone;
}
}  // namespace

DisplayProfile DisplayProfileOf(HWND window) {
    HDC dc = GetDC(window);
    char path[MAX_PATH] = "";
    DWORD size = sizeof path;
    const BOOL found = dc && GetICMProfileA(dc, &size, path);
    if (dc) ReleaseDC(window, dc);
    if (!found) return nullptr;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    auto bytes = std::make_shared<std::vector<uint8_t>>();
    LARGE_INTEGER length;
    DWORD read = 0;
    // A display profile is a few kilobytes; anything past 16 MB is no profile.
    if (GetFileSizeEx(file, &length) && length.QuadPart > 0 && length.QuadPart < (16 << 20)) {
        bytes->resize(size_t(length.QuadPart));
        if (!ReadFile(file, bytes->data(), DWORD(bytes->size()), &read, nullptr) || read != bytes->size())
            bytes->clear();
    }
    CloseHandle(file);
    // sRGB, or a file that holds no profile: the default needs no bytes.
    if (!IsWholeIccProfile(bytes->data(), bytes->size()) || IsSrgbProfile(bytes->data(), bytes->size()))
        return nullptr;
    return bytes;
}

bool SameDisplayProfile(const DisplayProfile& a, const DisplayProfile& b) {
    if (!a || !b) return !a && !b;
    return a == b || *a == *b;
}

namespace {
// The transform a picture tagged with profile needs on display, or null
// when it needs none or the colour system cannot make one.
SharedTransform NeededTransform(const std::vector<uint8_t>& profile, const DisplayProfile& display) {
    if (profile.empty() || !IsWholeIccProfile(profile.data(), profile.size()) ||
        IccColourSpace(profile.data()) != kIccRgbSpace)
        return nullptr;
    if (!display && IsSrgbProfile(profile.data(), profile.size())) return nullptr;
    SharedTransform transform = TransformFor(profile, display);
    return transform->handle ? transform : nullptr;
}
}  // namespace

bool ManageColourRows(const std::vector<uint8_t>& profile, const DisplayProfile& display, BYTE* rows,
                      int width, int height, size_t stride, int bits) {
    if (!rows || width <= 0 || height <= 0 || (bits != 24 && bits != 32)) return false;
    SharedTransform transform = NeededTransform(profile, display);
    return transform && TranslatePixels(transform->handle, rows, width, height, bits, stride);
}

bool ManageColours(const std::vector<uint8_t>& profile, const DisplayProfile& display,
                   BITMAPINFOHEADER* header, BYTE* pixels) {
    if (profile.empty() || !header || !pixels) return false;
    const int bits = header->biBitCount;
    const bool table = bits <= 8 && bits > 0;
    if (!table && !((bits == 24 || bits == 32) && header->biCompression == BI_RGB)) return false;
    SharedTransform transform = NeededTransform(profile, display);
    if (!transform) return false;
    if (table) {
        const int colours = header->biClrUsed ? int(header->biClrUsed) : 1 << bits;
        if (colours > 256) return false;
        return TranslateRows(transform->handle, reinterpret_cast<BYTE*>(header) + header->biSize, colours, 1, 32,
                             size_t(colours) * 4);
    }
    return TranslatePixels(transform->handle, pixels, header->biWidth, DibRows(*header), bits,
                           size_t(DibStride(bits, header->biWidth)));
}

int ColourTransformsMade() {
    return transformsMade;
}
