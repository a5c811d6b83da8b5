#include "app/viewer_app.h"

#include "app/command_line.h"
#include "app/viewer_state.h"
#include "app/viewer_window.h"

int RunViewer(HINSTANCE instance, const std::string& argumentText, int showState) {
    ResetViewerState();
    Viewer().Instance = instance;
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
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        const ViewerState& v = Viewer();
        if (v.ZubBOXWindow && IsDialogMessageA(v.ZubBOXWindow, &message)) continue;
        if (v.InfoBOXWindow && IsDialogMessageA(v.InfoBOXWindow, &message)) continue;
        if (v.FileBOXWindow && IsDialogMessageA(v.FileBOXWindow, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}
