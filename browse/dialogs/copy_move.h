// Command 19: copy or move the album's picture files into a folder chosen
// in the folder dialog on template 120.
#pragma once

#include "browse/dialogs/folder_dialog.h"

void CopyOrMoveAlbum(HWND viewer);
void RegisterCopyMoveCommands();

INT_PTR ExportHook(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, FolderDialogConfig* config);
int CopyMoveFilter(FolderDialogConfig* config, const FileEntry& entry);
