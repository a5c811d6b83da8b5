// The box's mouse and drops: selecting, swapping by dragging one cell onto
// another, dragging the selected pages out as a file drop, double clicks,
// and files dropped in.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "album/zub_album.h"
#include "app/album_commands.h"
#include "app/file_drops.h"
#include "app/viewer_state.h"
#include "browse/dialogs/zub_box_grid.h"
#include "browse/dialogs/zub_box_state.h"
#include "browse/file_utils.h"
#include "browse/late_libraries.h"
#include "image/picture_loader.h"

namespace {

ZubAlbum& Album() {
    return *Viewer().Album;
}

// The page under position on the page shown, or -1.
int PageAt(LPARAM position) {
    const int index = HitTestCell(Viewer().ZubBOXPage, position);
    return index >= 0 && index < Album().PageCount() ? index : -1;
}

// Mark 0 becomes 1 and 1 becomes 0; the current page keeps its 2.
void ToggleMark(int index) {
    const int mark = Album().GetSelectionMark(index);
    if (mark != 2) Album().SetSelectionMark(index, mark == 0 ? 1 : 0);
}

void SelectRangeTo(int index) {
    ViewerState& v = Viewer();
    MarkOnly(-1);
    for (int i = std::min(v.ZubBOXCurrent, index); i <= std::max(v.ZubBOXCurrent, index); ++i)
        Album().SetSelectionMark(i, 1);
    Album().SetSelectionMark(v.ZubBOXCurrent, 2);
}

// The marked pages' paths, each zero-terminated, and a closing zero.
std::vector<char> MarkedPathList() {
    std::vector<char> list;
    for (int i = 0; i < Album().PageCount(); ++i) {
        if (Album().GetSelectionMark(i) == 0) continue;
        const char* path = Album().GetPagePath(i);
        list.insert(list.end(), path, path + std::strlen(path) + 1);
    }
    if (!list.empty()) list.push_back('\0');
    return list;
}

void DropMarkedPages(HWND under, POINT screen, WPARAM keys) {
    const std::vector<char> list = MarkedPathList();
    if (list.empty()) return;
    HWND target = DropTargetAt(under, (keys & MK_SHIFT) != 0, (keys & MK_CONTROL) != 0);
    ScreenToClient(target, &screen);
    SendFilesDrop(target, list.data(), list.size(), screen.x, screen.y);
    SetForegroundWindow(target);
}

void ReleaseOnPage(int index, bool right, bool pressedOnPage) {
    ViewerState& v = Viewer();
    if (right) {
        ToggleMark(index);
        return;
    }
    // Only a drag that began on a page swaps: the anchor of a press in a gap
    // is an older press's.
    if (!pressedOnPage || index == v.ZubBOXCurrent || index == Box().Anchor) return;
    Album().SwapPages(index, v.ZubBOXCurrent);
    v.ZubBOXCurrent = index;
    MarkOnly(index);
    v.AlbumUnsaved = 1;
}

}  // namespace

void OnBoxLeftButtonDown(HWND box, WPARAM keys, LPARAM position) {
    ViewerState& v = Viewer();
    ZubBOXState& s = Box();
    s.LeftDown = true;
    s.DoubleClicked = false;
    const int index = PageAt(position);
    s.PressedOnPage = index >= 0;
    if (index < 0) {
        // An empty cell (a hit beyond the last page) ends a right drag; a gap
        // does not.
        if (HitTestCell(v.ZubBOXPage, position) >= 0) s.RightDrag = false;
        return;
    }
    s.Anchor = index;
    if (keys & MK_SHIFT) {
        SelectRangeTo(index);
    } else if (keys & MK_CONTROL) {
        ToggleMark(index);
    } else {
        v.ZubBOXCurrent = index;
        MarkOnly(index);
    }
    s.EditingTitle = false;
    s.RightDrag = false;
    SetCapture(box);
    InvalidateRect(box, &kGridRect, TRUE);
}

void OnBoxRightButtonDown(HWND box) {
    Box().PressedOnPage = false;
    Box().RightDrag = true;
    Box().DoubleClicked = false;
    SetCapture(box);
}

void OnBoxMouseMove(HWND box) {
    if (Box().LeftDown || Box().RightDrag) ShowDropTargetCursor(box);
}

void OnBoxButtonUp(HWND box, WPARAM keys, LPARAM position, bool right) {
    ZubBOXState& s = Box();
    const bool pressedOnPage = std::exchange(s.PressedOnPage, false);
    s.LeftDown = false;
    s.RightDrag = false;
    ReleaseCapture();
    SetCursor(Viewer().ArrowCursor);
    if (s.DoubleClicked) {
        s.DoubleClicked = false;
        return;
    }
    // The position of the release itself, on the screen: where the cursor
    // was when the button came up.
    POINT screen{short(LOWORD(position)), short(HIWORD(position))};
    ClientToScreen(box, &screen);
    HWND under = WindowFromPoint(screen);
    if (!under) return;
    if (under != box) {
        DropMarkedPages(under, screen, keys);
        return;
    }
    const int index = PageAt(position);
    if (index < 0) return;
    ReleaseOnPage(index, right, pressedOnPage);
    InvalidateRect(box, &kGridRect, TRUE);
}

void OnBoxDoubleClick(HWND, LPARAM position) {
    ViewerState& v = Viewer();
    if (PageAt(position) < 0) return;
    const int current = v.ZubBOXCurrent;
    int folderLength = Album().GetPageFileNameOffset(current);
    if (folderLength < 0 || folderLength >= MAX_PATH) folderLength = 0;
    std::memcpy(v.CurrentFolder, Album().GetPagePath(current), size_t(folderLength));
    v.CurrentFolder[folderLength] = '\0';
    v.CurrentZubIndex = DWORD(current);
    SetDisplayMode(v.MainWindow, kZubDisplay);
    Box().DoubleClicked = true;
}

void OnBoxDropFiles(HWND box, HDROP drop) {
    ViewerState& v = Viewer();
    char name[MAX_PATH] = "";
    DroppedFile(drop, 0, name, MAX_PATH);
    if (!IsPictureFile(name)) {
        if (lstrcmpiA(ExtensionOf(name), "zub") == 0) OpenZubFile(v.MainWindow, name);
        FinishDrop(drop);
        return;
    }
    int last = -1;
    const UINT count = DroppedFile(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        if (!DroppedFile(drop, i, name, MAX_PATH)) continue;
        if (!IsPictureFile(name) || Album().FindPage(name) != -1) continue;
        const int added = Album().AddPage(name);
        if (added >= 0) last = added;
    }
    if (last >= 0) {
        v.CurrentZubIndex = DWORD(last);
        v.ZubBOXPage = ZubBOXPageOf(last);
        // The box's own current page follows, so the page shown frames it.
        v.ZubBOXCurrent = last;
        MarkOnly(last);
        InvalidateRect(box, nullptr, TRUE);
        v.AlbumUnsaved = 1;
    }
    FinishDrop(drop);
}
