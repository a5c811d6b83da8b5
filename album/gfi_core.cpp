#include "album/gfi_core.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace {
// Reads a GFI file line by line. Lines end with CR LF; a bare LF or CR also
// ends one, and a line longer than the format admits is still one line (its
// text cut to kGfiLineLimit bytes), so nothing after it is lost.
class GfiLines {
public:
    explicit GfiLines(RecordReader& file) : reader_(file) {}

    // The next line into text; false at the end of the file.
    bool Next() {
        text.clear();
        char c = 0;
        if (!reader_.Read(&c, 1)) return false;
        for (;;) {
            if (c == '\r') {
                char next = 0;
                uint64_t at = reader_.Position();
                if (reader_.Read(&next, 1) && next != '\n') reader_.SeekTo(at);
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
    RecordReader& reader_;
};

// The identification and the main section's opening line. 1 ok, 0 no GFI
// file, -1 a wrong identification line.
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

// The main section's lines; false when the file ended inside it.
bool ReadMainSection(GfiLines& lines, GfiContent& gfi) {
    for (;;) {
        if (!lines.Next()) return false;
        if (lines.Starts('<')) return true;
        if (lines.Starts('T')) {
            gfi.title = lines.TextValue();
            gfi.hasTitle = true;
        } else if (lines.Starts('G')) {
            gfi.titleNumber = lines.NumberValue();
        } else if (lines.Starts('N', 'u')) {
            gfi.fileCount = lines.NumberValue();
        }
    }
}

// Moves to the next line that opens a file section (the current line counts).
bool FindFileSection(GfiLines& lines) {
    while (!lines.Starts('<', 'F')) {
        if (!lines.Next()) return false;
    }
    return true;
}

// A section line the album uses: its comment, or a picture named by its full
// path ("FileFullName") or by its name in the GFI file's folder ("FileName").
void ReadEntry(const GfiLines& line, GfiSection& section) {
    if (line.Starts('C')) {
        section.entries.push_back({GfiEntry::kComment, line.TextValue()});
    } else if (line.Starts('F') && (line.At(4) == 'F' || line.At(4) == 'N')) {
        section.entries.push_back(
            {line.At(4) == 'F' ? GfiEntry::kFullPath : GfiEntry::kNameInFolder, line.TextValue()});
    }
}
}  // namespace

GfiContent ReadGfi(RecordReader& file) {
    GfiLines lines(file);
    GfiContent gfi;
    const int preamble = ReadPreamble(lines);
    if (preamble != 1) {
        gfi.status = preamble == -1 ? GfiContent::kWrongIdentification : GfiContent::kNotGfi;
        return gfi;
    }
    if (!ReadMainSection(lines, gfi)) {
        gfi.status = GfiContent::kIncomplete;
        return gfi;
    }
    gfi.status = GfiContent::kRead;
    for (;;) {
        if (!FindFileSection(lines)) return gfi;
        gfi.sections.emplace_back();
        GfiSection& section = gfi.sections.back();
        section.number = lines.NumberValue();
        if (!lines.Next()) return gfi;
        while (!lines.Starts('<')) {
            ReadEntry(lines, section);
            if (!lines.Next()) {
                gfi.endedInSection = true;
                return gfi;
            }
        }
    }
}
