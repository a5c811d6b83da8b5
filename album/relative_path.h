// Path arithmetic behind the relative page paths of an album file: pure
// functions on ANSI (Shift-JIS) byte strings, multibyte-aware.
#pragma once

#include <cstddef>
#include <string>

// How many leading directory levels path shares with base: the separators of
// base reached with every byte up to and including them equal (exact
// comparison, case matters). 0 when base is empty.
int CommonPrefixCount(const char* path, const char* base);

// path written relative to base, given their common count: one "..\" for each
// separator of base past the common ones, then the part of path after its
// common-th separator. base C:\A\B\ and path C:\A\C\y.jpg give ..\C\y.jpg.
std::string RelativeText(const char* path, const char* base, int common);

// How a path is written relative to base: ups times "..\" and then rest (a
// tail of path). Found in one pass; common is the common-prefix count above.
struct RelativeForm {
    int common = 0;
    int ups = 0;
    const char* rest = nullptr;
    size_t baseLength = 0;
    size_t TextLength() const;
};
RelativeForm RelativeFormOf(const char* path, const char* base);

// The separators of text (multibyte-aware).
int CountSeparators(const char* text);
