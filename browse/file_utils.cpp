#include "browse/file_utils.h"

#include <cstring>

namespace {
bool IsLeadByte(char c) { return IsDBCSLeadByte(static_cast<BYTE>(c)) != FALSE; }

// Steps over one character; a lead byte followed by the terminator counts as
// one byte so that a broken string never runs past its end.
const char* NextChar(const char* p) {
    if (IsLeadByte(*p) && p[1] != '\0') return p + 2;
    return p + 1;
}

// Copies text into a MAX_PATH buffer; false when it does not fit.
bool CopyPath(char* out, const char* text) {
    size_t length = std::strlen(text);
    if (length >= MAX_PATH) return false;
    std::memcpy(out, text, length + 1);
    return true;
}

// A find handle that closes itself.
class FindHandle {
public:
    FindHandle(const char* pattern, WIN32_FIND_DATAA* found) : handle_(FindFirstFileA(pattern, found)) {}
    ~FindHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    bool Next(WIN32_FIND_DATAA* found) { return FindNextFileA(handle_, found) != FALSE; }

private:
    HANDLE handle_;
};

// Looks one path up and appends the stored spelling of its last component.
bool AppendStoredName(const char* path, char* out, size_t& used) {
    WIN32_FIND_DATAA found;
    FindHandle find(path, &found);
    if (!find.Valid()) return false;
    size_t length = std::strlen(found.cFileName);
    if (used + length >= MAX_PATH) return false;
    std::memcpy(out + used, found.cFileName, length + 1);
    used += length;
    return true;
}
}  // namespace

const char* FindFirstSeparator(const char* text) {
    for (const char* p = text; *p; p = NextChar(p)) {
        if (*p == '\\') return p;
    }
    return nullptr;
}

const char* FindLastSeparator(const char* text) {
    const char* last = nullptr;
    for (const char* p = text; *p; p = NextChar(p)) {
        if (*p == '\\') last = p;
    }
    return last;
}

char* FindLastSeparator(char* text) {
    return const_cast<char*>(FindLastSeparator(static_cast<const char*>(text)));
}

const char* FileNamePart(const char* path) {
    const char* separator = FindLastSeparator(path);
    return separator ? separator + 1 : path;
}

DWORD ExpandPath(const char* path, char* out) {
    DWORD length = GetFullPathNameA(path, MAX_PATH, out, nullptr);
    if (length == 0 || length >= MAX_PATH) {
        out[0] = '\0';
        return 0;
    }
    return length;
}

void AddDirSeparator(char* path) {
    size_t length = std::strlen(path);
    const char* last = FindLastSeparator(path);
    if (length > 0 && last == path + length - 1) return;
    path[length] = '\\';
    path[length + 1] = '\0';
}

int GetLongFullPath(const char* path, char* out, char** outNamePart) {
    char work[MAX_PATH];
    out[0] = '\0';
    if (ExpandPath(path, work) == 0) return 0;
    // The first separator after a drive prefix such as "C:".
    const char* first = nullptr;
    for (const char* p = work; *p; p = NextChar(p)) {
        if (*p == '\\' && p - work >= 2) {
            first = p;
            break;
        }
    }
    if (!first) return 0;
    size_t used = static_cast<size_t>(first - work) + 1;
    std::memcpy(out, work, used);
    out[used] = '\0';
    for (const char* p = NextChar(first); *p; p = NextChar(p)) {
        if (*p != '\\') continue;
        char* cut = work + (p - work);
        *cut = '\0';
        bool found = AppendStoredName(work, out, used);
        *cut = '\\';
        if (!found || used + 1 >= MAX_PATH) return 0;
        out[used++] = '\\';
        out[used] = '\0';
    }
    if (outNamePart) *outNamePart = out + used;
    return AppendStoredName(work, out, used) ? 1 : 0;
}

int EnumFiles(const char* pattern, EnumFileProc callback, LONG_PTR context) {
    char directory[MAX_PATH + 1];
    if (!CopyPath(directory, pattern)) return 0;
    if (char* separator = FindLastSeparator(directory)) {
        separator[0] = '\0';
    } else {
        DWORD length = GetCurrentDirectoryA(MAX_PATH, directory);
        if (length == 0 || length >= MAX_PATH) return 0;
    }
    if (std::strlen(directory) + 1 >= MAX_PATH) return 0;
    AddDirSeparator(directory);
    size_t directoryLength = std::strlen(directory);

    WIN32_FIND_DATAA found;
    FindHandle find(pattern, &found);
    if (!find.Valid()) return 0;
    int count = 0;
    do {
        if (std::strcmp(found.cFileName, ".") == 0 || std::strcmp(found.cFileName, "..") == 0) continue;
        char full[MAX_PATH * 2];
        std::memcpy(full, directory, directoryLength);
        std::strcpy(full + directoryLength, found.cFileName);
        DWORD attributes = GetFileAttributesA(full);
        if (!callback) {
            ++count;
        } else {
            WIN32_FIND_DATAA copy = found;
            if (callback(directory, copy, attributes, context) == 1) ++count;
        }
    } while (find.Next(&found));
    return count;
}

void ProgramPath(char* out) {
    const char* line = GetCommandLineA();
    size_t length = 0;
    if (line[0] == '"') {
        const char* start = line + 1;
        while (start[length] && start[length] != '"' && length < MAX_PATH - 1) ++length;
        std::memcpy(out, start, length);
    } else {
        // Unquoted, the program path ends at the first blank: the arguments
        // that follow are no part of it.
        while (line[length] && line[length] != ' ' && line[length] != '\t' && length < MAX_PATH - 1) ++length;
        std::memcpy(out, line, length);
    }
    out[length] = '\0';
}

void ProgramFolder(char* out) {
    char path[MAX_PATH];
    ProgramPath(path);
    FolderOf(out, path);
}

void FolderOf(char* out, const char* path) {
    if (ExpandPath(path, out) == 0) return;
    if (char* separator = FindLastSeparator(out)) separator[1] = '\0';
    AddDirSeparator(out);
}

const char* ExtensionOf(const char* path) {
    const char* dot = nullptr;
    const char* p = path;
    for (; *p; p = NextChar(p)) {
        if (*p == '.') dot = p;
        else if (*p == '\\') dot = nullptr;
    }
    return dot ? dot + 1 : p;
}
