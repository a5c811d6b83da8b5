// What the program was started with: nothing (the start-up picture), one
// album file, or picture paths separated by single spaces.
#pragma once

#include <windows.h>

#include <string>

// The argument part of a full command line: what follows the program name
// (quoted or not) and the blanks after it. Taken from GetCommandLineA,
// whose bytes are intact, unlike WinMain's argument for Japanese names.
std::string ArgumentText(const char* fullCommandLine);

// The argument text as the viewer reads it: a leading double quote keeps
// only what lies up to the next one.
std::string UnquotedArgument(const std::string& argumentText);

// Handles the argument text after the window exists.
void HandleCommandLine(HWND window, const std::string& argumentText);
