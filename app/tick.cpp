#include "app/tick.h"

#include <climits>

#include "album/zub_album.h"
#include "app/album_commands.h"
#include "app/picture_display.h"
#include "app/viewer_state.h"
#include "app/window_commands.h"
#include "browse/file_utils.h"
#include "browse/scoped_handles.h"

namespace {
// The slideshow's switch, when one is due and possible. A switch that is
// due but impossible keeps the counter, so that it happens on the first
// tick at which it becomes possible.
void SwitchIfDue(HWND window) {
    ViewerState& v = Viewer();
    if (v.SwitchCounter <= v.Settings.SwitchTicks || !v.Settings.AutoSwitch) return;
    if (v.DisplayMode == kNormalDisplay && v.FolderList.block) {
        v.SwitchCounter = 0;
        const FolderList& list = v.FolderList;
        v.FolderIndex = v.FolderIndex + 1 >= list.count ? 0 : v.FolderIndex + 1;
        if (list.count == 0) return;
        if (!JoinPath(v.CurrentPath, list.folder, list.names[v.FolderIndex])) v.CurrentPath[0] = '\0';
        v.CurrentOrientation = 0;
        ShowPicture(window);
    } else if (v.DisplayMode == kZubDisplay && v.Album->PageCount() > 0) {
        v.SwitchCounter = 0;
        const DWORD pages = static_cast<DWORD>(v.Album->PageCount());
        v.CurrentZubIndex = v.CurrentZubIndex + 1 >= pages ? 0 : v.CurrentZubIndex + 1;
        ShowZubPage(window);
    }
}

void Animate(HWND window) {
    ViewerState& v = Viewer();
    if (v.Settings.FitToWindow || (!v.OverflowX && !v.OverflowY)) {
        WindowDC dc(window);
        PaintPicture(window, dc);
        return;
    }
    const int dx =
        BounceStep(v.Settings.MoveStepX, v.OverflowX, v.ScrollX, v.PictureSize.cx, v.ClientSize.cx);
    const int dy =
        BounceStep(v.Settings.MoveStepY, v.OverflowY, v.ScrollY, v.PictureSize.cy, v.ClientSize.cy);
    ScrollPicture(window, dx, dy);
}
}  // namespace

void CALLBACK TickTimerProc(HWND window, UINT, UINT_PTR, DWORD) {
    PostMessageA(window, WM_COMMAND, kCommandTick, 0);
}

int BounceStep(int& moveStep, bool overflow, int scroll, int pictureLength, int clientLength) {
    // The most negative step turns into the largest positive one.
    auto turn = [](int step) { return step == INT_MIN ? INT_MAX : -step; };
    if (overflow) {
        if (scroll == 0) moveStep = turn(moveStep);
        if (scroll == pictureLength - clientLength) moveStep = turn(moveStep);
    }
    return moveStep;
}

void OnTick(HWND window) {
    ViewerState& v = Viewer();
    ++v.AnimPhase;
    if (v.Settings.AutoSwitch) ++v.SwitchCounter;
    if (!v.ShownBitmap || !v.TickActive) return;
    SwitchIfDue(window);
    if (!v.Settings.Animate) return;
    Animate(window);
}
