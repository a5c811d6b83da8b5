// Time to the first picture: piltrin.exe started with a 640 x 480 BMP, from
// the process's start to its window shown and waiting for input, against a
// minimal Win32 program (this one, with --minimal) that loads and shows the
// same BMP, alternated in the same run. Goal: the ratio stays at or below
// 1.2, whatever plug-ins lie beside the program.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/test_files.h"

namespace {

constexpr int kRounds = 7;
HBITMAP Shown = nullptr;

LRESULT CALLBACK MinimalProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            HDC memory = CreateCompatibleDC(dc);
            HGDIOBJ old = SelectObject(memory, Shown);
            BitBlt(dc, 0, 0, 640, 480, memory, 0, 0, SRCCOPY);
            SelectObject(memory, old);
            DeleteDC(memory);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// The reference: load the BMP, show it in a window, run the loop.
int RunMinimal(const char* path) {
    Shown = static_cast<HBITMAP>(LoadImageA(nullptr, path, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = MinimalProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "MinimalViewer";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowA("MinimalViewer", "start.bmp", WS_OVERLAPPEDWINDOW, 100, 100, 660, 520,
                                nullptr, nullptr, windowClass.hInstance, nullptr);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    return 0;
}

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return double(counter.QuadPart) / double(frequency.QuadPart);
}

struct Search {
    DWORD process;
    HWND found;
};
BOOL CALLBACK FindVisible(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<Search*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->process || !IsWindowVisible(window)) return TRUE;
    search->found = window;
    return FALSE;
}

// Waits (up to 3 s) until no plug-in helper runs: a viewer ended by the
// bench leaves its helper to notice the closed pipe, and a helper still
// starting would take the processor from the next round.
void WaitForHelpersToEnd() {
    auto helper = [](const PROCESSENTRY32& p) {
        return std::strncmp(p.szExeFile, "piltrin-plugins", 15) == 0;
    };
    for (int i = 0; i < 300 && CountProcesses(helper) > 0; ++i) Sleep(10);
}

// Seconds from the start of commandLine to its window shown and idle, or -1.
double TimeToIdle(std::string commandLine) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    double start = Now();
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return -1;
    double seconds = -1;
    // Shown: a visible window of the process; idle: its thread answers a
    // message, so it has finished the start and waits in its loop.
    Search search{process.dwProcessId, nullptr};
    for (int i = 0; i < 20000 && !search.found; ++i) {
        EnumWindows(FindVisible, reinterpret_cast<LPARAM>(&search));
        if (!search.found) Sleep(1);
    }
    DWORD_PTR unused = 0;
    if (search.found && SendMessageTimeoutA(search.found, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &unused))
        seconds = Now() - start;
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 5000);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    WaitForHelpersToEnd();
    return seconds;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--minimal") == 0) return RunMinimal(argv[2]);
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string folder(self);
    folder = folder.substr(0, folder.find_last_of('\\') + 1);
    TempDir dir;
    std::string bmp = dir.File("start.bmp");
    if (!WriteBmp(bmp, 640, 480)) {
        std::printf("bench_startup: could not write the picture\n");
        return 1;
    }
    std::string viewer = "\"" + folder + "piltrin.exe\" " + bmp;
    std::string minimal = "\"" + std::string(self) + "\" --minimal " + bmp;
    if (TimeToIdle(viewer) < 0 || TimeToIdle(minimal) < 0) {
        std::printf("bench_startup: a program did not show its window\n");
        return 1;
    }
    std::vector<double> viewerTimes, minimalTimes;
    for (int round = 0; round < kRounds; ++round) {
        viewerTimes.push_back(TimeToIdle(viewer));
        minimalTimes.push_back(TimeToIdle(minimal));
    }
    double viewerMedian = Median(viewerTimes), minimalMedian = Median(minimalTimes);
    std::printf("piltrin.exe to its picture shown and idle: %7.1f ms (median of %d)\n", viewerMedian * 1000,
                kRounds);
    std::printf("minimal program, same BMP:                 %7.1f ms (median of %d)\n", minimalMedian * 1000,
                kRounds);
    std::printf("ratio: %.3f (goal: at most 1.2)\n", viewerMedian / minimalMedian);
    return 0;
}
