#include "album/album_export.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "album/zub_document.h"
#include "browse/file_utils.h"

namespace {
constexpr unsigned kLastGeneratedName = 100000;

// The destination folder with its trailing separator; false when it cannot
// be expanded.
bool DestinationFolder(const char* destination, std::string& folder) {
    char full[MAX_PATH + 1];
    if (ExpandPath(destination, full) == 0) return false;
    full[FileNamePart(full) - full] = '\0';
    if (std::strlen(full) + 1 >= MAX_PATH) return false;
    AddDirSeparator(full);
    folder = full;
    return true;
}

// "G%05d" and the extension of the file name (none when the name has no
// "."; a dot in a folder name is no extension).
std::string GeneratedName(unsigned counter, const char* fileName) {
    char name[32];
    std::snprintf(name, sizeof name, "G%05u", counter);
    const char* extension = ExtensionOf(fileName);
    return *extension ? std::string(name) + "." + extension : std::string(name);
}

// Moves (or copies) one file; true when it was placed at target.
bool Place(const char* source, const std::string& target, bool move, bool& copiedForMove) {
    if (target.size() >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    if (move && MoveFileA(source, target.c_str())) return true;
    if (!CopyFileA(source, target.c_str(), TRUE)) return false;
    copiedForMove = move;
    return true;
}
}  // namespace

int ExportAlbum(ZubDocument& album, const char* destination, int move, int* failedPage) {
    if (failedPage) *failedPage = -1;
    if (album.PageCount() == 0) return kExportEmpty;
    // The working copy records where each page's file went.
    auto working = std::make_unique<ZubDocument>();
    auto fail = [&working] {
        DWORD error = GetLastError();
        working.reset();
        SetLastError(error);  // the caller shows this error
        return kExportFailed;
    };
    if (!working->CopyFrom(album)) return fail();
    std::string folder;
    if (!DestinationFolder(destination, folder)) {
        SetLastError(ERROR_BAD_PATHNAME);
        return fail();
    }

    unsigned counter = 1;
    for (int index = 0; index < album.PageCount(); ++index) {
        std::string source = album.GetPagePath(index);
        const char* fileName = album.GetPageFileName(index);
        std::string target = folder + fileName;
        bool copiedForMove = false;
        if (!SamePathText(source.c_str(), target.c_str())) {
            bool placed = Place(source.c_str(), target, move != 0, copiedForMove);
            while (!placed) {
                if (GetLastError() != ERROR_FILE_EXISTS || counter > kLastGeneratedName) {
                    if (failedPage) *failedPage = index;
                    return fail();
                }
                target = folder + GeneratedName(counter++, fileName);
                placed = Place(source.c_str(), target, move != 0, copiedForMove);
            }
            // A move that had to copy removes the source, or it would be a
            // copy after all.
            if (copiedForMove) DeleteFileA(source.c_str());
        }
        int copyIndex = working->FindPage(source.c_str());
        if (copyIndex >= 0) working->SetPagePath(copyIndex, target.c_str());
        if (move) album.SetPagePath(index, target.c_str());
    }
    return kExportDone;
}
