// The ViewerWindow: its class, its creation and its window procedure, which
// only dispatches each message to one handler.
#pragma once

#include <windows.h>

// Class name and title of the window.
extern const char kViewerTitle[];

// Registers the window class (result ignored by start-up, as a second
// registration in the same process is harmless).
ATOM RegisterViewerClass(HINSTANCE instance);

// Creates the ViewerWindow (creation loads the plug-ins, creates the album
// and the menu and starts the tick); null when it cannot be created.
HWND CreateViewerWindow(HINSTANCE instance);

LRESULT CALLBACK ViewerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
