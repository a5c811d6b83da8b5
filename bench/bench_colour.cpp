// The cost of colour management where a user sees it: a 6000 x 4000 JPEG
// shown fitted (decode, display pipeline, fit pass), tagged with a wide-gamut
// matrix profile against the same picture untagged, and untagged with every
// display option on against the colour option off.
#include <windows.h>

#include <cstdio>
#include <string>
#include <tuple>

#include "app/picture_display.h"
#include "app/viewer_state.h"
#include "app/viewer_window.h"
#include "bench/bench_timer.h"
#include "image/picture_pipeline.h"
#include "tests/support/byte_files.h"
#include "tests/support/jpeg_test_files.h"

int main() {
    ResetViewerState();
    HINSTANCE instance = GetModuleHandleA(nullptr);
    RegisterViewerClass(instance);
    HWND window = CreateViewerWindow(instance);
    RECT frame{0, 0, 800, 600};
    AdjustWindowRect(&frame, static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)), FALSE);
    SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top, SWP_NOZORDER);
    ShowWindow(window, SW_SHOWNORMAL);
    KillTimer(window, 1);
    ViewerState& v = Viewer();
    v.Settings.FitToWindow = 1;
    v.Settings.KeepFittedPicture = 1;

    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    const std::string plain = std::string(folder) + "piltrin_bench_plain.jpg";
    const std::string tagged = std::string(folder) + "piltrin_bench_tagged.jpg";
    JpegOptions options;
    options.fullChroma = false;
    const Bytes jpeg = MakeJpeg(
        6000, 4000,
        [](int x, int y) {
            return Rgb{uint8_t(x), uint8_t(y), uint8_t(x ^ y)};
        },
        options);
    // Adobe RGB (1998)'s colorants and gamma.
    const double adobe[3][3] = {{0.6097, 0.3111, 0.0195}, {0.2053, 0.6257, 0.0609}, {0.1492, 0.0632, 0.7446}};
    WriteFileBytes(plain, jpeg);
    WriteFileBytes(tagged, WithSegment(jpeg, 0xE2, IccChunks(MatrixProfile(adobe, 2.2, false), 60000)[0]));

    HDC dc = GetDC(window);
    // The three in turn, five times, each keeping its best: a slow moment
    // of the machine then falls on all of them alike.
    double off = 1e300, on = 1e300, wide = 1e300;
    for (int round = 0; round < 5; ++round)
        for (auto [path, manage, best] :
             {std::tuple{&plain, false, &off}, {&plain, true, &on}, {&tagged, true, &wide}}) {
            PictureDisplayOptions().manageColours = manage;
            *best = std::min(*best, MillisecondsPerCall(1, 1, [&] {
                lstrcpynA(v.CurrentPath, path->c_str(), MAX_PATH);
                ShowPicture(window);
                PaintPicture(window, dc);
                GdiFlush();
            }));
        }
    ReleaseDC(window, dc);
    PrintRatio("tagged (Adobe RGB) 6000x4000 shown, fit", wide, "the same untagged", on);
    PrintRatio("untagged shown, every option on", on, "colour management off", off);
    DestroyWindow(window);
    DeleteFileA(plain.c_str());
    DeleteFileA(tagged.c_str());
    return 0;
}
