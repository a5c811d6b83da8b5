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
    // Through the system's cache too: the rename must never reach the disk
    // before the bytes it names.
    written = written && FlushFileBuffers(file.Get());
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
    // Hands the walk's records to the header stream and the page template.
    class AlbumRecords : public ZubRecordVisitor {
    public:
        explicit AlbumRecords(ZubDocument& album)
            : album_(album),
              header_(album.header_.Block()),
              opened_(album.GetFilePath()),
              openedNameOffset_(album.filePathNameOffset_->GetInt(header_, nullptr)) {}

        bool HeaderRecord(RecordReader& file, uint32_t keywordWord) override {
            album_.header_.ReadRecord(file, header_, keywordWord, error_);
            return error_ == 0;
        }
        // The path the album had when it was written becomes SavedPath; the
        // album itself is the file just opened.
        void HeaderEnd() override {
            album_.savedPath_->SetString(header_, album_.GetFilePath());
            album_.savedPathNameOffset_->SetInt(header_,
                                                album_.filePathNameOffset_->GetInt(header_, nullptr));
            album_.filePath_->SetString(header_, opened_.c_str());
            album_.filePathNameOffset_->SetInt(header_, openedNameOffset_);
        }
        bool NewPage() override {
            page_ = album_.PageBlock(album_.NewPage());
            return page_ != nullptr;
        }
        bool PageRecord(RecordReader& file, uint32_t keywordWord) override {
            album_.pageTemplate_.ReadRecord(file, page_, keywordWord, error_);
            return error_ == 0;
        }

    private:
        ZubDocument& album_;
        void* header_;
        std::string opened_;
        int openedNameOffset_;
        void* page_ = nullptr;
        uint32_t error_ = 0;
    };
    FileRecordReader file(handle);
    AlbumRecords records(*this);
    return WalkZub(file, records);
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
    FileRecordReader file(handle.Get());
    ZubPeek peek;
    const ZubPeekResult result = PeekZub(file, coverPathOut != nullptr, orientationOut != nullptr,
                                         wantTitle ? static_cast<uint32_t>(titleSize - 1) : 0, &peek);
    if (result == ZubPeekResult::kNotZub) {
        handle.Close();
        if (!coverPathOut) return 1;
        return PeekGfiFile(path, coverPathOut);
    }
    if (wantTitle) std::memcpy(titleOut, peek.title.c_str(), peek.title.size() + 1);
    if (peek.hasOrientation) *orientationOut = peek.orientation;
    if (result != ZubPeekResult::kDone) return 0;
    if (peek.hasCoverPath) {
        char joined[MAX_PATH * 2 + 2];
        std::snprintf(joined, sizeof joined, "%s%s", peek.coverFlag == 0 ? folder : "",
                      peek.coverText.c_str());
        if (std::strlen(joined) >= MAX_PATH || ExpandPath(joined, coverPathOut) == 0) return 0;
    }
    if (orientationOut && !peek.hasOrientation) *orientationOut = 0;
    return 1;
}
