// The ViewerWindow: its class, its creation and its window procedure, which
// only dispatches each message to one handler.
#pragma once

#include <windows.h>

// Class name and title of the window.
extern const char kViewerTitle[];

// The two frames of the window; the whole style word is replaced when the
// title bar is switched.
constexpr DWORD kStyleWithTitle = 0x00CE0000;  // caption, system menu, sizing frame, minimise box
constexpr DWORD kStyleBare = 0x00040000;       // sizing frame only

// Registers the window class (result ignored by start-up, as a second
// registration in the same process is harmless).
ATOM RegisterViewerClass(HINSTANCE instance);

// Creates the ViewerWindow (creation loads the plug-ins, creates the album
// and the menu and starts the tick); null when it cannot be created.
HWND CreateViewerWindow(HINSTANCE instance);

LRESULT CALLBACK ViewerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
