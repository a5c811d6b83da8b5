// Where the viewer meets the desktop: the .zub file type registered with the
// shell, the shown picture made the desktop wallpaper, the help document
// opened in the user's browser. None of it keeps state of its own.
#pragma once

#include <windows.h>

// The key under which the file-type entries are written: the user's own
// classes, which the shell's classes root shows to every program the user
// runs and which need no administrator rights.
extern const char kUserClassesKey[];

// Registers extension as typeName ("description"), its icon as iconIndex of
// programPath and its open command as programPath in quotes and " %1" (none when
// programPath is null). With ask set, an existing entry is replaced only
// after the user agrees, and the outcome is reported. A step that fails
// takes back what the call had changed before it. 1 when every step
// succeeded, else 0. ignoredPath is not used.
int RegisterDocType(const char* extension, const char* typeName, const char* description,
                    const char* ignoredPath, int iconIndex, const char* programPath, int ask);

// Writes "TileWallpaper" and "Wallpaperstyle" and makes bitmapPath the
// wallpaper. Always 1.
int SetWallpaper(const char* bitmapPath, int tile, int style);

// Opens documentPath with the shell's default verb; 1 when the shell took it.
int OpenHelp(const char* documentPath);

// Commands 22 and 23: the shown picture, as stored in its file, written as
// "Wallpaper.bmp" beside the program and made the wallpaper, centred or
// tiled. Nothing without a picture; a message when the file cannot be
// written, and then the desktop stays as it was.
void MakeWallpaper(HWND window, int tile);

// Opens a help document, telling the user when it is missing or the shell
// cannot open it.
void ShowHelpDocument(HWND owner, const char* documentPath);
// Command 24: "Help\index.htm" beside the program.
void ShowHelp(HWND window);
