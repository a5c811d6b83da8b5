// Album save and load speed against what any reader or writer of the same
// file must at least do: move the same number of bytes through the file
// system and expand every page path; then the ZubBOX opened on the album's
// last page and paged. Albums of 10,000 and 100,000 pages side by side, so
// that a cost growing faster than the page count shows. Ratios measured in
// one run.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "album/zub_album.h"
#include "app/viewer_state.h"
#include "app/viewer_window.h"
#include "app/window_commands.h"
#include "browse/dialogs/dialog_commands.h"
#include "browse/user_prompt.h"
#include "resources/resource_ids.h"
#include "tests/support/test_files.h"

namespace {
constexpr int kPages = 10000;
constexpr int kRuns = 15;

double Seconds(const std::function<void()>& work) {
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    work();
    QueryPerformanceCounter(&end);
    return double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

std::string PagePath(const std::string& folder, int i) {
    static const char* const folders[] = {"", "2026 旅行\\", "scans\\old\\", "..\\elsewhere\\"};
    char name[64];
    std::snprintf(name, sizeof name, "IMG_%05d.JPG", i);
    return folder + folders[i % 4] + name;
}

void ExpandAll(const std::vector<std::string>& paths) {
    char full[MAX_PATH];
    for (const std::string& path : paths) GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
}

// The floor of a save: write size bytes and expand every page path.
void BaselineWrite(const std::string& path, size_t size, const std::vector<std::string>& paths) {
    std::vector<char> chunk(64 * 1024, 'x');
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    for (size_t done = 0; done < size;) {
        DWORD take = DWORD(std::min(chunk.size(), size - done)), written = 0;
        WriteFile(file, chunk.data(), take, &written, nullptr);
        done += take;
    }
    CloseHandle(file);
    ExpandAll(paths);
}

// The floor of a load: read the file and expand every page path.
void BaselineRead(const std::string& path, const std::vector<std::string>& paths) {
    std::vector<char> chunk(64 * 1024);
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD got = 0;
    while (ReadFile(file, chunk.data(), DWORD(chunk.size()), &got, nullptr) && got) {
    }
    CloseHandle(file);
    ExpandAll(paths);
}
// One album of pages pages in folder, timed: save and load against their
// baselines (best of runs), then the ZubBOX opened on it and paged.
struct Figures {
    size_t bytes = 0;
    double save = 1e30, saveBase = 1e30, load = 1e30, loadBase = 1e30, open = 0, boxOpen = 0, pageTurn = 0;
};

Figures Measure(const std::string& folder, int pages, int runs, HWND viewer) {
    std::vector<std::string> paths;
    for (int i = 0; i < pages; ++i) paths.push_back(PagePath(folder, i));
    ZubAlbum album;
    album.SetTitle("benchmark");
    for (int i = 0; i < pages; ++i) {
        album.AddPage(paths[i].c_str());
        if (i % 10 == 0) album.SetPageComment(i, "コメント付きのページ");
        album.SetPageOrientation(i, i % 8);
    }
    Figures f;
    const std::string zub = folder + "bench.zub";
    if (!album.SaveFile(zub.c_str())) return f;
    f.bytes = ReadFileBytes(zub).size();
    // The measurements take turns, so that a busy machine slows them alike;
    // each keeps its best run. Every load goes into a fresh album, made and
    // destroyed outside the timing.
    for (int run = 0; run < runs; ++run) {
        auto target = std::make_unique<ZubAlbum>();
        f.save = std::min(f.save, Seconds([&] { album.SaveFile(nullptr); }));
        f.saveBase =
            std::min(f.saveBase, Seconds([&] { BaselineWrite(folder + "base.bin", f.bytes, paths); }));
        f.load = std::min(f.load, Seconds([&] { target->LoadFile(zub.c_str()); }));
        f.loadBase = std::min(f.loadBase, Seconds([&] { BaselineRead(zub, paths); }));
    }
    // The album opens in the viewer as OpenZubFile opens it; the box opens on
    // its last page and turns back ten pages, each drawn at once (the
    // missing files' cells are not waited for).
    auto opened = std::make_unique<ZubAlbum>();
    f.open = Seconds([&] { opened->LoadFile(zub.c_str()); });
    Viewer().Album = std::move(opened);
    Viewer().ZubBOXPage = (pages + 11) / 12;
    f.boxOpen = Seconds([&] {
        SendMessageA(viewer, WM_COMMAND, kCommandZubBox, 0);
        if (Viewer().ZubBOXWindow) UpdateWindow(Viewer().ZubBOXWindow);
    });
    HWND box = Viewer().ZubBOXWindow;
    if (!box) return f;
    f.pageTurn = Seconds([&] {
                     for (int turn = 0; turn < 10; ++turn) {
                         SendMessageA(box, WM_COMMAND, PILTRIN_ZUBBOX_PREVIOUS, 0);
                         UpdateWindow(box);
                     }
                 }) /
                 10;
    SendMessageA(box, WM_COMMAND, IDCANCEL, 0);
    return f;
}
}  // namespace

int main() {
    TempDir dir;
    std::string folder = dir.Path() + "album\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    // A message box would wait for a person: say what it said and go on.
    PromptAnswerer answerer;
    answerer.message = [](HWND, const char* text, const char* caption, UINT) {
        std::printf("message (%s): %s\n", caption, text);
        return IDOK;
    };
    SetPromptAnswerer(answerer);
    HINSTANCE instance = GetModuleHandleA(nullptr);
    RegisterViewerClass(instance);
    HWND viewer = CreateViewerWindow(instance);
    RegisterDialogCommands();
    const Figures small = Measure(folder, kPages, kRuns, viewer);
    const Figures large =
        Measure(folder, std::getenv("PILTRIN_BENCH_SMALL") ? kPages : kPages * 10, 3, viewer);
    if (!small.bytes || !large.bytes) {
        std::printf("save failed\n");
        return 1;
    }
    // Cost linear in the page count: ten times the pages, about ten times
    // the time, and the ratios to the baselines unchanged.
    std::printf("%-22s %14s %14s %8s\n", "", "10,000 pages", "100,000 pages", "x");
    std::printf("%-22s %11.1f MB %11.1f MB %8.1f\n", "file", small.bytes / 1e6, large.bytes / 1e6,
                double(large.bytes) / small.bytes);
    auto row = [](const char* what, double a, double b) {
        std::printf("%-22s %11.2f ms %11.2f ms %8.1f\n", what, a * 1e3, b * 1e3, b / a);
    };
    row("save", small.save, large.save);
    row("save baseline", small.saveBase, large.saveBase);
    std::printf("%-22s %14.2f %14.2f  (goal <= 2)\n", "save ratio", small.save / small.saveBase,
                large.save / large.saveBase);
    row("load", small.load, large.load);
    row("load baseline", small.loadBase, large.loadBase);
    std::printf("%-22s %14.2f %14.2f  (goal <= 2)\n", "load ratio", small.load / small.loadBase,
                large.load / large.loadBase);
    row("open in the viewer", small.open, large.open);
    row("ZubBOX open (last)", small.boxOpen, large.boxOpen);
    row("ZubBOX page turn", small.pageTurn, large.pageTurn);

    // Adding pages one by one checks each against the album (FindPage), so
    // this one is quadratic by nature; it is measured at 10,000 pages only.
    std::vector<std::string> paths;
    for (int i = 0; i < kPages; ++i) paths.push_back(PagePath(folder, i));
    double expand = 1e30;
    for (int run = 0; run < kRuns; ++run) expand = std::min(expand, Seconds([&] { ExpandAll(paths); }));
    double adding = Seconds([&] {
        ZubAlbum built;
        for (const std::string& path : paths) {
            if (built.FindPage(path.c_str()) == -1) built.AddPage(path.c_str());
        }
    });
    std::printf("FindPage+AddPage x%d  %8.2f ms  (%.1f x %d GetFullPathNameA calls)\n", kPages, adding * 1e3,
                adding / expand, kPages);
    DestroyWindow(viewer);
    return 0;
}
