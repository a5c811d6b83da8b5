// The options dialog (template 109): the display, animation, slideshow and
// drop settings of ViewerSettings, and the button that registers the .zub
// file type. Modal; the settings last for the rest of the run.
#pragma once

#include <windows.h>

INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Command 40003: runs the dialog with the tick paused, then brings the
// window in line with whatever the settings have become.
void ShowOptionsDialog(HWND window);
