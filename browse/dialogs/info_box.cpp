#include "browse/dialogs/info_box.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "album/zub_album.h"
#include "app/command_table.h"
#include "app/info_box_message.h"
#include "app/viewer_state.h"
#include "app/window_commands.h"
#include "browse/box_place.h"
#include "browse/dialogs/dialog_fields.h"
#include "resources/resource_ids.h"

namespace {
constexpr char kNotInAlbum[] = "It isn't Book member.";

// Set while the box writes its own fields: the title field's EN_UPDATE then
// reports the box's refresh, not a new comment. Without it, emptying the
// field for a picture that failed to load would wipe its page's comment.
bool g_refreshing = false;

// Above 1000 KiB the thousands get a comma; 1000 itself has none.
std::string KiBText(DWORD kib) {
    char text[32];
    if (kib > 1000) {
        wsprintfA(text, "%4u,%03u", static_cast<unsigned>(kib / 1000), static_cast<unsigned>(kib % 1000));
    } else {
        wsprintfA(text, "%8u", static_cast<unsigned>(kib));
    }
    return text;
}

// "[ YY/MM/DD hh:mm ]" in local time, YY counting years since 1900. A time
// that the MS-DOS fields cannot hold (before 1980, after 2107) stays empty
// rather than showing whatever the fields happened to contain.
std::string WriteTimeText(const FILETIME& written) {
    FILETIME local;
    WORD date = 0, time = 0;
    if (!FileTimeToLocalFileTime(&written, &local) || !FileTimeToDosDateTime(&local, &date, &time)) return "";
    char text[40];
    wsprintfA(text, "[ %02d/%02d/%02d %02d:%02d ]", (date >> 9) + 80, (date >> 5) & 15, date & 31, time >> 11,
              (time >> 5) & 63);
    return text;
}

void FillFields(HWND box) {
    const ViewerState& v = Viewer();
    g_refreshing = true;
    if (v.ShownBitmap) {
        const int page = v.Album ? v.Album->FindPage(v.CurrentPath) : -1;
        const char* comment = page != -1 ? v.Album->GetPageComment(page) : kNotInAlbum;
        SetField(box, PILTRIN_INFOBOX_TITLE, comment ? comment : "");
        const size_t folderLength = std::min(std::strlen(v.CurrentFolder), std::strlen(v.CurrentPath));
        SetField(box, PILTRIN_INFOBOX_FILE_NAME, v.CurrentPath + folderLength);
        SetField(box, PILTRIN_INFOBOX_FOLDER, v.CurrentFolder);
        SetField(box, PILTRIN_INFOBOX_SIZE_KIB, KiBText(v.PictureFileKiB).c_str());
        SIZE size{0, 0};
        GetBitmapDimensionEx(v.ShownBitmap, &size);
        SetNumberField(box, PILTRIN_INFOBOX_WIDTH, size.cx);
        SetNumberField(box, PILTRIN_INFOBOX_HEIGHT, size.cy);
        SetNumberField(box, PILTRIN_INFOBOX_DEPTH, v.PictureColorDepth);
        SetField(box, PILTRIN_INFOBOX_WRITE_TIME, WriteTimeText(v.PictureWriteTime).c_str());
    } else {
        // The depth keeps its text.
        for (int id : {PILTRIN_INFOBOX_TITLE, PILTRIN_INFOBOX_FILE_NAME, PILTRIN_INFOBOX_FOLDER,
                       PILTRIN_INFOBOX_SIZE_KIB, PILTRIN_INFOBOX_WIDTH, PILTRIN_INFOBOX_HEIGHT,
                       PILTRIN_INFOBOX_WRITE_TIME}) {
            SetField(box, id, "");
        }
    }
    g_refreshing = false;
}

void ReturnToLastPlace(HWND box) {
    ReturnBoxToPlace(box, InfoBoxRect(), Viewer().MainWindow, FirstBoxPlace::AsMade);
}

INT_PTR OnInitDialog(HWND box) {
    EnableMenuItem(GetSystemMenu(box, FALSE), SC_MAXIMIZE, MF_BYCOMMAND | MF_GRAYED);
    FillFields(box);
    ReturnToLastPlace(box);
    return TRUE;
}

// A text put into the title field by anyone but the box itself becomes the
// comment of the shown picture's page.
void OnTitleUpdate(HWND box) {
    const ViewerState& v = Viewer();
    if (g_refreshing || !v.ShownBitmap || !v.Album) return;
    const int page = v.Album->FindPage(v.CurrentPath);
    if (page != -1) v.Album->SetPageCommentFromWindow(page, GetDlgItem(box, PILTRIN_INFOBOX_TITLE));
}

INT_PTR OnCommand(HWND box, int id, int code) {
    if (id == PILTRIN_INFOBOX_TITLE && code == EN_UPDATE) {
        OnTitleUpdate(box);
    } else if (id == IDOK || id == IDCANCEL) {
        RememberBoxPlace(box, InfoBoxRect());
        DestroyWindow(box);
    }
    return FALSE;
}

INT_PTR CALLBACK InfoBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog(box);
        case WM_INFOBOXREFRESH:
            FillFields(box);
            ReturnToLastPlace(box);
            return TRUE;
        case WM_PAINT:
            // Current after every repaint too; the dialog manager paints.
            FillFields(box);
            return FALSE;
        case WM_COMMAND:
            return OnCommand(box, LOWORD(wParam), HIWORD(wParam));
        case WM_DESTROY:
            if (Viewer().InfoBOXWindow == box) Viewer().InfoBOXWindow = nullptr;
            return FALSE;
    }
    return FALSE;
}
}  // namespace

RECT& InfoBoxRect() {
    static RECT rect{0, 0, 0, 0};
    return rect;
}

void OpenInfoBox(HWND window) {
    ViewerState& v = Viewer();
    if (v.InfoBOXWindow) {
        SetActiveWindow(v.InfoBOXWindow);
        return;
    }
    v.TickActive = 0;
    v.InfoBOXWindow =
        CreateDialogParamA(v.Instance, MAKEINTRESOURCEA(PILTRIN_DIALOG_INFOBOX), window, InfoBoxProc, 0);
    v.TickActive = 1;
}

void RegisterInfoBoxCommands() {
    SetCommandHandler(kCommandInfoBox, OpenInfoBox);
}
