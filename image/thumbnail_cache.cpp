#include "image/thumbnail_cache.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "browse/scoped_handles.h"
#include "image/picture_pipeline.h"

namespace {
struct CacheState {
    std::string folder;
    uint64_t cap = 0;
    uint64_t held = 0;  // bytes of the entries, once counted
    bool counted = false;
    uint64_t lastUse = 0;
    long hits = 0;
};

CacheState& Cache() {
    static CacheState state;
    return state;
}

uint64_t FileTimeValue(const FILETIME& time) {
    return uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

// Now, but later than every use before it, so that entries used one after
// the other in a run keep their order even on a coarse clock.
FILETIME NextUseTime() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    CacheState& c = Cache();
    c.lastUse = std::max(FileTimeValue(now), c.lastUse + 1);
    return FILETIME{DWORD(c.lastUse), DWORD(c.lastUse >> 32)};
}

struct Entry {
    std::string name;
    uint64_t bytes;
    uint64_t used;
};

std::vector<Entry> ListEntries() {
    std::vector<Entry> entries;
    WIN32_FIND_DATAA found;
    FindHandle find(FindFirstFileA((Cache().folder + "*.ptc").c_str(), &found));
    if (!find.valid()) return entries;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        entries.push_back(Entry{found.cFileName, uint64_t(found.nFileSizeHigh) << 32 | found.nFileSizeLow,
                                FileTimeValue(found.ftLastWriteTime)});
    } while (FindNextFileA(find.get(), &found));
    return entries;
}

void CountOnce() {
    CacheState& c = Cache();
    if (c.counted) return;
    c.held = 0;
    for (const Entry& entry : ListEntries()) c.held += entry.bytes;
    c.counted = true;
}

// Deletes the least recently used entries until the folder fits the cap.
void Trim() {
    CacheState& c = Cache();
    std::vector<Entry> entries = ListEntries();
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.used < b.used; });
    c.held = 0;
    for (const Entry& entry : entries) c.held += entry.bytes;
    for (const Entry& entry : entries) {
        if (c.held <= c.cap) break;
        if (DeleteFileA((c.folder + entry.name).c_str())) c.held -= entry.bytes;
    }
}

// The largest file an entry can be; anything longer is not read.
constexpr uint64_t kLongestEntry =
    64 + kMaxCachedPathBytes + uint64_t(kMaxCachedThumbnailSize) * 3 * kMaxCachedThumbnailSize + 4096;
}  // namespace

void SetThumbnailCache(const std::string& folder, uint64_t capBytes) {
    CacheState& c = Cache();
    c.folder = folder;
    c.cap = capBytes;
    c.counted = false;
}

void SetThumbnailCacheCap(uint64_t capBytes) {
    Cache().cap = capBytes;
    Cache().counted = false;
}

bool ThumbnailCacheOn() {
    return !Cache().folder.empty() && Cache().cap > 0;
}

std::string DefaultThumbnailCacheFolder() {
    char base[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("LOCALAPPDATA", base, sizeof base);
    if (length == 0 || length >= sizeof base - 10) return "";
    std::string folder(base);
    if (folder.back() != '\\') folder += '\\';
    return folder + "Piltrin\\";
}

bool ThumbnailCacheKeyFor(const char* path, uint32_t size, ThumbnailCacheKey* key) {
    char full[MAX_PATH];
    const DWORD length = GetFullPathNameA(path, sizeof full, full, nullptr);
    WIN32_FILE_ATTRIBUTE_DATA facts;
    if (!ThumbnailCacheOn() || length == 0 || length >= sizeof full ||
        !GetFileAttributesExA(full, GetFileExInfoStandard, &facts) ||
        (facts.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return false;
    }
    key->path = full;
    key->fileSize = uint64_t(facts.nFileSizeHigh) << 32 | facts.nFileSizeLow;
    key->writeTime = FileTimeValue(facts.ftLastWriteTime);
    key->size = size;
    key->look = DisplayOptionsFingerprint(PictureDisplayOptions());
    return true;
}

bool HasCachedThumbnail(const ThumbnailCacheKey& key) {
    return ThumbnailCacheOn() &&
           GetFileAttributesA((Cache().folder + CachedThumbnailName(key)).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool FindCachedThumbnail(const ThumbnailCacheKey& key, CachedThumbnail* out) {
    if (!ThumbnailCacheOn()) return false;
    const std::string path = Cache().folder + CachedThumbnailName(key);
    FileHandle file(CreateFileA(path.c_str(), GENERIC_READ | FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return false;
    LARGE_INTEGER length;
    bool sound = GetFileSizeEx(file.get(), &length) && length.QuadPart > 0 &&
                 uint64_t(length.QuadPart) <= kLongestEntry;
    std::vector<uint8_t> bytes(sound ? size_t(length.QuadPart) : 0);
    DWORD read = 0;
    sound = sound && ReadFile(file.get(), bytes.data(), DWORD(bytes.size()), &read, nullptr) &&
            read == bytes.size() && DecodeCachedThumbnail(bytes.data(), bytes.size(), key, out);
    if (!sound) {
        // Damaged, foreign or another key's: out of the way, built again.
        file.reset();
        DeleteFileA(path.c_str());
        Cache().counted = false;
        return false;
    }
    const FILETIME used = NextUseTime();
    SetFileTime(file.get(), nullptr, nullptr, &used);
    ++Cache().hits;
    return true;
}

void StoreCachedThumbnail(const ThumbnailCacheKey& key, const CachedThumbnail& thumbnail) {
    if (!ThumbnailCacheOn()) return;
    const std::vector<uint8_t> bytes = EncodeCachedThumbnail(key, thumbnail);
    if (bytes.empty() || bytes.size() > Cache().cap) return;
    CacheState& c = Cache();
    CreateDirectoryA(c.folder.c_str(), nullptr);
    CountOnce();
    const std::string path = c.folder + CachedThumbnailName(key);
    const std::string fresh = path + ".new";
    {
        FileHandle file(CreateFileA(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) return;
        DWORD written = 0;
        const FILETIME used = NextUseTime();
        const bool whole = WriteFile(file.get(), bytes.data(), DWORD(bytes.size()), &written, nullptr) &&
                           written == bytes.size() && SetFileTime(file.get(), nullptr, nullptr, &used);
        if (!whole) {
            file.reset();
            DeleteFileA(fresh.c_str());
            return;
        }
    }
    // A half-written entry never carries an entry's name.
    if (!MoveFileExA(fresh.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileA(fresh.c_str());
        return;
    }
    c.held += bytes.size();
    if (c.held > c.cap) Trim();
}

long ThumbnailCacheHits() {
    return Cache().hits;
}
