// A small Win32 helper for scripts/help-screenshots: finds a window of the
// running viewer by its title and prints its screen rectangle, or sends it
// a command, so that a shell script can drive the real program and take
// pictures of what it shows.
//
//   window_driver rect <title>            prints "WxH+X+Y" of the window
//   window_driver command <title> <id>    posts WM_COMMAND id to the window
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    // Wine hands the arguments over in the ANSI code page, as the titles are.
    const char* title = argv[2];
    HWND window = nullptr;
    for (int i = 0; i < 100 && !window; ++i) {
        window = FindWindowA(nullptr, title);
        if (!window) Sleep(100);
    }
    if (!window) return 1;
    if (std::strcmp(argv[1], "rect") == 0) {
        RECT r;
        GetWindowRect(window, &r);
        std::printf("%ldx%ld+%ld+%ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
        return 0;
    }
    if (std::strcmp(argv[1], "command") == 0 && argc > 3) {
        PostMessageA(window, WM_COMMAND, static_cast<WPARAM>(std::atoi(argv[3])), 0);
        return 0;
    }
    return 2;
}
