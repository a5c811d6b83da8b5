#include "app/file_drops.h"

#include <cstring>

#include "album/zub_album.h"
#include "app/album_commands.h"
#include "app/picture_display.h"
#include "app/popup_menu.h"
#include "app/shell_paths.h"
#include "app/viewer_state.h"
#include "browse/file_utils.h"
#include "browse/late_libraries.h"
#include "image/picture_loader.h"

namespace {
constexpr size_t kDropFilesHeader = 20;

bool AcceptsFiles(HWND window) {
    return (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_ACCEPTFILES) != 0;
}

HWND TopLevelOf(HWND window) {
    for (HWND parent = GetParent(window); parent; parent = GetParent(window)) window = parent;
    return window;
}

HGLOBAL CopyToGlobal(const std::vector<uint8_t>& bytes, UINT flags) {
    HGLOBAL block = GlobalAlloc(flags | GMEM_ZEROINIT, bytes.size());
    if (!block) return nullptr;
    std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
    GlobalUnlock(block);
    return block;
}

void AddDroppedPictures(HDROP drop) {
    ViewerState& v = Viewer();
    const UINT count = DroppedFile(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        char name[MAX_PATH];
        if (!DroppedFile(drop, i, name, MAX_PATH)) continue;
        if (IsPictureFile(name) && v.Album->FindPage(name) == -1) v.Album->AddPage(name);
    }
    const int index = v.Album->FindPage(v.CurrentPath);
    v.CurrentZubIndex = index < 0 ? 0 : static_cast<DWORD>(index);
    if (v.ZubBOXWindow) {
        v.ZubBOXPage = ZubBOXPageOf(static_cast<int>(v.CurrentZubIndex));
        InvalidateRect(v.ZubBOXWindow, nullptr, TRUE);
    }
    v.AlbumUnsaved = 1;
}
}  // namespace

std::vector<uint8_t> MakeDropFilesBlock(const char* list, size_t listLength, POINT at) {
    std::vector<uint8_t> block(kDropFilesHeader + listLength, 0);
    DROPFILES record{};
    record.pFiles = kDropFilesHeader;
    record.pt = at;
    record.fNC = FALSE;
    record.fWide = FALSE;
    static_assert(sizeof record == kDropFilesHeader, "DROPFILES is 20 bytes");
    std::memcpy(block.data(), &record, sizeof record);
    std::memcpy(block.data() + kDropFilesHeader, list, listLength);
    return block;
}

int SendFileDrop(HWND target, const char* path, int x, int y) {
    // The name, its terminator and the list's closing zero.
    std::vector<char> list(path, path + std::strlen(path));
    list.push_back('\0');
    list.push_back('\0');
    HGLOBAL block = CopyToGlobal(MakeDropFilesBlock(list.data(), list.size(), POINT{x, y}), GMEM_MOVEABLE);
    if (block) SendMessageA(target, WM_DROPFILES, reinterpret_cast<WPARAM>(block), 0);
    return 1;
}

int SendFilesDrop(HWND target, const char* list, size_t listLength, int x, int y) {
    std::vector<uint8_t> bytes = MakeDropFilesBlock(list, listLength, POINT{x, y});
    bytes.resize(bytes.size() + 2, 0);  // room for a list end the caller left out
    HGLOBAL block = CopyToGlobal(bytes, GMEM_FIXED);
    if (block) SendMessageA(target, WM_DROPFILES, reinterpret_cast<WPARAM>(block), 0);
    return 1;
}

LRESULT OnDropFiles(HWND window, HDROP drop) {
    ViewerState& v = Viewer();
    char name[MAX_PATH] = "";
    DroppedFile(drop, 0, name, MAX_PATH);
    if (!IsPictureFile(name)) {
        if (lstrcmpiA(ExtensionOf(name), "zub") == 0) OpenZubFile(window, name);
        FinishDrop(drop);
        return DefWindowProcA(window, WM_DROPFILES, 0, 0);
    }
    v.CurrentOrientation = 0;
    lstrcpynA(v.CurrentPath, name, MAX_PATH);
    ShowPicture(window);
    if (v.FolderList.block) FolderListFree(&v.FolderList);
    v.FolderIndex = 0;
    CutToFolder(v.CurrentFolder, name);
    if (v.Settings.AutoAddDropped) {
        AddDroppedPictures(drop);
    } else {
        SetDisplayMode(window, kNormalDisplay);
    }
    FinishDrop(drop);
    return 0;
}

HWND DropTargetAt(HWND under, bool shift, bool ctrl) {
    HWND target = under;
    if (shift) return target;
    while (GetParent(target)) {
        if (!ctrl && AcceptsFiles(target)) break;
        target = GetParent(target);
    }
    return target;
}

LRESULT OnRightButtonDown(HWND window) {
    Viewer().RightDragging = 1;
    SetCapture(window);
    return 0;
}

void ShowDropTargetCursor(HWND window) {
    ViewerState& v = Viewer();
    POINT at;
    GetCursorPos(&at);
    HWND under = WindowFromPoint(at);
    if (under == window) {
        SetCursor(v.ArrowCursor);
    } else if (!under) {
        SetCursor(v.NoDropCursor);
    } else {
        SetCursor(AcceptsFiles(TopLevelOf(under)) ? v.DropCursor : v.NoDropCursor);
    }
}

LRESULT OnRightButtonUp(HWND window) {
    ViewerState& v = Viewer();
    POINT at;
    GetCursorPos(&at);
    v.RightDragging = 0;
    ReleaseCapture();
    SetCursor(v.ArrowCursor);
    HWND under = WindowFromPoint(at);
    if (!under) return 0;
    if (under == window) {
        UpdateMenu(v.DisplayMode);
        TrackPopupMenu(v.PopupMenu, TPM_RIGHTBUTTON, at.x, at.y, 0, window, nullptr);
        return 0;
    }
    // Only a picture that is shown is handed over: an empty or unreadable
    // path means nothing to another program.
    if (!v.ShownBitmap || !v.CurrentPath[0]) return 0;
    HWND target = DropTargetAt(under, GetKeyState(VK_SHIFT) < 0, GetKeyState(VK_CONTROL) < 0);
    ScreenToClient(target, &at);
    SendFileDrop(target, v.CurrentPath, at.x, at.y);
    SetForegroundWindow(target);
    return 0;
}
