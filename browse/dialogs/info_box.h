// The image information box: a small modeless window with the facts of the
// picture on screen (album comment, file name, folder, size in KiB, pixel
// size, depth, file time). It keeps nothing but the place where it was last
// closed; every refresh reads the viewer's state afresh.
#pragma once

#include <windows.h>

// Registers command 15 (open the box) with the shell.
void RegisterInfoBoxCommands();

// Command 15: opens the box owned by window, or brings an open one forward.
void OpenInfoBox(HWND window);

// The box's window rectangle at its last close; right edge 0 until then.
RECT& InfoBoxRect();
