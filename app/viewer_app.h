// The program from start to exit: defaults, window, command line, loop.
#pragma once

#include <windows.h>

#include <string>

// Runs the viewer; the exit code (1 when the window cannot be created).
int RunViewer(HINSTANCE instance, const std::string& argumentText, int showState);

// The message loop: the open modeless dialogs see each message first.
int RunMessageLoop();
