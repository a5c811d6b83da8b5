#include "browse/dialogs/zub_box.h"

#include <algorithm>
#include <string>
#include <vector>

#include "album/album_thumbnail.h"
#include "album/zub_album.h"
#include "app/album_commands.h"
#include "app/command_table.h"
#include "app/viewer_state.h"
#include "browse/box_place.h"
#include "browse/dialogs/dialog_fields.h"
#include "browse/dialogs/waiting_messages.h"
#include "browse/dialogs/zub_box_grid.h"
#include "browse/dialogs/zub_box_state.h"
#include "browse/scoped_handles.h"
#include "image/thumbnail_cache.h"
#include "image/thumbnail_prefetch.h"
#include "resources/resource_ids.h"

namespace {

constexpr int kCommandZubBOX = 18;
constexpr int kTitleBytes = 250;

ZubAlbum& Album() {
    return *Viewer().Album;
}

// Step 1 of painting: the current index inside the album, with mark 2.
void KeepCurrentValid() {
    ViewerState& v = Viewer();
    const int pages = Album().PageCount();
    if (v.ZubBOXCurrent < 0 || v.ZubBOXCurrent >= pages) {
        v.ZubBOXCurrent = 0;
        MarkOnly(pages ? 0 : -1);
    }
    if (pages && Album().GetSelectionMark(v.ZubBOXCurrent) != 2) Album().SetSelectionMark(v.ZubBOXCurrent, 2);
}

// One cell's edge and frame; true when it still lacks a thumbnail.
bool PaintCell(HDC dc, HWND box, int cell, int index) {
    ZubAlbum& album = Album();
    RECT edge = CellEdgeRect(cell);
    DrawEdge(dc, &edge, index == album.CoverIndex() ? EDGE_RAISED : EDGE_SUNKEN, BF_RECT);
    if (const int mark = album.GetSelectionMark(index)) {
        GdiObject<HBRUSH> brush(CreateSolidBrush(mark == 2 ? RGB(0, 0, 255) : RGB(0, 255, 255)));
        FrameRect(dc, &edge, brush);
        InflateRect(&edge, 1, 1);
        FrameRect(dc, &edge, brush);
    }
    if (!album.HasThumbnail(index)) return true;
    const POINT at = ThumbnailOrigin(index);
    PaintThumbnail(&album, box, index, at.x, at.y);
    return false;
}

void OnPaint(HWND box) {
    ViewerState& v = Viewer();
    KeepCurrentValid();
    const int pages = Album().PageCount();
    int missing = -1;
    {
        PaintDC dc(box);
        const int first = FirstIndexOfPage(v.ZubBOXPage);
        for (int cell = 0; cell < kCellsPerPage && first + cell < pages; ++cell) {
            if (first + cell < 0) continue;
            if (PaintCell(dc, box, cell, first + cell) && missing < 0) missing = first + cell;
        }
    }
    ShowCurrentPageFacts(box);
    if (missing >= 0) PostMessageA(box, WM_ZUBTHUMB, kCommandZubBOX, missing);
    SetNumberField(box, PILTRIN_ZUBBOX_PAGE, v.ZubBOXPage);
}

// Hands the later cells of index's page that the workers can decode to
// them, leaving every other one to this thread, so that both decode at once.
void DecodeAhead(int index, bool rebuild) {
    ZubBOXState& s = Box();
    ViewerState& v = Viewer();
    if (!s.Ahead) return;
    if (s.AheadPage == v.ZubBOXPage && s.Ahead->Pending() > 0) return;
    s.AheadPage = v.ZubBOXPage;
    const int stride = ThumbnailPrefetch::DefaultWorkers() + 1;
    const int end = std::min(Album().PageCount(), FirstIndexOfPage(v.ZubBOXPage) + kCellsPerPage);
    std::vector<ThumbnailPrefetch::Job> jobs;
    for (int i = index + 1; i < end; ++i) {
        if ((i - index) % stride == 0 || (!rebuild && Album().HasThumbnail(i))) continue;
        const char* path = Album().GetPagePath(i);
        // A cell the disk cache holds is read, not decoded.
        ThumbnailCacheKey key;
        if (ThumbnailCacheKeyFor(path, uint32_t(ThumbnailSizeOf(Album())), &key) && HasCachedThumbnail(key))
            continue;
        if (IsPrefetchableName(path)) jobs.push_back({i, path});
    }
    s.Ahead->Queue(jobs, ThumbnailSizeOf(Album()));
}

void OnZubThumb(HWND box, int index) {
    ViewerState& v = Viewer();
    ZubAlbum& album = Album();
    ZubBOXState& s = Box();
    if (index < 0 || index >= album.PageCount() || v.ZubBOXPage != ZubBOXPageOf(index)) return;
    // A cell that has its thumbnail keeps it, so a page of built cells costs
    // no file reading; only the chain that 再表示 started builds the later
    // cells of its page again (a replaced file, a failure square retried).
    const bool rebuild = s.RebuildPage == v.ZubBOXPage;
    if (!album.HasThumbnail(index) || rebuild) {
        DecodeAhead(index, rebuild);
        BuildThumbnail(&album, index, nullptr, 0, Box().Ahead.get());
        const POINT at = ThumbnailOrigin(index);
        PaintThumbnail(&album, box, index, at.x, at.y);
        if (index == v.ZubBOXCurrent) ShowCurrentPageFacts(box);
    }
    DispatchWaitingMessages();
    if (index % kCellsPerPage == kCellsPerPage - 1) {
        if (s.RebuildPage == ZubBOXPageOf(index)) s.RebuildPage = 0;
        return;
    }
    if (v.ZubBOXWindow == box && IsWindow(box)) PostMessageA(box, WM_ZUBTHUMB, kCommandZubBOX, index + 1);
}

void ShowPage(HWND box, int page) {
    ViewerState& v = Viewer();
    v.ZubBOXPage = page;
    SetNumberField(box, PILTRIN_ZUBBOX_PAGE, page);
    InvalidateRect(box, &kGridRect, TRUE);
    Box().RebuildPage = 0;
    if (Box().Ahead) Box().Ahead->Clear();
}

void OnNextPage(HWND box) {
    const int last = ZubBOXPageCount(Album().PageCount());
    const int page = Viewer().ZubBOXPage;
    if (last == 0 || page >= last) return;
    ShowPage(box, GetKeyState(VK_SHIFT) < 0 ? last : page + 1);
}

void OnPreviousPage(HWND box) {
    const int page = Viewer().ZubBOXPage;
    if (page <= 1) return;
    ShowPage(box, GetKeyState(VK_SHIFT) < 0 ? 1 : page - 1);
}

void OnTitleChange(HWND box) {
    ZubBOXState& s = Box();
    // The box's own writes into the field are no edits: taking them as one
    // would stop the field from following the current page.
    if (s.FillingTitle) return;
    s.EditingTitle = true;
    ViewerState& v = Viewer();
    if (Album().PageCount() == 0) return;
    char text[kTitleBytes] = "";
    GetDlgItemTextA(box, PILTRIN_ZUBBOX_TITLE, text, kTitleBytes);
    const char* stored = Album().GetPageComment(v.ZubBOXCurrent);
    if (stored && lstrcmpiA(text, stored) == 0) return;
    Album().SetPageComment(v.ZubBOXCurrent, text);
    v.AlbumUnsaved = 1;
}

void OnCover(HWND box) {
    ViewerState& v = Viewer();
    if (Album().PageCount() == 0) return;
    Album().SetCoverIndex(v.ZubBOXCurrent);
    InvalidateRect(box, nullptr, TRUE);
    v.AlbumUnsaved = 1;
}

void OnRebuild(HWND box) {
    ZubAlbum& album = Album();
    if (album.PageCount() == 0) return;
    const int shown = Viewer().ZubBOXPage;
    for (int i = 0; i < album.PageCount(); ++i) {
        if (album.GetSelectionMark(i) == 0) continue;
        album.ReleaseThumbnail(i);
        if (ZubBOXPageOf(i) == shown) Box().RebuildPage = shown;
    }
    InvalidateRect(box, nullptr, TRUE);
}

void Close(HWND box) {
    RememberBoxPlace(box, Box().Rect);
    DestroyWindow(box);
}

INT_PTR OnCommand(HWND box, int id, int code) {
    switch (id) {
        case IDOK:
        case IDCANCEL:
            Close(box);
            return TRUE;
        case PILTRIN_ZUBBOX_NEXT:
            OnNextPage(box);
            return TRUE;
        case PILTRIN_ZUBBOX_PREVIOUS:
            OnPreviousPage(box);
            return TRUE;
        case PILTRIN_ZUBBOX_COVER:
            OnCover(box);
            return TRUE;
        case PILTRIN_ZUBBOX_REBUILD:
            OnRebuild(box);
            return TRUE;
        case PILTRIN_ZUBBOX_TITLE:
            if (code == EN_SETFOCUS) Box().EditingTitle = true;
            if (code == EN_KILLFOCUS) Box().EditingTitle = false;
            if (code == EN_CHANGE) OnTitleChange(box);
            return TRUE;
    }
    return FALSE;
}

INT_PTR OnInitDialog(HWND box) {
    ViewerState& v = Viewer();
    ZubBOXState& s = Box();
    v.ZubBOXWindow = box;
    const int pages = Album().PageCount();
    v.ZubBOXCurrent = v.CurrentZubIndex < DWORD(pages) ? int(v.CurrentZubIndex) : 0;
    v.ZubBOXPage = ZubBOXPageOf(v.ZubBOXCurrent);
    s.EditingTitle = false;
    s.LeftDown = s.RightDrag = s.DoubleClicked = false;
    MarkOnly(pages ? v.ZubBOXCurrent : -1);
    SetNumberField(box, PILTRIN_ZUBBOX_PAGE, v.ZubBOXPage);
    ReturnBoxToPlace(box, s.Rect, v.MainWindow, FirstBoxPlace::ViewerLeftMiddle);
    EnableMenuItem(GetSystemMenu(box, FALSE), SC_MAXIMIZE, MF_BYCOMMAND | MF_DISABLED | MF_GRAYED);
    s.Ahead = std::make_unique<ThumbnailPrefetch>(ThumbnailPrefetch::DefaultWorkers());
    s.AheadPage = s.RebuildPage = 0;
    return TRUE;
}

void OnDestroy(HWND box) {
    ViewerState& v = Viewer();
    if (v.ZubBOXWindow == box) v.ZubBOXWindow = nullptr;
    Box().Ahead.reset();
}

INT_PTR CALLBACK ZubBOXProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    // Every handler but the last one reads the album, which the viewer
    // releases when it closes.
    if (!Viewer().Album && message != WM_DESTROY) return FALSE;
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog(box);
        case WM_PAINT:
            OnPaint(box);
            return TRUE;
        case WM_ZUBTHUMB:
            OnZubThumb(box, int(lParam));
            return TRUE;
        case WM_COMMAND:
            return OnCommand(box, LOWORD(wParam), HIWORD(wParam));
        case WM_LBUTTONDOWN:
            OnBoxLeftButtonDown(box, wParam, lParam);
            return TRUE;
        case WM_RBUTTONDOWN:
            OnBoxRightButtonDown(box);
            return TRUE;
        case WM_MOUSEMOVE:
            OnBoxMouseMove(box);
            return TRUE;
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
            OnBoxButtonUp(box, wParam, lParam, message == WM_RBUTTONUP);
            return TRUE;
        case WM_LBUTTONDBLCLK:
            OnBoxDoubleClick(box, lParam);
            return TRUE;
        case WM_DROPFILES:
            OnBoxDropFiles(box, reinterpret_cast<HDROP>(wParam));
            return TRUE;
        case WM_DESTROY:
            OnDestroy(box);
            return FALSE;
    }
    return FALSE;
}

}  // namespace

ZubBOXState& Box() {
    static ZubBOXState state;
    return state;
}

void MarkOnly(int index) {
    ZubAlbum& album = Album();
    for (int i = 0; i < album.PageCount(); ++i) album.SetSelectionMark(i, 0);
    if (index >= 0 && index < album.PageCount()) album.SetSelectionMark(index, 2);
}

void ShowCurrentPageFacts(HWND box) {
    ViewerState& v = Viewer();
    ZubAlbum& album = Album();
    const int pages = album.PageCount();
    if (pages == 0 || v.ZubBOXCurrent < 0 || v.ZubBOXCurrent >= pages) {
        for (int id :
             {PILTRIN_ZUBBOX_PAGE_COUNT, PILTRIN_ZUBBOX_WIDTH, PILTRIN_ZUBBOX_HEIGHT, PILTRIN_ZUBBOX_BITS})
            SetNumberField(box, id, 0);
        SetField(box, PILTRIN_ZUBBOX_PATH, "");
        return;
    }
    const int i = v.ZubBOXCurrent;
    SetNumberField(box, PILTRIN_ZUBBOX_PAGE_COUNT, ZubBOXPageCount(pages));
    SetField(box, PILTRIN_ZUBBOX_PATH, album.GetPagePath(i));
    SetNumberField(box, PILTRIN_ZUBBOX_WIDTH, album.GetPictureWidth(i));
    SetNumberField(box, PILTRIN_ZUBBOX_HEIGHT, album.GetPictureHeight(i));
    SetNumberField(box, PILTRIN_ZUBBOX_BITS, album.GetPictureBitCount(i));
    if (Box().EditingTitle) return;
    Box().FillingTitle = true;
    SetField(box, PILTRIN_ZUBBOX_TITLE, album.GetPageComment(i));
    Box().FillingTitle = false;
}

void OpenZubBOX(HWND) {
    ViewerState& v = Viewer();
    if (v.ZubBOXWindow) {
        SetForegroundWindow(v.ZubBOXWindow);
        return;
    }
    // No owner: the box stands beside the viewer as a window of its own.
    v.ZubBOXWindow =
        CreateDialogParamA(v.Instance, MAKEINTRESOURCEA(PILTRIN_DIALOG_ZUBBOX), nullptr, ZubBOXProc, 0);
}

void RegisterZubBOXCommands() {
    SetCommandHandler(kCommandZubBOX, OpenZubBOX);
}
