#include "album/gfi_file.h"

#include <windows.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "album/record_file.h"
#include "album/zub_document.h"
#include "browse/file_utils.h"

namespace {
// Reads a GFI file line by line. Lines end with CR LF; a bare LF or CR also
// ends one, and a line longer than the format admits is still one line (its
// text cut to kGfiLineLimit bytes), so nothing after it is lost.
class GfiLines {
public:
    explicit GfiLines(HANDLE file) : reader_(file) {}

    // The next line into text; false at the end of the file.
    bool Next() {
        text.clear();
        char c = 0;
        if (!reader_.Read(&c, 1)) return false;
        for (;;) {
            if (c == '\r') {
                char next = 0;
                uint64_t at = reader_.Position();
                if (reader_.Read(&next, 1) && next != '\n') Rewind(at);
                return true;
            }
            if (c == '\n') return true;
            if (text.size() < kGfiLineLimit) text.push_back(c);
            if (!reader_.Read(&c, 1)) return true;  // the last line needs no end
        }
    }

    char At(size_t index) const { return index < text.size() ? text[index] : '\0'; }
    bool Starts(char first) const { return At(0) == first; }
    bool Starts(char first, char second) const { return At(0) == first && At(1) == second; }

    // The text after the first "=" (empty without one), leading blanks dropped.
    std::string TextValue() const {
        size_t equals = text.find('=');
        if (equals == std::string::npos) return std::string();
        size_t start = text.find_first_not_of(" \t", equals + 1);
        if (start == std::string::npos) return std::string();
        std::string value = text.substr(start);
        return value.substr(0, std::strlen(value.c_str()));  // stop at an embedded zero byte
    }

    // The number after the first "=", read as "%d" reads it; 0 without one.
    int NumberValue() const {
        size_t equals = text.find('=');
        if (equals == std::string::npos) return 0;
        long value = std::strtol(text.c_str() + equals + 1, nullptr, 10);
        if (value > INT_MAX) return INT_MAX;
        if (value < INT_MIN) return INT_MIN;
        return static_cast<int>(value);
    }

    std::string text;

private:
    void Rewind(uint64_t position) { reader_.SeekTo(position); }
    RecordReader reader_;
};

// The folder of the GFI file, with its trailing separator.
bool GfiFolder(const char* path, char* folder) {
    if (ExpandPath(path, folder) == 0) return false;
    folder[FileNamePart(folder) - folder] = '\0';
    if (std::strlen(folder) + 1 >= MAX_PATH) return false;
    AddDirSeparator(folder);
    return true;
}

// The picture path a "FileFullName" or "FileName" line names, expanded; false
// for other lines and for paths that do not fit.
bool PicturePath(const GfiLines& line, const char* folder, char* out) {
    std::string value = line.TextValue();
    std::string path;
    if (line.At(4) == 'F')
        path = value;
    else if (line.At(4) == 'N')
        path = std::string(folder) + value;
    else
        return false;
    return path.size() < MAX_PATH && ExpandPath(path.c_str(), out) != 0;
}

// Steps 1-4 shared by both readers: identification and the main section's
// opening line. 1 ok, 0 no GFI file (nothing to clear), -1 a wrong
// identification line.
int ReadPreamble(GfiLines& lines) {
    do {
        if (!lines.Next()) return 0;
    } while (!lines.Starts('-'));
    if (lines.text != kGfiIdentification) return -1;
    do {
        if (!lines.Next()) return 0;
    } while (!lines.Starts('<'));
    return lines.At(1) == 'M' ? 1 : 0;
}

struct MainSection {
    bool complete = false;  // false when the file ended inside it
    int titleNumber = 0;
    int fileCount = 0;
    std::string title;
    bool hasTitle = false;
};

MainSection ReadMainSection(GfiLines& lines) {
    MainSection main;
    for (;;) {
        if (!lines.Next()) return main;
        if (lines.Starts('<')) break;
        if (lines.Starts('T')) {
            main.title = lines.TextValue();
            main.hasTitle = true;
        } else if (lines.Starts('G')) {
            main.titleNumber = lines.NumberValue();
        } else if (lines.Starts('N', 'u')) {
            main.fileCount = lines.NumberValue();
        }
    }
    main.complete = true;
    return main;
}

// Moves to the next line that opens a file section (the current line counts).
bool FindFileSection(GfiLines& lines) {
    while (!lines.Starts('<', 'F')) {
        if (!lines.Next()) return false;
    }
    return true;
}
}  // namespace

int ImportGfi(ZubDocument& album, const char* path) {
    char folder[MAX_PATH + 1];
    if (!GfiFolder(path, folder)) return 0;
    ScopedFile file(OpenForReading(path));
    if (!file.Valid()) return 0;
    GfiLines lines(file.Get());
    // Every return leaves the album unmodified: an import either replaces the
    // album as a whole or leaves it empty.
    auto fail = [&album](bool clear) {
        if (clear) album.ClearAll();
        album.SetZubModified(0);
        return 0;
    };
    int preamble = ReadPreamble(lines);
    if (preamble != 1) return preamble == -1 ? fail(true) : 0;
    album.ClearAll();
    MainSection main = ReadMainSection(lines);
    if (!main.complete || main.fileCount == 0) return fail(true);
    if (main.hasTitle) album.SetTitle(main.title.c_str());

    for (;;) {
        if (!FindFileSection(lines)) return fail(true);
        int number = lines.NumberValue();
        int index = album.AddBlankPage();
        if (index < 0) return fail(true);
        if (number == main.titleNumber) album.SetCoverIndex(index);
        if (!lines.Next()) return fail(true);
        void* page = album.PageBlock(index);
        bool ended = false;
        while (!ended && !lines.Starts('<')) {
            char picture[MAX_PATH];
            if (lines.Starts('C')) {
                album.SetPageComment(index, lines.TextValue().c_str());
            } else if (lines.Starts('F') && PicturePath(lines, folder, picture)) {
                // A later line replaces an earlier one: the full name wins.
                album.PagePathParam()->SetPath(page, picture);
            }
            ended = !lines.Next();
        }
        // A section whose picture name did not fit names no file: it is left
        // out rather than kept as a page without a path.
        const char* named = album.GetPagePath(index);
        if (!named || !named[0]) album.RemovePage(index);
        if (ended) {
            if (album.PageCount() == 0) return fail(true);
            album.SetFilePath(path);
            album.SetZubModified(0);
            return 1;
        }
    }
}

int PeekGfiFile(const char* path, char* coverPathOut) {
    char folder[MAX_PATH + 1];
    if (!GfiFolder(path, folder)) return 0;
    ScopedFile file(OpenForReading(path));
    if (!file.Valid()) return 0;
    GfiLines lines(file.Get());
    if (ReadPreamble(lines) != 1) return 0;
    MainSection main = ReadMainSection(lines);
    if (!main.complete || main.fileCount == 0) return 0;
    for (;;) {
        if (!FindFileSection(lines)) return 0;
        bool titleSection = lines.NumberValue() == main.titleNumber;
        do {
            if (!lines.Next()) return 0;
            if (titleSection && lines.Starts('F') && PicturePath(lines, folder, coverPathOut)) return 1;
        } while (!lines.Starts('<'));
    }
}
