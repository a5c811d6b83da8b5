// The folder dialog's drive selector: an owner-drawn combo box listing the
// drives of the system with the shell's drive icons.
#pragma once

#include <windows.h>

// Fills combo with one "X:" entry per logical drive, each carrying its drive
// type, and attaches the shared drive images (reference-counted).
void FillDriveCombo(HWND combo);
void DetachDriveImages();

// Selects the entry of path's drive.
void SelectDriveOf(HWND combo, const char* path);

// Draws one entry (WM_DRAWITEM of the combo).
void DrawDriveItem(const DRAWITEMSTRUCT& item);

// The drive image for a drive type and letter, or -1 for none.
int DriveImageIndex(UINT driveType, char letter);
