// The window-geometry commands: fit or true size, title bar on and off,
// maximise over the whole screen and back, and the stacking position.
#pragma once

#include <windows.h>

// Command numbers of the popup menu. The two display modes are stored as
// their command numbers.
enum Command : int {
    kCommandTick = 2,
    kCommandTitleBar = 3,
    kCommandRestore = 4,
    kCommandMaximise = 5,
    kCommandTopmost = 6,
    kCommandNotTopmost = 7,
    kCommandBottom = 8,
    kCommandAddShown = 9,
    kCommandSaveAs = 11,
    kCommandZubDisplay = 13,
    kCommandNormalDisplay = 14,
    kCommandInfoBox = 15,
    kCommandClearAlbum = 17,
    kCommandZubBox = 18,
    kCommandCopyMove = 19,
    kCommandSave = 20,
    kCommandFitOrTrueSize = 21,
    kCommandWallpaperCentre = 22,
    kCommandWallpaperTile = 23,
    kCommandHelp = 24,
    kCommandAbout = 40,
    kCommandExit = 40001,
    kCommandFileBox = 40002,
    kCommandOptions = 40003,
};

void ToggleFitToWindow(HWND window);
void ToggleTitleBar(HWND window);
void MaximiseWindow(HWND window);
void RestoreWindow(HWND window);
// command is kCommandTopmost, kCommandNotTopmost or kCommandBottom.
void SetStackingPosition(HWND window, int command);
