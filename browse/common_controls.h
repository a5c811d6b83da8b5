// The common controls library, loaded when a window that uses it is first
// made rather than with the program: its start registers every control class
// it has, some tens of milliseconds that the first picture on screen should
// not wait for, while the viewer's own window uses none of them.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <initializer_list>

// Loads the library (the version the program's manifest names) and
// registers its classes, once; false when it cannot be loaded. Every window
// made from a template with a tree or a tooltip is made after this call.
bool LoadCommonControls();

// A 16 x 16 image list of shell32's small icons of those numbers, in that
// order (an icon the system lacks is left out); null without the library.
HIMAGELIST MakeShellIconList(std::initializer_list<int> icons);
void DestroyImageList(HIMAGELIST list);
// ImageList_Draw; nothing without the library.
void DrawListImage(HIMAGELIST list, int image, HDC dc, int x, int y, UINT style);
