// Arrow key to the next camera-sized JPEG painted, with the neighbours read
// ahead against the same step loading from the file, in the same run, for
// an album and for a folder; then the read-ahead's peak against its cap.
// scripts/bench hands it the folder of bench_thumbnail's twelve pictures:
//   bench_read_ahead <folder>
#include <windows.h>

#include <cstdio>
#include <string>

#include "album/zub_album.h"
#include "app/album_commands.h"
#include "app/picture_display.h"
#include "app/viewer_state.h"
#include "app/viewer_window.h"
#include "app/window_commands.h"
#include "bench/bench_timer.h"
#include "image/picture_read_ahead.h"

namespace {
constexpr int kPictures = 6;

std::string PictureName(const std::string& folder, int i) {
    return folder + "\\camera" + std::to_string(i) + ".jpg";
}

void Pump() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// Milliseconds per step from the first picture through the others; with
// the read-ahead on, each key waits (untimed) until the neighbours are read.
double StepThrough(HWND window, int megabytes, uint64_t* peak) {
    ViewerState& v = Viewer();
    v.Settings.ReadAheadMegabytes = megabytes;
    v.ReadAhead.reset();
    // Back to the first picture, shown as a step shows it.
    v.CurrentZubIndex = 0;
    v.FolderIndex = 0;
    if (v.DisplayMode == kZubDisplay) {
        ShowZubPage(window);
    } else {
        lstrcpynA(v.CurrentPath, (std::string(v.FolderList.folder) + v.FolderList.names[0]).c_str(),
                  MAX_PATH);
        ShowPicture(window);
    }
    UpdateWindow(window);
    double total = 0;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    for (int step = 1; step < kPictures; ++step) {
        while (v.ReadAhead && v.ReadAhead->Pending() > 0) Sleep(5), Pump();
        Pump();
        QueryPerformanceCounter(&start);
        SendMessageA(window, WM_KEYDOWN, VK_RIGHT, 0);
        UpdateWindow(window);
        GdiFlush();
        QueryPerformanceCounter(&end);
        total += 1000.0 * double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
        if (v.ReadAhead && peak) *peak = v.ReadAhead->PeakBytes();
    }
    return total / (kPictures - 1);
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("bench_read_ahead: run through scripts/bench (bench_read_ahead <folder>)\n");
        return 0;
    }
    const std::string folder = argv[1];
    HINSTANCE instance = GetModuleHandleA(nullptr);
    RegisterViewerClass(instance);
    HWND window = CreateViewerWindow(instance);
    ShowWindow(window, SW_SHOWNORMAL);
    KillTimer(window, 1);
    RECT frame{0, 0, 800, 600};
    AdjustWindowRect(&frame, DWORD(GetWindowLongA(window, GWL_STYLE)), FALSE);
    SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top, SWP_NOZORDER);
    ViewerState& v = Viewer();
    const int cap = v.Settings.ReadAheadMegabytes;

    for (int i = 0; i < kPictures; ++i) v.Album->AddPage(PictureName(folder, i).c_str());
    SendMessageA(window, WM_COMMAND, kCommandZubDisplay, 0);
    const double albumCold = StepThrough(window, 0, nullptr);
    uint64_t peak = 0;
    const double albumAhead = StepThrough(window, cap, &peak);
    PrintRatio("album: key to next 24 MP JPEG painted, ahead", albumAhead, "the same step, no read-ahead",
               albumCold);

    HWND list =
        CreateWindowExA(0, "LISTBOX", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, instance, nullptr);
    for (int i = 0; i < kPictures; ++i)
        SendMessageA(list, LB_ADDSTRING, 0, LPARAM(("camera" + std::to_string(i) + ".jpg").c_str()));
    FolderListFromListBox(&v.FolderList, (folder + "\\").c_str(), list);
    DestroyWindow(list);
    SendMessageA(window, WM_COMMAND, kCommandNormalDisplay, 0);
    const double folderCold = StepThrough(window, 0, nullptr);
    const double folderAhead = StepThrough(window, cap, &peak);
    PrintRatio("folder: key to next 24 MP JPEG painted, ahead", folderAhead, "the same step, no read-ahead",
               folderCold);
    std::printf("read-ahead peak %.1f MB, cap %d MB\n", double(peak) / 1048576.0, cap);

    // The user moves on while a neighbour is decoded: the worker is free
    // again long before the decode would have ended.
    auto untilIdle = [](PictureReadAhead& ahead) {
        return MillisecondsPerCall(1, 1, [&] {
            while (ahead.Pending() > 0) Sleep(1);
        });
    };
    PictureReadAhead ahead(uint64_t(cap) << 20);
    const PictureReadAhead::Key first{PictureName(folder, 0), 0, PictureDisplayOptions()};
    ahead.Want({first});
    const double whole = untilIdle(ahead);
    ahead.Want({});
    ahead.Want({PictureReadAhead::Key{PictureName(folder, 1), 0, PictureDisplayOptions()}});
    Sleep(30);
    ahead.Want({});
    PrintRatio("moving on mid-decode: worker free again", untilIdle(ahead) + 30, "a whole read ahead", whole);
    DestroyWindow(window);
    return 0;
}
