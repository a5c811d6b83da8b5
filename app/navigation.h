// Stepping to the previous or next picture: the album's pages in zub
// display, the FolderList's names in normal display. No wrap-around.
#pragma once

#include <windows.h>

enum class Step { kPrevious, kNext };

// Shows the picture one step away (the same one again at either end).
// releaseShownFirst deletes the shown bitmap before loading.
void StepPicture(HWND window, Step step, bool releaseShownFirst);

// The arrow keys (and the keypad's 4 and 6).
void OnKeyDown(HWND window, WPARAM key);

// A double click on the right half steps forward, on the left half back.
LRESULT OnDoubleClick(HWND window, LPARAM position);
