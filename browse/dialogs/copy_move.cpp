#include "browse/dialogs/copy_move.h"

#include <string>

#include "album/album_export.h"
#include "album/zub_album.h"
#include "app/album_commands.h"
#include "app/command_table.h"
#include "app/viewer_state.h"
#include "app/window_commands.h"
#include "browse/dialogs/file_list.h"
#include "browse/file_utils.h"
#include "browse/user_prompt.h"
#include "image/picture_loader.h"
#include "resources/resource_ids.h"

namespace {
// The system's text for the failure, and the file it stopped at, so that
// the user knows which file was not placed.
void ShowExportFailure(HWND owner, int failedPage) {
    const DWORD error = GetLastError();
    char* text = nullptr;
    FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = text ? text : "";
    if (text) LocalFree(text);
    const char* page = Viewer().Album->GetPagePath(failedPage);
    if (page) message += std::string(message.empty() ? "" : "\r\n") + page;
    ShowMessage(owner, message.c_str(), "Error", MB_OK | MB_ICONINFORMATION);
}
}  // namespace

INT_PTR ExportHook(HWND dialog, UINT message, WPARAM wParam, LPARAM, FolderDialogConfig*) {
    if (message == WM_INITDIALOG) {
        Viewer().ExportMove = 0;
        CheckDlgButton(dialog, PILTRIN_COPY_MOVE_MOVE, BST_UNCHECKED);
        return 1;
    }
    if (message != WM_COMMAND) return 0;
    if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)
        Viewer().ExportMove = IsDlgButtonChecked(dialog, PILTRIN_COPY_MOVE_MOVE) == BST_CHECKED;
    return 1;
}

int CopyMoveFilter(FolderDialogConfig* config, const FileEntry& entry) {
    if (entry.Attributes == INVALID_FILE_ATTRIBUTES || (entry.Attributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    const char* name = entry.FullPath + entry.NameOffset;
    return IsAlbumName(name) || IsListedPictureName(config, name) ? 1 : 0;
}

void CopyOrMoveAlbum(HWND viewer) {
    ViewerState& v = Viewer();
    if (v.Album->PageCount() == 0) {
        ShowMessage(viewer, "ズブの内容が空です。", "Error", MB_OK);
        return;
    }
    const char* albumPath = v.Album->ZubFilePath();
    lstrcpynA(v.CopyMoveFolder, albumPath[0] ? albumPath : v.CurrentFolder, MAX_PATH);
    FolderDialogConfig config;
    config.TreeId = PILTRIN_FOLDER_TREE;
    config.DriveComboId = PILTRIN_FOLDER_DRIVES;
    config.FileListId = PILTRIN_FOLDER_FILES;
    config.DesktopButtonId = PILTRIN_FOLDER_DESKTOP;
    config.MkdirButtonId = PILTRIN_FOLDER_MKDIR;
    config.UpdirButtonId = PILTRIN_FOLDER_UPDIR;
    config.RereadButtonId = PILTRIN_FOLDER_REREAD;
    config.PathEditId = PILTRIN_FOLDER_PATH;
    config.OkId = IDOK;
    config.CancelId = IDCANCEL;
    config.ListMode = 1;
    config.FileFilter = CopyMoveFilter;
    config.BusyCursor = v.WaitCursor;
    config.NormalCursor = v.ArrowCursor;
    config.UseCursors = 1;
    config.Hook = ExportHook;
    config.ResultPath = v.CopyMoveFolder;
    config.NoFileName = 1;
    config.Owner = viewer;
    config.Instance = v.Instance;
    config.TemplateId = PILTRIN_DIALOG_COPY_MOVE;
    const INT_PTR result = RunFolderDialogModal(&config);
    SetCursor(v.WaitCursor);
    if (result == IDOK && v.CopyMoveFolder[0]) {
        int failedPage = -1;
        const int exported = ExportAlbum(*v.Album, v.CopyMoveFolder, v.ExportMove, &failedPage);
        if (v.ExportMove) v.AlbumUnsaved = 1;
        if (exported != kExportDone) ShowExportFailure(viewer, failedPage);
        if (v.ZubBOXWindow) InvalidateRect(v.ZubBOXWindow, nullptr, TRUE);
    }
    SetCursor(v.ArrowCursor);
}

void RegisterCopyMoveCommands() {
    SetCommandHandler(kCommandCopyMove, CopyOrMoveAlbum);
}
