// The file list of the folder dialog: the list box that a folder's files
// are listed into, through the dialog's own filter and the caller's.
#pragma once

#include "browse/dialogs/folder_dialog.h"

// Starts a listing: the list is emptied and redrawing held back.
void BeginFileList(FolderDialogConfig* config);
// Ends it: the names that were listed go into the list in its own order
// (sorted the way the list box sorts, when it is a sorted one), and the
// list is redrawn.
void EndFileList(FolderDialogConfig* config);

// True for a name whose extension is "zub" (any case).
bool IsAlbumName(const char* name);
// IsPictureName for the names of one listing: the answer is kept per
// extension until the next listing starts, since asking each plug-in about
// each of thousands of names would cost more than the walk of the folder.
bool IsListedPictureName(FolderDialogConfig* config, const char* name);
