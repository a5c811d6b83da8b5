// The folder tree of the folder dialog: the chain of folders from a drive's
// root to the current folder, each with its sub-folders as siblings, and the
// walk that fills an item with its sub-folders and offers its files to a
// filter.
#pragma once

#include "browse/dialogs/folder_dialog.h"

// Attaches the shared folder images to the tree (reference-counted).
void AttachTreeImages(HWND tree);
void DetachTreeImages();

// Rebuilds the tree for path (ending in "\") and selects its last folder;
// false when a component was not found (the deepest folder found is
// selected then).
bool ShowFolderInTree(FolderDialogConfig* config, const char* path);

// Adds the sub-folders of item (unless added before) and, with a filter,
// offers each file of its folder to it. -1 when the filter abandoned the
// fill, else 1.
int FillTreeItem(FolderDialogConfig* config, HTREEITEM item, bool addSubfolders, FileFilterProc filter);

// The child of parent labelled name (single-byte letters without case), or null.
HTREEITEM FindChildItem(HWND tree, HTREEITEM parent, const char* name, size_t length);

// Writes text to the standard output handle (nothing without a console).
void Trace(const char* text);
