// Files dropped onto the viewer, and the shown picture dropped onto other
// programs with the right button, as the shell's own drops are made.
#pragma once

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdint>
#include <vector>

// A DROPFILES block of ANSI names: the 20-byte record, then the list (each
// name zero-terminated, the list ending with one more zero).
std::vector<uint8_t> MakeDropFilesBlock(const char* list, size_t listLength, POINT at);

// Sends one path to target as a shell file drop (WM_DROPFILES); the target
// owns the block. 1.
int SendFileDrop(HWND target, const char* path, int x, int y);
// The same for a prepared list (names zero-terminated, an extra zero at the
// end; listLength counts all its bytes). 1.
int SendFilesDrop(HWND target, const char* list, size_t listLength, int x, int y);

// WM_DROPFILES on the viewer: show a picture, open an album, or add the
// dropped pictures to the album. The drop is always finished.
LRESULT OnDropFiles(HWND window, HDROP drop);

// The right button: the popup menu over the viewer, a drop of the shown
// picture over another program.
LRESULT OnRightButtonDown(HWND window);
LRESULT OnRightButtonUp(HWND window);
// While the right button is held: the cursor tells where a release goes.
void ShowDropTargetCursor(HWND window);

// The window that a release at point would give the picture to: climbs from
// the window under the point towards its top-level window, stopping at the
// first that accepts files (unless ctrl), or not at all (shift).
HWND DropTargetAt(HWND under, bool shift, bool ctrl);
