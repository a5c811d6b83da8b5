// Album save and load speed against what any reader or writer of the same
// file must at least do: move the same number of bytes through the file
// system and expand 10,000 page paths. Prints ratios measured in one run.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "album/zub_album.h"
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
}  // namespace

int main() {
    TempDir dir;
    std::string folder = dir.Path() + "album\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    std::vector<std::string> paths;
    for (int i = 0; i < kPages; ++i) paths.push_back(PagePath(folder, i));

    ZubAlbum album;
    album.SetTitle("benchmark");
    for (int i = 0; i < kPages; ++i) {
        album.AddPage(paths[i].c_str());
        if (i % 10 == 0) album.SetPageComment(i, "コメント付きのページ");
        album.SetPageOrientation(i, i % 8);
    }
    std::string zub = folder + "bench.zub";
    if (!album.SaveFile(zub.c_str())) {
        std::printf("save failed\n");
        return 1;
    }
    size_t bytes = ReadFileBytes(zub).size();

    // The measurements take turns, so that a busy machine slows them alike;
    // each keeps its best run. Every load goes into a fresh album, made and
    // destroyed outside the timing.
    double save = 1e30, saveBase = 1e30, load = 1e30, loadBase = 1e30;
    for (int run = 0; run < kRuns; ++run) {
        auto target = std::make_unique<ZubAlbum>();
        save = std::min(save, Seconds([&] { album.SaveFile(nullptr); }));
        saveBase = std::min(saveBase, Seconds([&] { BaselineWrite(folder + "base.bin", bytes, paths); }));
        load = std::min(load, Seconds([&] { target->LoadFile(zub.c_str()); }));
        loadBase = std::min(loadBase, Seconds([&] { BaselineRead(zub, paths); }));
    }
    double expand = 1e30;
    for (int run = 0; run < kRuns; ++run) expand = std::min(expand, Seconds([&] { ExpandAll(paths); }));
    double adding = Seconds([&] {
        ZubAlbum built;
        for (const std::string& path : paths) {
            if (built.FindPage(path.c_str()) == -1) built.AddPage(path.c_str());
        }
    });

    std::printf("album of %d pages, %u bytes\n", kPages, unsigned(bytes));
    std::printf("save  %8.2f ms  baseline %8.2f ms  ratio %.2f (goal <= 2)\n", save * 1e3, saveBase * 1e3,
                save / saveBase);
    std::printf("load  %8.2f ms  baseline %8.2f ms  ratio %.2f (goal <= 2)\n", load * 1e3, loadBase * 1e3,
                load / loadBase);
    std::printf("FindPage+AddPage x%d  %8.2f ms  (%.1f x %d GetFullPathNameA calls)\n", kPages, adding * 1e3,
                adding / expand, kPages);
    return 0;
}
