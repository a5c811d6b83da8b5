// GFI info files: a line-oriented text list of pictures with a title and a
// title picture, read (never written) as an album.
#pragma once

class ZubDocument;

// Turns a GFI file into the album's content; 1 when it was a usable GFI file.
int ImportGfi(ZubDocument& album, const char* path);
// The full path of the GFI file's title picture into coverPathOut (MAX_PATH
// bytes); 1 when found.
int PeekGfiFile(const char* path, char* coverPathOut);
