#include "album/zub_core.h"

#include <algorithm>
#include <cstring>

namespace {

// The text of size bytes up to its first zero byte.
bool ReadText(RecordReader& file, uint32_t size, std::string* text) {
    text->assign(size, '\0');
    if (!file.Read(text->data(), size)) return false;
    text->resize(strnlen(text->c_str(), size));
    return true;
}

// Past a page marker: its size word (the walk reads records, not sizes),
// then the page it opens.
bool OpenPage(RecordReader& file, ZubRecordVisitor& visitor) {
    uint32_t pageSize = 0;
    return file.ReadU32(pageSize) && visitor.NewPage();
}

}  // namespace

bool ReadIntRecord(RecordReader& file, uint32_t* value) {
    uint32_t size = 0;
    return file.ReadU32(size) && size == 4 && file.ReadU32(*value);
}

bool ReadTextRecord(RecordReader& file, std::string* text) {
    uint32_t size = 0;
    if (!file.ReadU32(size) || size > file.Remaining() || size > kTextRecordLimit) return false;
    return ReadText(file, size, text);
}

bool ReadPathRecord(RecordReader& file, uint32_t* flag, std::string* text) {
    uint32_t size = 0;
    // Unsigned: sizes below 4 fail too.
    if (!file.ReadU32(size) || size - 4 > kPathRecordLimit) return false;
    return file.ReadU32(*flag) && ReadText(file, size - 4, text);
}

bool ReadKeptRecordSize(RecordReader& file, uint32_t* size) {
    // The record is kept with its keyword and size words in front.
    return file.ReadU32(*size) && *size <= file.Remaining() && *size <= UINT32_MAX - 8;
}

bool SkipRecord(RecordReader& file) {
    uint32_t size = 0;
    return file.ReadU32(size) && size <= file.Remaining() && file.Skip(size);
}

int WalkZub(RecordReader& file, ZubRecordVisitor& visitor) {
    char magic[kZubMagicSize];
    uint32_t marker = 0, headerSize = 0;
    if (!file.Read(magic, kZubMagicSize) || std::memcmp(magic, kZubMagic, kZubMagicSize) != 0) return 0;
    if (!file.ReadU32(marker) || marker != kZubHeaderMarker || !file.ReadU32(headerSize)) return 0;
    if (headerSize > file.Remaining()) return 0;

    bool hasPage = false, headerFailed = false;
    for (;;) {
        uint32_t word = 0;
        if (!file.ReadU32(word)) return 0;
        if (word == kZubFirstPageMarker) {
            if (!OpenPage(file, visitor)) return 0;
            hasPage = true;
            break;
        }
        if (word == kZubEndMarker) break;
        if (!visitor.HeaderRecord(file, word)) {
            headerFailed = true;
            break;
        }
    }
    visitor.HeaderEnd();
    if (headerFailed) return 0;

    for (;;) {
        uint32_t word = 0;
        if (!file.ReadU32(word)) return 0;
        if (word == kZubPageMarker) {
            if (!OpenPage(file, visitor)) return 0;
            hasPage = true;
            continue;
        }
        if (word == kZubEndMarker) return 1;
        if (!hasPage) return 0;  // a page record before any page marker has no page to go to
        if (!visitor.PageRecord(file, word)) return 0;
    }
}

ZubPeekResult PeekZub(RecordReader& file, bool wantPath, bool wantOrientation, uint32_t titleLimit,
                      ZubPeek* peek) {
    char magic[kZubMagicSize];
    if (!file.Read(magic, kZubMagicSize)) return ZubPeekResult::kFailed;
    if (std::memcmp(magic, kZubMagic, kZubMagicSize) != 0) return ZubPeekResult::kNotZub;
    uint32_t marker = 0, headerSize = 0;
    if (!file.ReadU32(marker) || marker != kZubHeaderMarker || !file.ReadU32(headerSize))
        return ZubPeekResult::kFailed;

    uint32_t cover = 0, pageSize = 0;
    bool hasPages = false;
    for (;;) {
        uint32_t word = 0, size = 0;
        if (!file.ReadU32(word)) return ZubPeekResult::kFailed;
        if (word == kZubFirstPageMarker || word == kZubEndMarker) {
            if (word == kZubFirstPageMarker && !file.ReadU32(pageSize)) pageSize = 0;
            if (!wantPath && !wantOrientation) return ZubPeekResult::kDone;
            hasPages = word == kZubFirstPageMarker;
            break;
        }
        if (!file.ReadU32(size)) return ZubPeekResult::kFailed;
        if (word == 1) {
            if (!file.ReadU32(cover)) return ZubPeekResult::kFailed;
        } else if (word == 2) {
            // Only what the caller can hold is read; the rest is skipped, so a
            // hostile size never becomes an allocation.
            if (size > file.Remaining()) return ZubPeekResult::kFailed;
            const uint32_t take = std::min(size, titleLimit);
            if (!ReadText(file, take, &peek->title) || !file.Skip(size - take)) return ZubPeekResult::kFailed;
        } else if (!file.Skip(size)) {
            return ZubPeekResult::kFailed;
        }
    }

    for (uint32_t page = 0; hasPages;) {
        if (!wantPath && !wantOrientation) return ZubPeekResult::kDone;
        uint32_t word = 0;
        if (!file.ReadU32(word)) break;
        if (word == kZubPageMarker) {
            if (!file.ReadU32(pageSize) || ++page > cover) break;
            continue;
        }
        if (word == kZubEndMarker) break;
        if (page != cover && pageSize != 0) {
            // Pages before the cover are stepped over whole.
            if (!file.Skip(pageSize - 4)) break;
            continue;
        }
        if (page == cover && word == kKeywordPagePath && wantPath) {
            if (!ReadPathRecord(file, &peek->coverFlag, &peek->coverText)) break;
            peek->hasCoverPath = true;
            wantPath = false;
        } else if (page == cover && word == kKeywordPageOrientation && wantOrientation) {
            uint32_t value = 0;
            if (!ReadIntRecord(file, &value)) break;
            peek->orientation = static_cast<int>(value);
            peek->hasOrientation = true;
            wantOrientation = false;
        } else {
            uint32_t size = 0;
            if (!file.ReadU32(size) || !file.Skip(size)) break;
        }
    }
    return wantPath ? ZubPeekResult::kFailed : ZubPeekResult::kDone;
}
