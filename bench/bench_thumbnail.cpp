// One screen page of the ZubBOX built from camera-sized JPEGs, against
// vipsthumbnail on the same files in the same run. scripts/bench drives it:
//   bench_thumbnail make <folder>               writes the twelve pictures
//   bench_thumbnail page <folder> <vips secs>   builds the page and prints
// The page is timed from the first posted WM_ZUBTHUMB to the twelfth
// painted cell, in the real box on the real message loop. Then a built page
// is redrawn, and a 10,000-page album of small pictures is paged through.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "album/album_memory.h"
#include "album/album_thumbnail.h"
#include "album/zub_album.h"
#include "app/command_table.h"
#include "app/viewer_state.h"
#include "app/viewer_window.h"
#include "app/window_commands.h"
#include "bench/bench_timer.h"
#include "browse/dialogs/dialog_commands.h"
#include "browse/dialogs/zub_box.h"
#include "image/thumbnail_cache.h"
#include "image/thumbnail_prefetch.h"
#include "resources/resource_ids.h"
#include "tests/support/jpeg_test_files.h"

namespace {
constexpr int kWidth = 6000, kHeight = 4000, kCells = 12;

std::string PictureName(const std::string& folder, int i) {
    return folder + "\\camera" + std::to_string(i) + ".jpg";
}

// Camera-like content: soft gradients under sensor noise.
int Make(const std::string& folder) {
    CreateDirectoryA(folder.c_str(), nullptr);
    for (int i = 0; i < kCells; ++i) {
        const std::string path = PictureName(folder, i);
        if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
        uint32_t seed = 2463534242u + uint32_t(i) * 7919u;
        JpegOptions options;
        options.quality = 90;
        options.fullChroma = false;
        const Bytes jpeg = MakeJpeg(
            kWidth, kHeight,
            [&seed, i](int x, int y) {
                seed ^= seed << 13;
                seed ^= seed >> 17;
                seed ^= seed << 5;
                const int n = int(seed & 31) - 16;
                auto clamp = [](int v) { return uint8_t(std::min(255, std::max(0, v))); };
                return Rgb{clamp((x >> 5) % 200 + n + i * 3), clamp((y >> 5) % 180 + n),
                           clamp(((x + y) >> 6) % 220 - n)};
            },
            options);
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(file, jpeg.data(), DWORD(jpeg.size()), &written, nullptr);
        CloseHandle(file);
        std::printf("made %s, %.1f MB\n", path.c_str(), jpeg.size() / 1e6);
    }
    return 0;
}

void EmptyFolder(const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "*.ptc").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return;
    do DeleteFileA((folder + found.cFileName).c_str());
    while (FindNextFileA(find, &found));
    FindClose(find);
}

double Now() {
    LARGE_INTEGER frequency, at;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&at);
    return double(at.QuadPart) / double(frequency.QuadPart);
}

ZubAlbum& Album() {
    return *Viewer().Album;
}

int Built(int from, int to) {
    int built = 0;
    for (int i = from; i < to && i < Album().PageCount(); ++i) built += Album().HasThumbnail(i);
    return built;
}

// Runs the loop until the cells of page page are all built, with the
// longest single dispatch (in seconds) in *longest.
void RunUntilBuilt(int page, double* longest) {
    const int first = (page - 1) * kCells, last = std::min(first + kCells, Album().PageCount());
    MSG message;
    while (Built(first, last) < last - first && GetMessageA(&message, nullptr, 0, 0) > 0) {
        const double start = Now();
        TranslateMessage(&message);
        DispatchMessageA(&message);
        if (longest) *longest = std::max(*longest, Now() - start);
    }
}

int Page(const std::string& folder, double vipsSeconds) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    RegisterViewerClass(instance);
    HWND viewer = CreateViewerWindow(instance);
    RegisterDialogCommands();
    ShowWindow(viewer, SW_SHOWNORMAL);
    for (int i = 0; i < kCells; ++i) Album().AddPage(PictureName(folder, i).c_str());
    SendMessageA(viewer, WM_COMMAND, kCommandZubBox, 0);
    HWND box = Viewer().ZubBOXWindow;
    if (!box) {
        std::printf("thumbnail-page: the box did not open\n");
        return 1;
    }
    // The disk cache in a folder of the bench's own, empty at the start.
    const std::string cache = folder + "\\thumbnail-cache\\";
    CreateDirectoryA(cache.c_str(), nullptr);
    EmptyFolder(cache);
    SetThumbnailCache(cache, 256ull << 20);
    // The first paint posts the first WM_ZUBTHUMB.
    const double start = Now();
    UpdateWindow(box);
    RunUntilBuilt(1, nullptr);
    const double seconds = Now() - start;
    std::printf("thumbnail-page %.3f vips %.3f ratio %.2f  (lever: cells decoded ahead on %d worker(s))\n",
                seconds, vipsSeconds, seconds / vipsSeconds, ThumbnailPrefetch::DefaultWorkers());

    // The same page in the next run: every cell from the disk cache.
    for (int i = 0; i < kCells; ++i) Album().ReleaseThumbnail(i);
    const long hits = ThumbnailCacheHits();
    const double cachedStart = Now();
    RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    RunUntilBuilt(1, nullptr);
    const double cached = Now() - cachedStart;
    std::printf("thumbnail-page-from-disk-cache %.4f built %.3f ratio %.3f (%ld cells from the cache)\n",
                cached, seconds, cached / seconds, ThumbnailCacheHits() - hits);
    SetThumbnailCache("", 0);
    EmptyFolder(cache);

    // Redrawing a built page reads no file.
    const double redraw = MillisecondsPerCall(
        5, 20, [box] { RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW); });
    std::printf("thumbnail-redraw %.3f ms (goal under 5 ms)\n", redraw);

    // 10,000 pages of one small picture, paged through one page at a time.
    const std::string small = folder + "\\small.jpg";
    WriteFileBytes(small, MakeJpeg(200, 200, [](int x, int y) { return Rgb{uint8_t(x), uint8_t(y), 90}; }));
    Album().ClearAll();
    const long before = LiveAlbumAllocations();
    for (int i = 0; i < 10000; ++i) Album().AddBlankPage(), Album().SetPagePath(i, small.c_str());
    const long pageBlocks = LiveAlbumAllocations();
    Viewer().ZubBOXPage = 1;
    InvalidateRect(box, nullptr, TRUE);
    double longest = 0;
    const double pagingStart = Now();
    for (int page = 1; page <= 10000 / kCells + 1; ++page) {
        if (page > 1) SendMessageA(box, WM_COMMAND, PILTRIN_ZUBBOX_NEXT, 0);
        RunUntilBuilt(page, &longest);
    }
    const double pagingSeconds = Now() - pagingStart;
    const long held = LiveAlbumAllocations() - pageBlocks;
    SIZE_T bytes = 0;
    for (int i = 0; i < 10000; ++i) {
        void* block = Album().PageBlock(i);
        for (BlockWord word :
             {Album().ThumbHeader->GetHandle(block, nullptr), Album().ThumbBits->GetHandle(block, nullptr)})
            if (word > 1) bytes += GlobalSize(GlobalHandle(reinterpret_cast<void*>(word)));
    }
    Album().ClearAll();
    std::printf(
        "thumbnail-paging %.1f s for 10,000 pages, longest dispatch %.1f ms; %.1f KiB per thumbnail in %ld "
        "blocks; "
        "%ld blocks left after clearing (of %ld before)\n",
        pagingSeconds, longest * 1000, bytes / 1024.0 / 10000, held, LiveAlbumAllocations() - before, before);
    DestroyWindow(box);
    DestroyWindow(viewer);
    return 0;
}
}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "make" && argc > 2) return Make(argv[2]);
    if (mode == "page" && argc > 3) return Page(argv[2], std::atof(argv[3]));
    std::printf(
        "bench_thumbnail: run through scripts/bench (make <folder> | page <folder> <vips seconds>)\n");
    return 0;
}
