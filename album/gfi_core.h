// The byte-level half of the GFI reader: the lines of a GFI info file and
// what its sections say, over a RecordReader. gfi_file.cpp turns the result
// into album pages and expands the picture paths.
#pragma once

#include <string>
#include <vector>

#include "album/record_reader.h"

// The identification line a GFI file begins with.
constexpr char kGfiIdentification[] = "--- GFI File Ver1.0 ---";
// The longest line text the format admits; longer lines are cut to it.
constexpr size_t kGfiLineLimit = 255;

// One line of a file section that the album uses, in file order.
struct GfiEntry {
    enum Kind { kComment, kFullPath, kNameInFolder };
    Kind kind;
    std::string text;
};

struct GfiSection {
    int number = 0;
    std::vector<GfiEntry> entries;
};

struct GfiContent {
    enum Status {
        kNotGfi,               // no identification line, or no main section
        kWrongIdentification,  // a line of dashes that is not the identification
        kIncomplete,           // the file ended inside the main section
        kRead,                 // the main section and the file sections below
    };
    Status status = kNotGfi;
    bool hasTitle = false;
    std::string title;
    int titleNumber = 0;
    int fileCount = 0;
    std::vector<GfiSection> sections;
    // True when the file ended inside a file section's lines (the one ending
    // the format allows); false when it ended before a section, or right
    // after a section's opening line.
    bool endedInSection = false;
};

GfiContent ReadGfi(RecordReader& file);
