#include "image/colour_manage.h"

#include <icm.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <atomic>
#include <list>
#include <mutex>
#include <string>
#include <thread>

#include "image/dib_image.h"
#include "image/icc_reader.h"

namespace {
// The colour system's conversion sampled once on a grid of every fifth
// level of each channel (0, 5, ..., 255: 52 points), and the picture's
// pixels interpolated between the grid's points (tetrahedra, as colour
// systems do for their own tables). Converting each pixel through the
// colour system costs several times the decoding of a large photo; the
// grid costs a few milliseconds, once per pair of profiles, and stays
// within a level of the direct conversion.
constexpr int kGridStep = 5;
constexpr int kGridPoints = 255 / kGridStep + 1;
// Each axis holds one point more, a copy of the last, so that the corners
// above a point on the grid's far faces (weight 0) are read inside it.
constexpr int kGridRow = kGridPoints + 1;

struct TransformHandle {
    HTRANSFORM handle = nullptr;
    // Blue, green, red of grid point (r, g, b) at ((r * 53 + g) * 53 + b) * 3.
    std::vector<BYTE> grid;
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
    if (!made->handle) return made;
    made->grid.resize(size_t(kGridRow) * kGridRow * kGridRow * 3);
    BYTE* point = made->grid.data();
    auto level = [](int i) { return BYTE(std::min(i, kGridPoints - 1) * kGridStep); };
    for (int r = 0; r < kGridRow; ++r)
        for (int g = 0; g < kGridRow; ++g)
            for (int b = 0; b < kGridRow; ++b, point += 3)
                point[0] = level(b), point[1] = level(g), point[2] = level(r);
    const DWORD count = DWORD(made->grid.size() / 3);
    if (!TranslateBitmapBits(made->handle, made->grid.data(), BM_RGBTRIPLETS, count, 1, 0, made->grid.data(),
                             BM_RGBTRIPLETS, 0, nullptr, 0)) {
        DeleteColorTransform(made->handle);
        made->handle = nullptr;
    }
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

// One row of blue, green, red pixels (bytes apart) through the grid.
void InterpolateRow(const BYTE* grid, BYTE* row, int width, int bytes) {
    constexpr int kG = kGridRow * 3, kR = kGridRow * kGridRow * 3;
    // The corners of the tetrahedron a point lies in go from the corner
    // below it to the corner above, one channel's step at a time, the
    // channel of the largest fraction first. Indexed by which fractions
    // are at least which (red >= green, green >= blue, red >= blue): the
    // first two steps; no branch, so noisy pixels cost what flat ones do.
    static const int kSteps[8][2] = {{3, kG}, {3, kG}, {kG, 3},  {kG, kR},
                                     {3, kR}, {kR, 3}, {kR, kG}, {kR, kG}};
    // Each level's grid point below it (as the blue offset) and how far
    // above that point it lies.
    struct Level {
        int below, fraction;
    };
    static const auto kLevels = [] {
        std::array<Level, 256> levels{};
        for (int v = 0; v < 256; ++v) levels[v] = Level{v / kGridStep, v % kGridStep};
        return levels;
    }();
    for (int x = 0; x < width; ++x, row += bytes) {
        const Level lb = kLevels[row[0]], lg = kLevels[row[1]], lr = kLevels[row[2]];
        const int fr = lr.fraction, fg = lg.fraction, fb = lb.fraction;
        const int order = (fr >= fg) << 2 | (fg >= fb) << 1 | (fr >= fb);
        const int high = std::max(fr, std::max(fg, fb)), low = std::min(fr, std::min(fg, fb));
        const int middle = fr + fg + fb - high - low;
        const BYTE* c0 = grid + lr.below * kR + lg.below * kG + lb.below * 3;
        const BYTE* c1 = c0 + kSteps[order][0];
        const BYTE* c2 = c1 + kSteps[order][1];
        const BYTE* c3 = c0 + kR + kG + 3;
        const int w0 = kGridStep - high, w1 = high - middle, w2 = middle - low, w3 = low;
        // Division by the step as a multiplication: exact for every sum of
        // four weights (total 5) times a level, plus the rounding.
        for (int k = 0; k < 3; ++k)
            row[k] = BYTE(unsigned((w0 * c0[k] + w1 * c1[k] + w2 * c2[k] + w3 * c3[k] + 2) * 13108) >> 16);
    }
}

// The pixels in bands, one per processor.
void InterpolatePixels(const TransformHandle& transform, BYTE* pixels, int width, int height, int bits,
                       size_t stride) {
    const int bands =
        height < 64 ? 1 : int(std::min<unsigned>(4, std::max(1u, std::thread::hardware_concurrency())));
    const int rowsPerBand = (height + bands - 1) / bands;
    std::vector<std::thread> helpers;
    auto band = [&](int first) {
        for (int y = first; y < std::min(height, first + rowsPerBand); ++y)
            InterpolateRow(transform.grid.data(), pixels + size_t(y) * stride, width, bits / 8);
    };
    for (int b = 1; b < bands; ++b) helpers.emplace_back(band, b * rowsPerBand);
    band(0);
    for (std::thread& helper : helpers) helper.join();
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
    if (!transform) return false;
    InterpolatePixels(*transform, rows, width, height, bits, stride);
    return true;
}

bool ManageColours(const std::vector<uint8_t>& profile, const DisplayProfile& display,
                   BITMAPINFOHEADER* header, size_t headerBytes, BYTE* pixels) {
    if (profile.empty() || !header || !pixels) return false;
    const int bits = header->biBitCount;
    const bool table = bits <= 8 && bits > 0;
    if (!table && !((bits == 24 || bits == 32) && header->biCompression == BI_RGB)) return false;
    SharedTransform transform = NeededTransform(profile, display);
    if (!transform) return false;
    if (table) {
        const int colours = header->biClrUsed ? int(header->biClrUsed) : 1 << bits;
        if (colours > 256 || headerBytes < header->biSize ||
            (headerBytes - header->biSize) / 4 < size_t(colours))
            return false;
        InterpolateRow(transform->grid.data(), reinterpret_cast<BYTE*>(header) + header->biSize, colours, 4);
        return true;
    }
    InterpolatePixels(*transform, pixels, header->biWidth, DibRows(*header), bits,
                      size_t(DibStride(bits, header->biWidth)));
    return true;
}

int ColourTransformsMade() {
    return transformsMade;
}
