// The byte-level half of the .zub reader: the file's markers, the walk over
// its header and page records, the bodies of the record kinds, and the quick
// look at a cover page, over a RecordReader. The album (zub_file.cpp and the
// params) gives the records their meaning; nothing here needs Windows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "album/record_reader.h"

// File markers of the .zub format.
constexpr char kZubMagic[] = "-ZUBFile V1.00-\r";
constexpr uint32_t kZubMagicSize = 16;
constexpr uint32_t kZubHeaderMarker = 0xFFFFFFFF;
constexpr uint32_t kZubFirstPageMarker = 0xFFFF0001;
constexpr uint32_t kZubPageMarker = 0xFFFFFFFF;
constexpr uint32_t kZubEndMarker = 0xFFFF0000;

// Page keywords.
constexpr uint32_t kKeywordPagePath = 128;
constexpr uint32_t kKeywordPageComment = 130;
constexpr uint32_t kKeywordPageNote = 131;
constexpr uint32_t kKeywordPageMark = 132;
constexpr uint32_t kKeywordPageOrientation = 133;

// The longest text record a file may hold (titles, comments, notes): a
// larger size is a damaged or hostile file, refused before anything is
// allocated for it.
constexpr uint32_t kTextRecordLimit = 1024 * 1024;
// The longest path text a path record may hold (the system's MAX_PATH).
constexpr uint32_t kPathRecordLimit = 260;

// Record bodies: each reads the size word that follows the keyword word, then
// the body; false when the record is malformed or the data ends.
// A 4-byte integer record.
bool ReadIntRecord(RecordReader& file, uint32_t* value);
// A text record, up to its first zero byte (a record without one still ends
// at the record's end).
bool ReadTextRecord(RecordReader& file, std::string* text);
// A path record: the relative flag (0: relative to the album's folder) and
// at most kPathRecordLimit bytes of text, up to its first zero byte.
bool ReadPathRecord(RecordReader& file, uint32_t* flag, std::string* text);
// The size word of a record kept whole; the body then follows.
bool ReadKeptRecordSize(RecordReader& file, uint32_t* size);
// Steps over a record's body.
bool SkipRecord(RecordReader& file);

// What the walk over a .zub file hands to its reader, in file order. A
// record callback reads the record's size and body; false stops the walk.
class ZubRecordVisitor {
public:
    virtual ~ZubRecordVisitor() = default;
    virtual bool HeaderRecord(RecordReader& file, uint32_t keywordWord) = 0;
    // After the header's records (and the first page's marker), unless the
    // data ended inside the header.
    virtual void HeaderEnd() = 0;
    virtual bool NewPage() = 0;
    virtual bool PageRecord(RecordReader& file, uint32_t keywordWord) = 0;
};

// Walks a whole .zub file; 1 when it was read to its end marker.
int WalkZub(RecordReader& file, ZubRecordVisitor& visitor);

// The quick look at an album that a thumbnail or preview needs.
struct ZubPeek {
    std::string title;  // the last title record, at most titleLimit bytes
    bool hasCoverPath = false;
    uint32_t coverFlag = 0;
    std::string coverText;
    bool hasOrientation = false;
    int orientation = 0;
};
enum class ZubPeekResult { kFailed, kNotZub, kDone };

// Reads the title and, when asked, the cover page's path and orientation.
// kDone when every asked part was found (a missing orientation counts as 0).
ZubPeekResult PeekZub(RecordReader& file, bool wantPath, bool wantOrientation, uint32_t titleLimit,
                      ZubPeek* peek);
