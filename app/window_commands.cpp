#include "app/window_commands.h"

#include "app/picture_display.h"
#include "app/popup_menu.h"
#include "app/viewer_state.h"
#include "app/viewer_window.h"

namespace {
void SetTitleBar(HWND window, bool on) {
    SetWindowLongA(window, GWL_STYLE, on ? kStyleWithTitle : kStyleBare);
    Viewer().TitleBarOn = on ? 1 : 0;
}
}  // namespace

void ToggleFitToWindow(HWND window) {
    ViewerState& v = Viewer();
    v.Settings.FitToWindow = !v.Settings.FitToWindow;
    if (!v.Settings.FitToWindow && v.ShownBitmap) v.ScrollX = v.ScrollY = 0;
    RefreshOverflow(window);
    UpdateMenu(v.DisplayMode);
    InvalidateRect(window, nullptr, TRUE);
}

void ToggleTitleBar(HWND window) {
    ShowWindow(window, SW_HIDE);
    SetTitleBar(window, !Viewer().TitleBarOn);
    // Minimising and showing again makes the system rebuild the frame.
    ShowWindow(window, SW_SHOWMINIMIZED);
    ShowWindow(window, SW_HIDE);
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
}

void MaximiseWindow(HWND window) {
    ViewerState& v = Viewer();
    GetWindowRect(window, &v.SavedWindowRect);
    v.SavedTitleBar = v.TitleBarOn;
    ReplaceMenuCommand(kCommandMaximise, kCommandRestore);
    if (v.TitleBarOn) SetTitleBar(window, false);
    if (!v.Settings.Animate) v.ScrollX = v.ScrollY = 0;
    ShowWindow(window, SW_SHOW);
    // The 4-pixel sizing frame lies just outside the screen.
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    MoveWindow(window, -4, -4, width + 8, height + 8, TRUE);
}

void RestoreWindow(HWND window) {
    ViewerState& v = Viewer();
    ReplaceMenuCommand(kCommandRestore, kCommandMaximise);
    if (v.TitleBarOn != v.SavedTitleBar) SetTitleBar(window, v.SavedTitleBar != 0);
    ShowWindow(window, SW_SHOW);
    const RECT& r = v.SavedWindowRect;
    MoveWindow(window, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
}

void SetStackingPosition(HWND window, int command) {
    HWND after = command == kCommandTopmost  ? HWND_TOPMOST
                 : command == kCommandBottom ? HWND_BOTTOM
                                             : HWND_NOTOPMOST;
    SetWindowPos(window, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    CheckStackingItem(command);
}
