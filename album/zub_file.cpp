// The .zub file: magic, header marker and size, header records, one marker,
// size and record list per page, and the end marker twice. Page paths are
// written relative to the album's folder when they share its drive root.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "album/zub_document.h"
#include "album/gfi_file.h"
#include "browse/file_utils.h"

namespace {
// Creates a new file beside target whose path is no longer than target's
// ("~" and hexadecimal digits in place of the name, at most eight bytes), so
// that any folder that can hold the album can hold it too. An invalid handle
// when none could be made, with the system's reason as the last error.
HANDLE CreateTemporaryBeside(const char* target, char* temporary) {
    const char* name = FileNamePart(target);
    const size_t folderLength = static_cast<size_t>(name - target);
    const size_t nameLength = std::min<size_t>(std::strlen(name), 8);
    if (nameLength == 0) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    std::memcpy(temporary, target, folderLength);
    const DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 12);
    for (DWORD attempt = 0; attempt < 64; ++attempt) {
        char* at = temporary + folderLength;
        *at++ = '~';
        for (DWORD i = 1, value = seed + attempt * 0x9E3779B9u; i < nameLength; ++i, value >>= 4)
            *at++ = "0123456789abcdef"[value & 15];
        *at = '\0';
        if (SamePathText(temporary + folderLength, name)) continue;
        HANDLE file =
            CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
        if (nameLength == 1) break;  // "~" is the only name that fits
    }
    return INVALID_HANDLE_VALUE;
}

// Whether an existing album may be replaced, asked before anything is
// written; false with the reason as the last error. A read-only album stays
// as it is (Windows refuses to replace it; Wine's rename would not), and one
// that another program holds open without sharing its deletion is named as
// such, where the rename would only say "access denied".
bool CanReplace(const char* target) {
    const DWORD attributes = GetFileAttributesA(target);
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;  // a new album, or the rename will say why
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    HANDLE probe = CreateFileA(target, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) return GetLastError() != ERROR_SHARING_VIOLATION;
    CloseHandle(probe);
    return true;
}

// Deletes the half-written file beside the album without disturbing the
// error that made the save fail.
void DiscardTemporary(const char* temporary) {
    DWORD error = GetLastError();
    DeleteFileA(temporary);
    SetLastError(error);
}
}  // namespace

int ZubDocument::WriteZub(RecordWriter& file) {
    uint32_t error = 0;
    void* header = header_.Block();
    file.Write(kZubMagic, kZubMagicSize);
    file.WriteU32(kZubHeaderMarker);
    file.WriteU32(header_.StoredSizeAll(header));
    header_.WriteRecord(file, header, error);
    if (error || file.Failed()) return 0;
    for (int index = 0; index < PageCount(); ++index) {
        void* page = pages_.Get(index);
        file.WriteU32(index == 0 ? kZubFirstPageMarker : kZubPageMarker);
        file.WriteU32(pageTemplate_.StoredSizeAll(page));
        pageTemplate_.WriteRecord(file, page, error);
    }
    file.WriteU32(kZubEndMarker);
    file.WriteU32(kZubEndMarker);
    return error == 0 && !file.Failed() ? 1 : 0;
}

int ZubDocument::SaveFile(const char* path) {
    if (path) SetFilePath(path);
    UpdatePageBase();
    std::string target = GetFilePath();
    if (target.empty()) return 0;
    if (!CanReplace(target.c_str())) return 0;
    // The new album is written beside the old one and replaces it only when
    // every byte reached the disk: a failed save never costs the old file.
    char temporary[MAX_PATH];
    ScopedFile file(CreateTemporaryBeside(target.c_str(), temporary));
    if (!file.Valid()) return 0;
    RecordWriter writer(file.Get());
    const bool recordsWritten = WriteZub(writer) == 1;
    bool written = writer.Flush() && recordsWritten && !writer.Failed();
    written = file.Close() && written;
    if (!written ||
        !MoveFileExA(temporary, target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DiscardTemporary(temporary);
        // A record that could not be written has shown its own message; the
        // caller reports the system's reason only for the file itself.
        if (!recordsWritten && !writer.Failed()) SetLastError(ERROR_SUCCESS);
        return 0;
    }
    modified_ = 0;
    return 1;
}

int ZubDocument::LoadFile(const char* path) {
    // Anything an album opens may also be a GFI info file.
    if (ImportGfi(*this, path)) return 1;
    ClearAll();
    SetFilePath(path);
    UpdatePageBase();
    ScopedFile file(OpenForReading(path));
    if (!file.Valid()) return 0;
    int result = ReadZub(file.Get());
    modified_ = 0;
    return result;
}

int ZubDocument::ReadZub(HANDLE handle) {
    RecordReader file(handle);
    char magic[kZubMagicSize];
    uint32_t marker = 0, headerSize = 0;
    if (!file.Read(magic, kZubMagicSize) || std::memcmp(magic, kZubMagic, kZubMagicSize) != 0) return 0;
    if (!file.ReadU32(marker) || marker != kZubHeaderMarker || !file.ReadU32(headerSize)) return 0;
    if (headerSize > file.Remaining()) return 0;

    void* header = header_.Block();
    std::string opened = GetFilePath();
    int openedNameOffset = filePathNameOffset_->GetInt(header, nullptr);
    uint32_t error = 0;
    void* page = nullptr;
    for (;;) {
        uint32_t word = 0;
        if (!file.ReadU32(word)) return 0;
        if (word == kZubFirstPageMarker) {
            uint32_t pageSize = 0;
            if (!file.ReadU32(pageSize)) return 0;
            page = PageBlock(NewPage());
            if (!page) return 0;
            break;
        }
        if (word == kZubEndMarker) break;
        header_.ReadRecord(file, header, word, error);
        if (error) break;
    }
    // The path the album had when it was written becomes SavedPath; the album
    // itself is the file just opened.
    savedPath_->SetString(header, GetFilePath());
    savedPathNameOffset_->SetInt(header, filePathNameOffset_->GetInt(header, nullptr));
    filePath_->SetString(header, opened.c_str());
    filePathNameOffset_->SetInt(header, openedNameOffset);
    if (error) return 0;

    for (;;) {
        uint32_t word = 0;
        if (!file.ReadU32(word)) return 0;
        if (word == kZubPageMarker) {
            uint32_t pageSize = 0;
            if (!file.ReadU32(pageSize)) return 0;
            page = PageBlock(NewPage());
            if (!page) return 0;
            continue;
        }
        if (word == kZubEndMarker) return 1;
        if (!page) return 0;  // a page record before any page marker has no page to go to
        pageTemplate_.ReadRecord(file, page, word, error);
        if (error) return 0;
    }
}

int PeekZubFile(const char* path, char* coverPathOut, char* titleOut, int titleSize, int* orientationOut) {
    bool wantTitle = titleOut && titleSize > 0;
    if (wantTitle) titleOut[0] = '\0';
    char folder[MAX_PATH + 1];
    if (ExpandPath(path, folder) == 0) return 0;
    folder[FileNamePart(folder) - folder] = '\0';
    AddDirSeparator(folder);

    ScopedFile handle(OpenForReading(path));
    if (!handle.Valid()) return 0;
    RecordReader file(handle.Get());
    char magic[kZubMagicSize];
    if (!file.Read(magic, kZubMagicSize)) return 0;
    if (std::memcmp(magic, kZubMagic, kZubMagicSize) != 0) {
        handle.Close();
        if (!coverPathOut) return 1;
        if (wantTitle) titleOut[0] = '\0';
        return PeekGfiFile(path, coverPathOut);
    }
    uint32_t marker = 0, headerSize = 0;
    if (!file.ReadU32(marker) || marker != kZubHeaderMarker || !file.ReadU32(headerSize)) return 0;

    bool wantPath = coverPathOut != nullptr;
    bool wantOrientation = orientationOut != nullptr;
    uint32_t cover = 0, pageSize = 0;
    bool hasPages = false;
    for (;;) {
        uint32_t word = 0, size = 0;
        if (!file.ReadU32(word)) return 0;
        if (word == kZubFirstPageMarker || word == kZubEndMarker) {
            if (word == kZubFirstPageMarker && !file.ReadU32(pageSize)) pageSize = 0;
            if (!wantPath && !wantOrientation) return 1;
            hasPages = word == kZubFirstPageMarker;
            break;
        }
        if (!file.ReadU32(size)) return 0;
        if (word == 1) {
            if (!file.ReadU32(cover)) return 0;
        } else if (word == 2) {
            // Only what the caller can hold is read; the rest is skipped, so a
            // hostile size never becomes an allocation.
            if (size > file.Remaining()) return 0;
            uint32_t take = wantTitle ? std::min<uint32_t>(size, static_cast<uint32_t>(titleSize - 1)) : 0;
            if (wantTitle) {
                if (!file.Read(titleOut, take)) return 0;
                titleOut[strnlen(titleOut, take)] = '\0';
            }
            if (!file.Skip(size - take)) return 0;
        } else if (!file.Skip(size)) {
            return 0;
        }
    }

    for (uint32_t page = 0; hasPages;) {
        if (!wantPath && !wantOrientation) return 1;
        uint32_t word = 0, size = 0;
        if (!file.ReadU32(word)) break;
        if (word == kZubPageMarker) {
            if (!file.ReadU32(pageSize) || ++page > cover) break;
            continue;
        }
        if (word == kZubEndMarker) break;
        if (page != cover && pageSize != 0) {
            if (!file.Skip(pageSize - 4)) break;
            continue;
        }
        if (!file.ReadU32(size)) break;
        if (page == cover && word == kKeywordPagePath && wantPath) {
            uint32_t flag = 0;
            char text[MAX_PATH + 1] = {};
            if (size - 4 > MAX_PATH || !file.ReadU32(flag) || !file.Read(text, size - 4)) break;
            char joined[MAX_PATH * 2 + 2];
            std::snprintf(joined, sizeof joined, "%s%s", flag == 0 ? folder : "", text);
            if (std::strlen(joined) >= MAX_PATH || ExpandPath(joined, coverPathOut) == 0) break;
            wantPath = false;
        } else if (page == cover && word == kKeywordPageOrientation && wantOrientation) {
            uint32_t value = 0;
            if (size != 4 || !file.ReadU32(value)) break;
            *orientationOut = static_cast<int>(value);
            wantOrientation = false;
        } else if (!file.Skip(size)) {
            break;
        }
    }
    if (wantPath) return 0;
    if (wantOrientation) *orientationOut = 0;
    return 1;
}
