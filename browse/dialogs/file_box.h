// The FileBOX: the modeless file browser from which pictures and albums are
// previewed and opened and the album is filled. A folder dialog on template
// 121 with the hook and filter of this module.
#pragma once

#include "browse/dialogs/folder_dialog.h"

// Command 40002: opens the FileBOX on the album's or the shown folder.
void OpenFileBOX(HWND viewer);

// Registers command 40002.
void RegisterFileBOXCommands();

// The hook and filter the FileBOX is configured with.
INT_PTR FileBOXHook(HWND box, UINT message, WPARAM wParam, LPARAM lParam, FolderDialogConfig* config);
int FileBOXFilter(FolderDialogConfig* config, const FileEntry& entry);

// Where a picture of width x height is drawn inside the 130-pixel square.
RECT PreviewPlacement(int width, int height);
