// Copying or moving the album's picture files into one folder.
#pragma once

class ZubDocument;

// Results of ExportAlbum.
constexpr int kExportDone = 0;    // every page's file was placed
constexpr int kExportEmpty = 2;   // the album has no pages; nothing was done
constexpr int kExportFailed = 3;  // a file could not be placed; GetLastError says why

// Copies (move 0) or moves (move 1) every page's picture into the folder
// that destination names (a folder path ending in "\", or a path inside the
// folder). A name already taken there is replaced by "G%05d" and the
// picture's extension, counting up across the export. After a move the pages
// name the files at their new places; after a copy the album is unchanged.
// Files placed before a failure stay placed; the thread's last error is left
// as the failing call set it; failedPage, when given, receives the index of
// the page whose file could not be placed (-1 otherwise).
int ExportAlbum(ZubDocument& album, const char* destination, int move, int* failedPage = nullptr);
