// System libraries the program loads when they are first used rather than
// with the program, so that the first picture on screen waits for none of
// them: the common controls, whose start registers every control class they
// have, the shell, with the libraries it brings, and the common dialogs,
// which bring the print spooler. The viewer's own window needs none of them;
// the dialogs, drops, icons, help and saving do.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <commdlg.h>

#include <initializer_list>

// Loads the common controls (the version the program's manifest names) and
// registers their classes, once; false when they cannot be loaded. Every
// window made from a template with a tree or a tooltip is made after this.
bool LoadCommonControls();

// Small icon number of shell32 (the caller destroys it), or null.
HICON ShellSmallIcon(int number);
// A 16 x 16 image list of shell32's small icons of those numbers, in that
// order (an icon the system lacks is left out); null without the library.
HIMAGELIST MakeShellIconList(std::initializer_list<int> icons);
void DestroyImageList(HIMAGELIST list);
// ImageList_Draw; nothing without the library.
void DrawListImage(HIMAGELIST list, int image, HDC dc, int x, int y, UINT style);

// DragQueryFileA and DragFinish of a dropped-file list (0 and nothing
// without the shell).
UINT DroppedFile(HDROP drop, UINT index, char* name, UINT size);
void FinishDrop(HDROP drop);
// ShellExecuteA with the document's default verb, shown normally; true when
// the shell started it.
bool OpenDocument(const char* path);
// GetSaveFileNameA; FALSE without the common dialogs.
BOOL ShowSaveDialog(OPENFILENAMEA* request);
