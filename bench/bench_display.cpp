// The cost of drawing: one fitted paint of a 6000 x 4000 picture into an
// 800 x 600 client against a plain BitBlt of a picture of the client size, stretched
// whole (the kept fitted picture off) and copied from the kept fitted
// picture; the fit pass that makes it against the full decode of the same
// picture; and one tick of the spin and of the bounce as a share of the
// 100 ms tick period.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/picture_display.h"
#include "app/viewer_state.h"
#include "app/viewer_window.h"
#include "app/window_commands.h"
#include "bench/bench_timer.h"
#include "image/dib_image.h"
#include "image/picture_pipeline.h"
#include "tests/support/jpeg_test_files.h"

namespace {
// A device bitmap of the given size with a gradient, as ShowPicture makes.
HBITMAP MakePictureBitmapOfSize(HWND window, int width, int height) {
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = 1;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    HDC dc = GetDC(window);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            row[x * 3] = static_cast<uint8_t>(x);
            row[x * 3 + 1] = static_cast<uint8_t>(y);
            row[x * 3 + 2] = static_cast<uint8_t>(x ^ y);
        }
        SetDIBits(dc, bitmap, height - 1 - y, 1, row.data(), &info, DIB_RGB_COLORS);
    }
    ReleaseDC(window, dc);
    return bitmap;
}

void SetClientSize(HWND window, int width, int height) {
    RECT frame{0, 0, width, height};
    AdjustWindowRect(&frame, static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)), FALSE);
    SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top, SWP_NOZORDER);
}

void Tick(HWND window) {
    SendMessageA(window, WM_COMMAND, kCommandTick, 0);
}
}  // namespace

int main() {
    ResetViewerState();
    HINSTANCE instance = GetModuleHandleA(nullptr);
    RegisterViewerClass(instance);
    HWND window = CreateViewerWindow(instance);
    ShowWindow(window, SW_SHOWNORMAL);
    KillTimer(window, 1);
    SetClientSize(window, 800, 600);
    ViewerState& v = Viewer();
    RefreshOverflow(window);

    v.ShownBitmap = MakePictureBitmapOfSize(window, 6000, 4000);
    v.PictureSize = SIZE{6000, 4000};

    // Reference: a plain copy of the client size from a memory bitmap that
    // holds a picture. (A bitmap never written, all black, copies about
    // twice as fast under Wine as one of the same format holding pixels.)
    HDC dc = GetDC(window);
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP clientSized = CreateCompatibleBitmap(dc, 800, 600);
    HGDIOBJ old = SelectObject(memory, clientSized);
    {
        BITMAPINFO info{};
        info.bmiHeader = Dib24Header(800, 600);
        std::vector<BYTE> rows(info.bmiHeader.biSizeImage);
        for (size_t i = 0; i < rows.size(); ++i) rows[i] = BYTE(i * 7 + i / 2400);
        SetDIBits(dc, clientSized, 0, 600, rows.data(), &info, DIB_RGB_COLORS);
    }
    const double blit = MillisecondsPerCall(5, 20, [&] {
        BitBlt(dc, 0, 0, 800, 600, memory, 0, 0, SRCCOPY);
        GdiFlush();
    });
    SelectObject(memory, old);
    DeleteObject(clientSized);
    DeleteDC(memory);

    v.Settings.KeepFittedPicture = 0;
    const double paint = MillisecondsPerCall(3, 3, [&] {
        PaintPicture(window, dc);
        GdiFlush();
    });
    PrintRatio("PaintPicture, fit, stretched whole", paint, "BitBlt 800x600", blit);

    // The same picture as a JPEG, shown as a step shows it.
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    const std::string path = std::string(folder) + "piltrin_bench_display.jpg";
    JpegOptions options;
    options.fullChroma = false;
    WriteFileBytes(path, MakeJpeg(
                             6000, 4000,
                             [](int x, int y) {
                                 return Rgb{uint8_t(x), uint8_t(y), uint8_t(x ^ y)};
                             },
                             options));
    const double decode = MillisecondsPerCall(2, 1, [&] {
        HLOCAL header = nullptr, pixels = nullptr;
        if (LoadDisplayPicture(path.c_str(), nullptr, 0, &header, &pixels)) LockedDib(header, pixels).Reset();
    });
    v.Settings.KeepFittedPicture = 1;
    lstrcpynA(v.CurrentPath, path.c_str(), MAX_PATH);
    ShowPicture(window);
    UpdateWindow(window);
    const double fitPass = MillisecondsPerCall(3, 2, [&] {
        DropFittedPicture();
        PaintPicture(window, dc);
        GdiFlush();
    });
    const double kept = MillisecondsPerCall(5, 20, [&] {
        PaintPicture(window, dc);
        GdiFlush();
    });
    ReleaseDC(window, dc);
    DeleteFileA(path.c_str());
    PrintRatio("PaintPicture, fit, kept fitted picture", kept, "BitBlt 800x600", blit);
    PrintRatio("fit pass (area averaging) 6000x4000", fitPass, "full decode of the JPEG", decode);

    // The spin in fit display: every tick stretches the whole picture.
    v.Settings.Animate = 1;
    const double spin = MillisecondsPerCall(3, 3, [&] { Tick(window); });
    std::printf("%-46s %9.3f ms   share of the 100 ms tick: %5.1f %%\n", "tick with the spin, fit display",
                spin, spin);

    // The bounce in true size: a scroll of the pixels and one strip.
    SendMessageA(window, WM_COMMAND, kCommandFitOrTrueSize, 0);
    v.ScrollX = v.ScrollY = 0;
    const double bounce = MillisecondsPerCall(3, 20, [&] { Tick(window); });
    std::printf("%-46s %9.3f ms   share of the 100 ms tick: %5.1f %%\n", "tick with the bounce, true size",
                bounce, bounce);
    DestroyWindow(window);
    return 0;
}
