// Path arithmetic behind the relative page paths of an album file: pure
// functions on ANSI (Shift-JIS) byte strings, multibyte-aware.
#pragma once

#include <string>

// How many leading directory levels path shares with base: the separators of
// base reached with every byte up to and including them equal (exact
// comparison, case matters). 0 when base is empty.
int CommonPrefixCount(const char* path, const char* base);

// path written relative to base, given their common count: one "..\" for each
// separator of base past the common ones, then the part of path after its
// common-th separator. base C:\A\B\ and path C:\A\C\y.jpg give ..\C\y.jpg.
std::string RelativeText(const char* path, const char* base, int common);

// The separators of text (multibyte-aware).
int CountSeparators(const char* text);
