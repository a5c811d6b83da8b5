#include "app/viewer_app.h"

#include "app/command_line.h"
#include "app/viewer_state.h"
#include "app/viewer_window.h"
#include "image/plugin_host.h"
#include "image/thumbnail_cache.h"

int RunViewer(HINSTANCE instance, const std::string& argumentText, int showState) {
    ResetViewerState();
    Viewer().Instance = instance;
    // Only the program itself keeps thumbnails in the user's folder; tests
    // and benches name folders of their own.
    SetThumbnailCache(DefaultThumbnailCacheFolder(),
                      uint64_t(Viewer().Settings.ThumbnailCacheMegabytes) * 1024 * 1024);
    RegisterViewerClass(instance);
    HWND window = CreateViewerWindow(instance);
    if (!window) return 1;
    ShowWindow(window, showState);
    UpdateWindow(window);
    HandleCommandLine(window, argumentText);
    return RunMessageLoop();
}

int RunMessageLoop() {
    MSG message;
    bool helpersStarted = false;
    for (;;) {
        // The plug-in helpers start once the first picture is painted and
        // the window waits for input: neither waits for the other.
        if (!helpersStarted && !PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
            helpersStarted = true;
            StartPluginHelpers();
        }
        if (GetMessageA(&message, nullptr, 0, 0) <= 0) break;
        const ViewerState& v = Viewer();
        if (v.ZubBOXWindow && IsDialogMessageA(v.ZubBOXWindow, &message)) continue;
        if (v.InfoBOXWindow && IsDialogMessageA(v.InfoBOXWindow, &message)) continue;
        if (v.FileBOXWindow && IsDialogMessageA(v.FileBOXWindow, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}
