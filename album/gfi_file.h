// GFI info files: a line-oriented text list of pictures with a title and a
// title picture, read (never written) as an album.
#pragma once

#include <string>

#include "album/gfi_core.h"

class ZubDocument;

// Turns a GFI file into the album's content; 1 when it was a usable GFI file
// (the album then names the GFI file as its path and is unmodified). On 0 the
// album is untouched when the file was no GFI file at all, else left empty.
int ImportGfi(ZubDocument& album, const char* path);
// The full path of the GFI file's title picture into coverPathOut (MAX_PATH
// bytes); 1 when found.
int PeekGfiFile(const char* path, char* coverPathOut);
