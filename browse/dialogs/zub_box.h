// The ZubBOX: the modeless window in which the album is seen and worked on
// as pages of twelve thumbnails. It holds no model of its own: it reads and
// changes the shell's album and the shared fields of ViewerState, and the
// shell repaints it through ViewerState::ZubBOXWindow when the album changes.
#pragma once

#include <windows.h>

// Posted by the box to itself: wParam 18, lParam the album index of a cell
// to build. Each step builds one cell, lets waiting messages run, and posts
// the next cell of the page.
constexpr UINT WM_ZUBTHUMB = WM_USER + 257;

// Opens the box (menu command 18); an open box is brought forward instead.
void OpenZubBOX(HWND viewer);
// Registers command 18 with the shell.
void RegisterZubBOXCommands();
