#include "album/gfi_file.h"

#include <windows.h>

#include <cstring>

#include "album/record_file.h"
#include "album/zub_document.h"
#include "browse/file_utils.h"

namespace {
// The folder of the GFI file, with its trailing separator.
bool GfiFolder(const char* path, char* folder) {
    if (ExpandPath(path, folder) == 0) return false;
    folder[FileNamePart(folder) - folder] = '\0';
    if (std::strlen(folder) + 1 >= MAX_PATH) return false;
    AddDirSeparator(folder);
    return true;
}

// The picture path an entry names, expanded; false for comments and for
// paths that do not fit.
bool PicturePath(const GfiEntry& entry, const char* folder, char* out) {
    std::string path;
    if (entry.kind == GfiEntry::kFullPath)
        path = entry.text;
    else if (entry.kind == GfiEntry::kNameInFolder)
        path = std::string(folder) + entry.text;
    else
        return false;
    return path.size() < MAX_PATH && ExpandPath(path.c_str(), out) != 0;
}

// The file's content, read whole; kNotGfi when it cannot be opened.
GfiContent ReadGfiFile(const char* path) {
    ScopedFile file(OpenForReading(path));
    if (!file.Valid()) return GfiContent{};
    FileRecordReader reader(file.Get());
    return ReadGfi(reader);
}
}  // namespace

int ImportGfi(ZubDocument& album, const char* path) {
    char folder[MAX_PATH + 1];
    if (!GfiFolder(path, folder)) return 0;
    const GfiContent gfi = ReadGfiFile(path);
    // Every return leaves the album unmodified: an import either replaces the
    // album as a whole or leaves it empty.
    auto fail = [&album](bool clear) {
        if (clear) album.ClearAll();
        album.SetZubModified(0);
        return 0;
    };
    if (gfi.status == GfiContent::kNotGfi) return 0;
    if (gfi.status != GfiContent::kRead || gfi.fileCount == 0 || !gfi.endedInSection) return fail(true);
    album.ClearAll();
    if (gfi.hasTitle) album.SetTitle(gfi.title.c_str());

    for (const GfiSection& section : gfi.sections) {
        int index = album.AddBlankPage();
        if (index < 0) return fail(true);
        if (section.number == gfi.titleNumber) album.SetCoverIndex(index);
        void* page = album.PageBlock(index);
        for (const GfiEntry& entry : section.entries) {
            char picture[MAX_PATH];
            if (entry.kind == GfiEntry::kComment) {
                album.SetPageComment(index, entry.text.c_str());
            } else if (PicturePath(entry, folder, picture)) {
                // A later line replaces an earlier one: the full name wins.
                album.PagePathParam()->SetPath(page, picture);
            }
        }
        // A section whose picture name did not fit names no file: it is left
        // out rather than kept as a page without a path.
        const char* named = album.GetPagePath(index);
        if (!named || !named[0]) album.RemovePage(index);
    }
    if (album.PageCount() == 0) return fail(true);
    album.SetFilePath(path);
    album.SetZubModified(0);
    return 1;
}

int PeekGfiFile(const char* path, char* coverPathOut) {
    char folder[MAX_PATH + 1];
    if (!GfiFolder(path, folder)) return 0;
    const GfiContent gfi = ReadGfiFile(path);
    if (gfi.status != GfiContent::kRead || gfi.fileCount == 0) return 0;
    for (const GfiSection& section : gfi.sections) {
        if (section.number != gfi.titleNumber) continue;
        for (const GfiEntry& entry : section.entries) {
            if (PicturePath(entry, folder, coverPathOut)) return 1;
        }
    }
    return 0;
}
