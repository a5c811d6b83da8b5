#include "app/album_commands.h"

#include <commdlg.h>

#include <cstring>
#include <memory>

#include "album/zub_album.h"
#include "app/picture_display.h"
#include "app/viewer_state.h"
#include "browse/file_utils.h"
#include "browse/user_prompt.h"
#include "resources/resource_ids.h"

namespace {
const char kEmptyAlbum[] = "ズブの内容が空です。";
const char kErrorCaption[] = "Error";

void InvalidateZubBOX() {
    if (Viewer().ZubBOXWindow) InvalidateRect(Viewer().ZubBOXWindow, nullptr, TRUE);
}

bool AlbumIsEmpty(HWND window) {
    if (Viewer().Album->PageCount() > 0) return false;
    ShowMessage(window, kEmptyAlbum, kErrorCaption, MB_OK);
    return true;
}

// The save dialog; fileName (MAX_PATH bytes) holds the proposal and
// receives the choice. True on OK.
bool AskAlbumFileName(HWND window, char* fileName) {
    static const char kFilter[] = " BOOK Files {*.zub}\0*.zub\0All Files {*.*}\0*.*\0";
    OPENFILENAMEA request{};
    request.lStructSize = sizeof request;
    request.hwndOwner = window;
    request.lpstrFilter = kFilter;
    request.lpstrFile = fileName;
    request.nMaxFile = MAX_PATH;
    request.Flags = OFN_OVERWRITEPROMPT;
    request.lpstrDefExt = "zub";
    return AskSaveFileName(&request) != 0;
}

// Saves under path (the album's own when null); a failed save says why and
// leaves the album unsaved.
void SaveTo(HWND window, const char* path) {
    if (Viewer().Album->SaveFile(path))
        Viewer().AlbumUnsaved = 0;
    else if (GetLastError() != ERROR_SUCCESS)
        ShowLastError(window);
}

void SaveUnderChosenName(HWND window, char* proposal) {
    if (AskAlbumFileName(window, proposal)) SaveTo(window, proposal);
}

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            break;
    }
    return FALSE;
}
}  // namespace

int SetDisplayMode(HWND window, int mode) {
    ViewerState& v = Viewer();
    v.DisplayMode = mode;
    if (mode != kZubDisplay) return 1;
    const int pages = v.Album->PageCount();
    if (pages == 0) return 1;
    v.CurrentZubIndex = ZubDisplayPage();
    ShowZubPage(window);
    return 1;
}

int ZubDisplayPage() {
    const ViewerState& v = Viewer();
    return v.CurrentZubIndex < static_cast<DWORD>(v.Album->PageCount()) ? static_cast<int>(v.CurrentZubIndex)
                                                                        : v.Album->CoverIndex();
}

void ShowZubPage(HWND window) {
    ViewerState& v = Viewer();
    ZubAlbum& album = *v.Album;
    // Pages may have gone since the index was set: keep it inside the album.
    const int pages = album.PageCount();
    if (pages == 0) return;
    if (v.CurrentZubIndex >= static_cast<DWORD>(pages)) v.CurrentZubIndex = pages - 1;
    const int index = static_cast<int>(v.CurrentZubIndex);
    // A page a damaged album left without a path shows nothing.
    const char* page = album.GetPagePath(index);
    lstrcpynA(v.CurrentPath, page ? page : "", MAX_PATH);
    int folderLength = album.GetPageFileNameOffset(index);
    if (folderLength < 0 || static_cast<size_t>(folderLength) > std::strlen(v.CurrentPath)) folderLength = 0;
    std::memcpy(v.CurrentFolder, v.CurrentPath, folderLength);
    v.CurrentFolder[folderLength] = '\0';
    v.CurrentOrientation = album.GetPageOrientation(index);
    ShowPicture(window);
}

int OpenZubFile(HWND window, const char* path) {
    ViewerState& v = Viewer();
    // The album is read into a new one: a file that fails half-way leaves
    // the open album, its path and its unsaved flag as they were, so a later
    // save can never write a partial album over the file that failed.
    auto loaded = std::make_unique<ZubAlbum>();
    if (!loaded->LoadFile(path)) {
        ShowMessage(window, "ファイル読み込み時にエラーが発生しました。", kErrorCaption, MB_OK);
        return 0;
    }
    v.Album = std::move(loaded);
    ZubAlbum& album = *v.Album;
    v.CurrentZubIndex = album.CoverIndex();
    v.ZubBOXPage = 1;
    v.AlbumUnsaved = 0;
    if (v.ZubBOXWindow) {
        for (int i = 0; i < album.PageCount(); ++i) album.SetSelectionMark(i, 0);
        v.ZubBOXCurrent = album.CoverIndex();
        if (v.ZubBOXCurrent >= 0 && v.ZubBOXCurrent < album.PageCount())
            album.SetSelectionMark(v.ZubBOXCurrent, 2);
        InvalidateZubBOX();
    }
    SetDisplayMode(window, kZubDisplay);
    return 1;
}

void ShowLastError(HWND owner) {
    char* text = nullptr;
    FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        GetLastError(), 0, reinterpret_cast<char*>(&text), 0, nullptr);
    ShowMessage(owner, text ? text : "", kErrorCaption, MB_OK | MB_ICONINFORMATION);
    if (text) LocalFree(text);
}

void AddShownPicture(HWND) {
    ViewerState& v = Viewer();
    if (!v.ShownBitmap) return;
    // The menu offers this only for a picture not yet in the album; the
    // check here keeps a posted command from adding it twice.
    if (v.Album->FindPage(v.CurrentPath) != -1) return;
    if (v.Album->AddPage(v.CurrentPath) < 0) return;  // nothing changed
    v.AlbumUnsaved = 1;
    if (v.ZubBOXWindow) {
        v.ZubBOXPage = ZubBOXPageOf(v.Album->FindPage(v.CurrentPath));
        InvalidateZubBOX();
    }
}

void SaveAlbumAs(HWND window) {
    ViewerState& v = Viewer();
    if (AlbumIsEmpty(window)) return;
    char proposal[MAX_PATH] = "";
    const char* albumPath = v.Album->GetFilePath();
    if (albumPath[0]) {
        lstrcpynA(proposal, albumPath, MAX_PATH);
    } else {
        const int cover = v.Album->CoverIndex();
        const char* page = v.Album->GetPagePath(cover >= 0 && cover < v.Album->PageCount() ? cover : 0);
        if (page && page[0]) FolderOf(proposal, page);
        if (std::strlen(proposal) + 3 < MAX_PATH) std::strcat(proposal, "Tmp");
    }
    SaveUnderChosenName(window, proposal);
}

void SaveAlbum(HWND window) {
    ViewerState& v = Viewer();
    if (AlbumIsEmpty(window)) return;
    if (v.Album->GetFilePath()[0]) {
        SaveTo(window, nullptr);
        return;
    }
    char proposal[MAX_PATH] = "Tmp";
    SaveUnderChosenName(window, proposal);
}

void ClearAlbum(HWND window) {
    ViewerState& v = Viewer();
    if (ShowMessage(window, "ズブの内容をクリアします。", "ClearZub", MB_OKCANCEL) != IDOK) return;
    v.Album->ClearAll();
    v.CurrentZubIndex = 0;
    v.ZubBOXPage = 1;
    v.AlbumUnsaved = 0;
    InvalidateZubBOX();
}

void ShowAboutBox(HWND window) {
    ViewerState& v = Viewer();
    v.TickActive = 0;
    RunModalDialog(v.Instance, MAKEINTRESOURCEA(PILTRIN_DIALOG_ABOUT), window, AboutProc, 0);
    v.TickActive = 1;
}
