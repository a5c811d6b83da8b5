// The display modes and the album commands of the popup menu: showing a
// page, opening an album file, adding the shown picture, saving, clearing.
#pragma once

#include <windows.h>

// Mode 13 (zub display: shows page CurrentZubIndex) or 14 (normal). 1.
int SetDisplayMode(HWND window, int mode);
// The page the zub display shows: CurrentZubIndex, or the cover when the
// index lies outside the album.
int ZubDisplayPage();

// Shows album page CurrentZubIndex in the orientation it records.
void ShowZubPage(HWND window);

// Loads a .zub (or GFI) file into the album and shows its cover page; 1, or
// 0 after telling the user the file could not be read.
int OpenZubFile(HWND window, const char* path);

// The system's text for the thread's last error, in a message box.
void ShowLastError(HWND owner);

void AddShownPicture(HWND window);  // command 9
void SaveAlbumAs(HWND window);      // command 11
void SaveAlbum(HWND window);        // command 20
void ClearAlbum(HWND window);       // command 17
void ShowAboutBox(HWND window);     // command 40

// The ZubBOX page (1-based, twelve thumbnails a page) that holds index.
inline int ZubBOXPageOf(int index) {
    return index / 12 + 1;
}
