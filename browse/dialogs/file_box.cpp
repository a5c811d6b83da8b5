#include "browse/dialogs/file_box.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "album/zub_album.h"
#include "app/album_commands.h"
#include "app/command_table.h"
#include "app/picture_display.h"
#include "app/viewer_state.h"
#include "app/window_commands.h"
#include "browse/dialogs/file_list.h"
#include "browse/dialogs/folder_tree.h"
#include "browse/file_utils.h"
#include "browse/scoped_handles.h"
#include "image/picture_loader.h"
#include "resources/resource_ids.h"

namespace {
constexpr int kPreviewSquare = 130;
constexpr int kPreviewTarget = 300;

// The preview square's top-left corner in the box's pixels.
POINT PreviewOrigin(HWND box) {
    RECT corner{183, 35, 0, 0};
    MapDialogRect(box, &corner);
    return POINT{corner.left, corner.top};
}

// The text of a list box line, or "" (also for a line too long for a path).
std::string LineText(HWND list, LRESULT line) {
    if (line < 0) return "";
    LRESULT length = SendMessageA(list, LB_GETTEXTLEN, line, 0);
    if (length < 0 || length >= MAX_PATH) return "";
    std::vector<char> text(static_cast<size_t>(length) + 1);
    SendMessageA(list, LB_GETTEXT, line, reinterpret_cast<LPARAM>(text.data()));
    return text.data();
}

// The selected folder + name, or "" when that would not fit a path.
std::string PathInSelectedFolder(const FolderDialogConfig* config, const std::string& name) {
    char folder[MAX_PATH];
    GetSelectedFolder(config, folder);
    std::string path = std::string(folder) + name;
    return folder[0] && !name.empty() && path.size() < MAX_PATH ? path : "";
}

// The ZubBOX is the viewer's command 18; the box asks for it the way the
// menu does and so needs none of its code.
void OpenZubBOX() {
    SendMessageA(Viewer().MainWindow, WM_COMMAND, kCommandZubBox, 0);
}

bool InAlbum(const char* path) {
    const ViewerState& v = Viewer();
    return path[0] && v.Album && v.Album->FindPage(path) != -1;
}

void DropPreview() {
    ViewerState& v = Viewer();
    if (v.FileBOXPreviewBitmap) DeletePictureBitmap(v.MainWindow, v.FileBOXPreviewBitmap);
    v.FileBOXPreviewBitmap = nullptr;
}

// The preview bitmap of path: reduced decoding for a picture that is large
// enough to fill the preview, the whole picture otherwise.
void LoadPreview(HWND box, const char* path) {
    ViewerState& v = Viewer();
    PictureInfo info{};
    if (!ReadPictureInfo(path, &info)) return;
    if (info.width >= kPreviewTarget && info.height >= kPreviewTarget) {
        v.FileBOXPreviewBitmap = LoadPreviewBitmap(box, path, nullptr, 0, kPreviewTarget);
    } else {
        v.FileBOXPreviewBitmap = LoadPictureBitmap(box, path, nullptr, 0);
    }
    if (v.FileBOXPreviewBitmap) {
        char text[64];
        std::snprintf(text, sizeof text, " %d×%d×%d%s", static_cast<int>(info.width),
                      static_cast<int>(info.height), LastBitmapHeader().biBitCount, InAlbum(path) ? "*" : "");
        SetDlgItemTextA(box, PILTRIN_FILEBOX_PREVIEW_TEXT, text);
    }
    FreePictureInfo(&info);
}

void RedoPreview(HWND box, FolderDialogConfig* config, int listId) {
    ViewerState& v = Viewer();
    BusyDialog busy(box, config);
    HWND list = GetDlgItem(box, listId);
    const LRESULT line = listId == PILTRIN_FOLDER_FILES ? SendMessageA(list, LB_GETCARETINDEX, 0, 0)
                                                        : SendMessageA(list, LB_GETCURSEL, 0, 0);
    const bool hasLine = line >= 0 && line < SendMessageA(list, LB_GETCOUNT, 0, 0);
    std::string path = hasLine ? PathInSelectedFolder(config, LineText(list, line)) : "";
    if (!path.empty() && IsAlbumName(path.c_str())) {
        char cover[MAX_PATH] = "";
        path = PeekZubFile(path.c_str(), cover, nullptr, 0, nullptr) ? cover : "";
    }
    DropPreview();
    lstrcpynA(v.FileBOXPreviewPath, path.c_str(), MAX_PATH);
    SetDlgItemTextA(box, PILTRIN_FILEBOX_PREVIEW_TEXT, "");
    if (v.FileBOXPreviewOn && !path.empty()) LoadPreview(box, path.c_str());
    const POINT origin = PreviewOrigin(box);
    RECT area{origin.x - 2, origin.y - 2, origin.x + kPreviewSquare + 4, origin.y + kPreviewSquare + 4};
    InvalidateRect(box, &area, TRUE);
    if (v.FileBOXPreviewOn && !v.FileBOXPreviewBitmap) {
        SetDlgItemTextA(box, PILTRIN_FILEBOX_PREVIEW_TEXT, "Not Graphic");
    } else if (!v.FileBOXPreviewOn) {
        SetDlgItemTextA(box, PILTRIN_FILEBOX_PREVIEW_TEXT, InAlbum(v.FileBOXPreviewPath) ? "*" : "");
    }
}

// The preview goes straight onto the box, over its background; the
// controls paint themselves.
void PaintPreview(HWND box) {
    const ViewerState& v = Viewer();
    if (!v.FileBOXPreviewBitmap) return;
    PaintDC dc(box);
    BITMAP facts{};
    GetObjectA(v.FileBOXPreviewBitmap, sizeof facts, &facts);
    const POINT origin = PreviewOrigin(box);
    RECT place = PreviewPlacement(facts.bmWidth, facts.bmHeight);
    OffsetRect(&place, origin.x, origin.y);
    if (InAlbum(v.FileBOXPreviewPath)) {
        RECT edge{place.left - 2, place.top - 2, place.right + 2, place.bottom + 2};
        DrawEdge(dc, &edge, EDGE_RAISED, BF_RECT);
    }
    MemoryDC source(dc);
    SelectedObject selected(source, v.FileBOXPreviewBitmap);
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    StretchBlt(dc, place.left, place.top, place.right - place.left, place.bottom - place.top, source, 0, 0,
               facts.bmWidth, facts.bmHeight, SRCCOPY);
}

// Ends the box after an open: the preview goes, the place is kept. While a
// folder is being renamed the box stays (the folder dialog would not end).
void EndBox(HWND box, FolderDialogConfig* config, INT_PTR result) {
    ViewerState& v = Viewer();
    if (config->LabelEditing) return;
    DropPreview();
    config->EndRequest = 1;
    config->EndResult = result;
    GetWindowRect(box, &v.FileBOXRect);
    v.FileBOXWindow = nullptr;
}

void OpenSelectedPicture(HWND box, FolderDialogConfig* config) {
    ViewerState& v = Viewer();
    HWND list = config->Files;
    const LRESULT caret = SendMessageA(list, LB_GETCARETINDEX, 0, 0);
    const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    const std::string name = caret >= 0 && caret < count ? LineText(list, caret) : "";
    const std::string path = PathInSelectedFolder(config, name);
    if (!path.empty() && !IsAlbumName(name.c_str())) {
        v.FolderIndex = static_cast<DWORD>(caret);
        GetSelectedFolder(config, v.CurrentFolder);
        lstrcpynA(v.CurrentPath, path.c_str(), MAX_PATH);
        if (v.FolderList.block) FolderListFree(&v.FolderList);
        FolderListFromListBox(&v.FolderList, v.CurrentFolder, list);
        SetDisplayMode(v.MainWindow, kNormalDisplay);
        v.CurrentOrientation = 0;
        ShowPicture(v.MainWindow);
        if (!v.FileBOXDoubleClick) EndBox(box, config, PILTRIN_FILEBOX_OPEN);
    }
    v.FileBOXDoubleClick = 0;
}

void OpenSelectedAlbum(HWND box, FolderDialogConfig* config) {
    ViewerState& v = Viewer();
    HWND list = GetDlgItem(box, PILTRIN_FILEBOX_ALBUMS);
    const std::string name = LineText(list, SendMessageA(list, LB_GETCURSEL, 0, 0));
    const std::string path = PathInSelectedFolder(config, name);
    // An album that cannot be read has been reported by OpenZubFile; the box
    // stays open on it rather than show an album that did not change.
    if (!path.empty() && IsAlbumName(name.c_str()) && config->ResultPath) {
        lstrcpynA(config->ResultPath, path.c_str(), MAX_PATH);
        if (!OpenZubFile(v.MainWindow, config->ResultPath)) {
            v.FileBOXDoubleClick = 0;
            return;
        }
        if (!v.ZubBOXWindow) {
            OpenZubBOX();
            if (v.ZubBOXWindow) SetForegroundWindow(v.ZubBOXWindow);
        }
        v.CurrentZubIndex = static_cast<DWORD>(v.Album->CoverIndex());
        SetDisplayMode(v.MainWindow, kZubDisplay);
        if (!v.FileBOXDoubleClick) EndBox(box, config, PILTRIN_FILEBOX_OPEN_ALBUM);
    }
    v.FileBOXDoubleClick = 0;
}

void AddFilesToAlbum(HWND box, FolderDialogConfig* config, bool selectedOnly) {
    ViewerState& v = Viewer();
    BusyDialog busy(box, config);
    HWND list = config->Files;
    const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    if (!v.ZubBOXWindow && v.Album->PageCount() == 0) {
        v.CurrentZubIndex = 0;
        OpenZubBOX();
        SetForegroundWindow(box);
    }
    int added = 0;
    std::string last;
    for (LRESULT line = 0; line < count; ++line) {
        if (selectedOnly && SendMessageA(list, LB_GETSEL, line, 0) <= 0) continue;
        const std::string path = PathInSelectedFolder(config, LineText(list, line));
        if (path.empty()) continue;
        last = path;
        if (v.Album->FindPage(path.c_str()) == -1 && v.Album->AddPage(path.c_str()) != -1) {
            v.AlbumUnsaved = 1;
            ++added;
        }
    }
    if (v.ZubBOXWindow && !last.empty() && (selectedOnly ? added > 0 : count > 0)) {
        const int index = v.Album->FindPage(last.c_str());
        if (index >= 0) v.ZubBOXPage = ZubBOXPageOf(index);
        InvalidateRect(v.ZubBOXWindow, nullptr, TRUE);
    }
    SendMessageA(box, WM_COMMAND, MAKEWPARAM(PILTRIN_FOLDER_FILES, LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
}

void OnDoubleClick(HWND box, int listId, int buttonId) {
    HWND list = GetDlgItem(box, listId);
    const LRESULT line = listId == PILTRIN_FOLDER_FILES ? SendMessageA(list, LB_GETCARETINDEX, 0, 0)
                                                        : SendMessageA(list, LB_GETCURSEL, 0, 0);
    if (line < 0 || line >= SendMessageA(list, LB_GETCOUNT, 0, 0)) return;
    Viewer().FileBOXDoubleClick = 1;
    SendMessageA(box, WM_COMMAND, static_cast<WPARAM>(buttonId), 0);
}

void OnCommand(HWND box, FolderDialogConfig* config, int id, int code) {
    ViewerState& v = Viewer();
    switch (id) {
        case PILTRIN_FOLDER_FILES:
        case PILTRIN_FILEBOX_ALBUMS:
            if (code == LBN_SELCHANGE) RedoPreview(box, config, id);
            if (code == LBN_DBLCLK)
                OnDoubleClick(box, id,
                              id == PILTRIN_FOLDER_FILES ? PILTRIN_FILEBOX_OPEN : PILTRIN_FILEBOX_OPEN_ALBUM);
            return;
        case PILTRIN_FILEBOX_PREVIEW_ON:
            v.FileBOXPreviewOn = IsDlgButtonChecked(box, PILTRIN_FILEBOX_PREVIEW_ON) == BST_CHECKED;
            RedoPreview(box, config, PILTRIN_FOLDER_FILES);
            return;
        case PILTRIN_FILEBOX_OPEN:
            OpenSelectedPicture(box, config);
            return;
        case PILTRIN_FILEBOX_OPEN_ALBUM:
            OpenSelectedAlbum(box, config);
            return;
        case PILTRIN_FILEBOX_ADD_SELECTED:
        case PILTRIN_FILEBOX_ADD_FOLDER:
            AddFilesToAlbum(box, config, id == PILTRIN_FILEBOX_ADD_SELECTED);
            return;
        case IDCANCEL:
            if (config->LabelEditing) return;  // Escape ends the rename only
            DropPreview();
            GetWindowRect(box, &v.FileBOXRect);
            v.FileBOXWindow = nullptr;
            return;
    }
}

void OnInitDialog(HWND box) {
    ViewerState& v = Viewer();
    // Known as the open box before the start folder is listed: the listing
    // runs waiting messages, and a command 40002 among them finds this box
    // instead of making a second one beside it.
    v.FileBOXWindow = box;
    CheckDlgButton(box, PILTRIN_FILEBOX_PREVIEW_ON, v.FileBOXPreviewOn ? BST_CHECKED : BST_UNCHECKED);
    POINT at{v.FileBOXRect.left, v.FileBOXRect.top};
    if (v.FileBOXRect.right == 0) {
        RECT viewer{0, 0, 0, 0};
        if (v.MainWindow) GetWindowRect(v.MainWindow, &viewer);
        at = POINT{(viewer.left + viewer.right) / 2, (viewer.top + viewer.bottom) / 2};
    }
    SetWindowPos(box, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    v.FileBOXAlbumList = GetDlgItem(box, PILTRIN_FILEBOX_ALBUMS);
    EnableMenuItem(GetSystemMenu(box, FALSE), SC_MAXIMIZE, MF_BYCOMMAND | MF_GRAYED);
    v.FileBOXDoubleClick = 0;
}
}  // namespace

RECT PreviewPlacement(int width, int height) {
    if (width <= 0 || height <= 0) return RECT{0, 0, 0, 0};
    if (height >= width) {
        const int w = static_cast<int>(static_cast<long long>(width) * kPreviewSquare / height);
        const int left = (kPreviewSquare - w) / 2;
        return RECT{left, 0, left + w, kPreviewSquare};
    }
    const int h = static_cast<int>(static_cast<long long>(height) * kPreviewSquare / width);
    return RECT{0, 0, kPreviewSquare, h};
}

INT_PTR FileBOXHook(HWND box, UINT message, WPARAM wParam, LPARAM lParam, FolderDialogConfig* config) {
    switch (message) {
        case WM_INITDIALOG:
            OnInitDialog(box);
            break;
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            if (header->idFrom == static_cast<UINT_PTR>(config->TreeId) &&
                (header->code == TVN_SELCHANGEDA || header->code == TVN_SELCHANGEDW) &&
                reinterpret_cast<NMTREEVIEWA*>(header)->itemNew.hItem)
                SendDlgItemMessageA(box, PILTRIN_FILEBOX_ALBUMS, LB_RESETCONTENT, 0, 0);
            break;
        }
        case WM_COMMAND:
            OnCommand(box, config, LOWORD(wParam), HIWORD(wParam));
            break;
        case WM_PAINT:
            PaintPreview(box);
            break;
        case WM_DESTROY:
            if (Viewer().FileBOXWindow == box) Viewer().FileBOXWindow = nullptr;
            Viewer().FileBOXAlbumList = nullptr;
            break;
    }
    return 0;
}

int FileBOXFilter(FolderDialogConfig* config, const FileEntry& entry) {
    if (entry.Attributes == INVALID_FILE_ATTRIBUTES || (entry.Attributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    const char* name = entry.FullPath + entry.NameOffset;
    if (IsAlbumName(name)) {
        if (Viewer().FileBOXAlbumList)
            SendMessageA(Viewer().FileBOXAlbumList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
        return 0;
    }
    return IsListedPictureName(config, name) ? 1 : 0;
}

void OpenFileBOX(HWND) {
    ViewerState& v = Viewer();
    if (v.FileBOXWindow) {
        SetForegroundWindow(v.FileBOXWindow);
        return;
    }
    v.TickActive = 0;
    const char* albumPath = v.Album ? v.Album->ZubFilePath() : "";
    lstrcpynA(v.FileBOXFolder, v.DisplayMode == kZubDisplay && albumPath[0] ? albumPath : v.CurrentFolder,
              MAX_PATH);
    auto config = std::make_unique<FolderDialogConfig>();
    config->TreeId = PILTRIN_FOLDER_TREE;
    config->DriveComboId = PILTRIN_FOLDER_DRIVES;
    config->FileListId = PILTRIN_FOLDER_FILES;
    config->DesktopButtonId = PILTRIN_FOLDER_DESKTOP;
    config->MkdirButtonId = PILTRIN_FOLDER_MKDIR;
    config->UpdirButtonId = PILTRIN_FOLDER_UPDIR;
    config->RereadButtonId = PILTRIN_FOLDER_REREAD;
    config->PathEditId = PILTRIN_FOLDER_PATH;
    config->CancelId = IDCANCEL;
    config->ListMode = 1;
    config->FileFilter = FileBOXFilter;
    config->BusyCursor = v.WaitCursor;
    config->NormalCursor = v.ArrowCursor;
    config->UseCursors = 1;
    config->Hook = FileBOXHook;
    config->ResultPath = v.FileBOXFolder;
    config->NoFileName = 1;
    config->Instance = v.Instance;
    config->TemplateId = PILTRIN_DIALOG_FILE_BOX;
    // The box enters its handle itself when it starts (and clears it when it
    // goes), so a box destroyed while it was being created leaves none.
    OpenFolderDialogModeless(std::move(config));
    v.TickActive = 1;
}

void RegisterFileBOXCommands() {
    SetCommandHandler(kCommandFileBox, OpenFileBOX);
}
