#include "browse/file_utils.h"

#include <cstring>
#include <string>

namespace {
// The lead bytes of the ANSI code page, looked up once: path scans test every
// byte, and an album of thousands of pages scans every path several times.
struct LeadByteTable {
    LeadByteTable() {
        CPINFO info{};
        if (!GetCPInfo(CP_ACP, &info)) return;
        for (int range = 0; range + 1 < MAX_LEADBYTES && info.LeadByte[range]; range += 2) {
            for (int b = info.LeadByte[range]; b <= info.LeadByte[range + 1]; ++b) lead[b] = true;
        }
    }
    bool lead[256] = {};
};

// Bytes that make the system rewrite or refuse a path component.
struct SpecialByteTable {
    SpecialByteTable() {
        for (int b = 0; b < 0x20; ++b) special[b] = true;
        // Double-byte characters pass through the system's code-page
        // conversion, which rewrites sequences it does not know; paths that
        // hold them are left to the system.
        for (int b = 0x80; b < 0x100; ++b) special[b] = true;
        for (char c : std::string("/:*?\"<>|")) special[static_cast<unsigned char>(c)] = true;
    }
    bool special[256] = {};
};

bool IsLeadByte(char c) {
    return IsPathLeadByte(c);
}

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

bool SamePathText(const char* a, const char* b, size_t limit) {
    for (size_t i = 0; i < limit; ++i) {
        char x = a[i], y = b[i];
        if (x != y) {
            if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
            if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
            if (x != y) return false;
        } else if (IsPathLeadByte(x)) {
            // The trail byte must match exactly; a lead byte at the end of
            // the text counts as one byte, so neither text is read past its end.
            if (i + 1 >= limit) return true;
            if (a[i + 1] != b[i + 1]) return false;
            if (a[i + 1] == '\0') return true;
            ++i;
            continue;
        }
        if (!x) return true;
    }
    return true;
}

bool IsPathLeadByte(char c) {
    static const LeadByteTable table;
    return table.lead[static_cast<unsigned char>(c)];
}

const char* FindFirstSeparator(const char* text) {
    for (const char* p = text; *p; p = NextChar(p)) {
        if (*p == '\\') return p;
    }
    return nullptr;
}

const char* FindLastSeparator(const char* text) {
    static const LeadByteTable table;
    const char* last = nullptr;
    for (const char* p = text; *p; ++p) {
        if (table.lead[static_cast<unsigned char>(*p)]) {
            if (!p[1]) break;
            ++p;
        } else if (*p == '\\') {
            last = p;
        }
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

namespace {
bool IsAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// A component that the system would read as a device (CON, NUL.txt, COM1 ...).
bool IsDeviceName(const char* start, const char* end) {
    // Every device name begins with one of these letters and is short.
    char first = static_cast<char>(start[0] & ~0x20);
    if (first != 'C' && first != 'P' && first != 'A' && first != 'N' && first != 'L') return false;
    static const char* const devices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    const char* stem = start;
    while (stem < end && *stem != '.') ++stem;
    while (stem > start && stem[-1] == ' ') --stem;
    size_t length = static_cast<size_t>(stem - start);
    auto same = [&](const char* name) {
        if (std::strlen(name) != length) return false;
        for (size_t i = 0; i < length; ++i) {
            char c = start[i];
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
            if (c != name[i]) return false;
        }
        return true;
    };
    for (const char* device : devices) {
        if (same(device)) return true;
    }
    if (length == 4) {
        char prefix[4] = {start[0], start[1], start[2], '\0'};
        for (char& c : prefix) {
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        }
        if ((std::strcmp(prefix, "COM") == 0 || std::strcmp(prefix, "LPT") == 0) && start[3] >= '0' &&
            start[3] <= '9') {
            return true;
        }
    }
    return false;
}
}  // namespace

bool IsPlainFullPath(const char* path) {
    if (!IsAsciiLetter(path[0]) || path[1] != ':' || path[2] != '\\') return false;
    static const SpecialByteTable specials;
    const char* component = path + 3;
    const char* p = component;
    for (;; ++p) {
        char c = *p;
        if (c == '\\' || c == '\0') {
            if (p == component) {
                if (c == '\0') break;  // a trailing separator (or the root itself)
                return false;          // an empty component
            }
            char last = p[-1];
            if (last == '.' || last == ' ') return false;  // also "." and ".."
            if (IsDeviceName(component, p)) return false;
            if (c == '\0') break;
            component = p + 1;
            continue;
        }
        if (specials.special[static_cast<unsigned char>(c)]) return false;
    }
    return p - path < MAX_PATH;
}

DWORD ExpandPath(const char* path, char* out) {
    // Most paths the album meets are already full and plain; for those the
    // expansion is the path itself, and skipping the system call halves the
    // time an album of thousands of pages takes to load.
    if (IsPlainFullPath(path)) {
        size_t length = std::strlen(path);
        std::memcpy(out, path, length + 1);
        return static_cast<DWORD>(length);
    }
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

bool JoinPath(char* out, const char* folder, const char* name) {
    const size_t folderLength = std::strlen(folder), nameLength = std::strlen(name);
    if (folderLength + nameLength >= MAX_PATH) return false;
    // out may be folder itself: the name is placed first.
    std::memmove(out + folderLength, name, nameLength + 1);
    if (out != folder) std::memmove(out, folder, folderLength);
    return true;
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
    // The module's own file name rather than the command line: an unquoted
    // command line runs on into the arguments, and a program started by a
    // relative name would otherwise depend on the current folder.
    const DWORD length = GetModuleFileNameA(nullptr, out, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) out[0] = '\0';
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
        if (*p == '.')
            dot = p;
        else if (*p == '\\')
            dot = nullptr;
    }
    return dot ? dot + 1 : p;
}
