#include "app/navigation.h"

#include <cstring>

#include "album/zub_album.h"
#include "app/album_commands.h"
#include "app/picture_display.h"
#include "app/viewer_state.h"
#include "browse/file_utils.h"

namespace {
// Moves index one step inside [0, count); false when it is already at the
// end it would leave.
bool MoveIndex(DWORD& index, DWORD count, Step step) {
    if (step == Step::kPrevious) {
        if (index == 0) return false;
        index = index > count ? count - 1 : index - 1;
        return true;
    }
    if (index + 1 >= count) return false;
    ++index;
    return true;
}
}  // namespace

void StepPicture(HWND window, Step step, bool releaseShownFirst) {
    ViewerState& v = Viewer();
    if (v.DisplayMode == kZubDisplay) {
        const int pages = v.Album->PageCount();
        if (pages <= 0) return;
        // At the first or last page the step does nothing: no reload.
        const bool stale = v.CurrentZubIndex >= static_cast<DWORD>(pages);
        if (!MoveIndex(v.CurrentZubIndex, static_cast<DWORD>(pages), step) && !stale) return;
        if (releaseShownFirst) DropShownBitmap(window);
        ShowZubPage(window);
        return;
    }
    const FolderList& list = v.FolderList;
    if (!list.block || list.count == 0) return;
    const bool stale = v.FolderIndex >= list.count;
    if (!MoveIndex(v.FolderIndex, list.count, step) && !stale) return;
    if (v.FolderIndex >= list.count) v.FolderIndex = list.count - 1;
    if (releaseShownFirst) DropShownBitmap(window);
    if (!JoinPath(v.CurrentPath, list.folder, list.names[v.FolderIndex])) v.CurrentPath[0] = '\0';
    lstrcpynA(v.CurrentFolder, list.folder, MAX_PATH);
    v.CurrentOrientation = 0;
    ShowPicture(window);
}

void OnKeyDown(HWND window, WPARAM key) {
    const bool previous = key == VK_LEFT || key == VK_NUMPAD4;
    const bool next = key == VK_RIGHT || key == VK_NUMPAD6;
    if (!previous && !next) return;
    // The keys let go of the shown picture before the next one loads, so a
    // large picture is not held twice.
    StepPicture(window, previous ? Step::kPrevious : Step::kNext, true);
}

LRESULT OnDoubleClick(HWND window, LPARAM position) {
    const unsigned x = LOWORD(position);
    const unsigned half = static_cast<unsigned>(Viewer().ClientSize.cx) / 2;
    StepPicture(window, x > half ? Step::kNext : Step::kPrevious, false);
    return 0;
}
