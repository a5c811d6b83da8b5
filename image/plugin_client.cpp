// The viewer's side of the plug-ins: which helpers to start, the walk over
// the plug-ins of every helper in load order, and what happens when a
// helper crashes or hangs. The calls themselves run in the helpers.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "browse/file_utils.h"
#include "browse/scoped_handles.h"
#include "image/dib_image.h"
#include "image/plugin_direct.h"
#include "image/plugin_helper_link.h"
#include "image/plugin_host.h"
#include "image/plugin_picture.h"

namespace {

using plugin_protocol::BodyReader;
using plugin_protocol::Message;
using plugin_protocol::Writer;

struct CachedPlugin {
    std::string name;
    std::string patterns;  // information number 2, empty when none
    int strikes = 0;
    bool excluded = false;
};

// The helper's picture mapping, kept open between pictures: the helper
// reuses it until a larger picture needs a new one, under a new name.
struct SharedView {
    std::string name;
    HANDLE mapping = nullptr;
    const uint8_t* bytes = nullptr;
    SIZE_T size = 0;

    void Close() {
        if (bytes) UnmapViewOfFile(bytes);
        if (mapping) CloseHandle(mapping);
        *this = SharedView{};
    }
    bool Open(const std::string& wanted) {
        if (bytes && name == wanted) return true;
        Close();
        mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, wanted.c_str());
        if (!mapping) return false;
        bytes = static_cast<const uint8_t*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
        MEMORY_BASIC_INFORMATION region{};
        if (!bytes || !VirtualQuery(bytes, &region, sizeof region)) {
            Close();
            return false;
        }
        size = region.RegionSize;
        name = wanted;
        return true;
    }
};

// The plug-ins of one bitness and the helper that runs them.
struct HelperKind {
    HelperKind(int b, const char* p, const char* e) : bits(b), pattern(p), exeName(e) {}
    int bits;
    const char* pattern;
    const char* exeName;
    HelperLink link;
    bool wanted = false;  // the folder holds plug-ins of this kind
    bool bound = false;   // the helper's table arrived
    bool gone = false;    // the helper cannot run here: its kind is left out
    std::vector<CachedPlugin> plugins;
    SharedView shared;
};

#ifdef _WIN64
HelperKind Kinds[2] = {{64, "*.sph", "piltrin-plugins64.exe"}, {32, "*.spi", "piltrin-plugins32.exe"}};
#else
HelperKind Kinds[2] = {{32, "*.spi", "piltrin-plugins32.exe"}, {64, "*.sph", "piltrin-plugins64.exe"}};
#endif

std::string Folder;
DWORD HangTimeout = kPluginHangTimeout;
std::string HelperPaths[2];  // set by tests: [0] the 32-bit helper, [1] the 64-bit one
PluginNoticeProc Notice = nullptr;

void ShowNotice(const char* text) {
    if (Notice) {
        Notice(text);
        return;
    }
    MessageBoxA(GetActiveWindow(), text, "Error", MB_OK | MB_ICONWARNING);
}

// Whether this system runs programs of the given bitness at all; a helper
// that still fails to start is left out silently.
bool SystemRuns(int bits) {
#ifdef _WIN64
    (void)bits;
    return true;
#else
    if (bits == 32) return true;
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
#endif
}

std::string HelperPath(const HelperKind& kind) {
    const std::string& set = HelperPaths[kind.bits == 64 ? 1 : 0];
    if (!set.empty()) return set;
    char folder[MAX_PATH] = "";
    ProgramFolder(folder);
    return std::string(folder) + kind.exeName;
}

bool FolderHolds(const std::string& folder, const char* pattern) {
    WIN32_FIND_DATAA found;
    FindHandle find(FindFirstFileA((folder + pattern).c_str(), &found));
    if (!find.valid()) return false;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
    } while (FindNextFileA(find.get(), &found));
    return false;
}

bool ReadTable(const Message& message, std::vector<CachedPlugin>* plugins) {
    if (message.type != plugin_protocol::kTable) return false;
    BodyReader body(message);
    uint32_t count = 0;
    if (!body.U32(&count) || count > 4096) return false;
    std::vector<CachedPlugin> read(count);
    for (CachedPlugin& plugin : read) {
        if (!body.Text(&plugin.name) || !body.Text(&plugin.patterns)) return false;
    }
    if (!body.Done()) return false;
    *plugins = std::move(read);
    return true;
}

// The thread that starts the helpers in the background (StartPluginHelpers),
// so that the viewer's own start never waits for a process to be created;
// every use of a helper waits for it first. A kind some call has started
// already is left as it is.
HANDLE Starter = nullptr;

DWORD WINAPI StartHelpers(void*) {
    for (HelperKind& kind : Kinds) {
        if (kind.wanted && !kind.gone && !kind.link.Running() && !kind.link.Start(HelperPath(kind), Folder))
            kind.gone = true;
    }
    return 0;
}

void JoinStarter() {
    if (!Starter) return;
    WaitForSingleObject(Starter, INFINITE);
    CloseHandle(Starter);
    Starter = nullptr;
}

// Waits for the helper's table: the first time it fills the kind's list;
// after a restart the list (and its strikes) stays, since the folder is not
// read again while the program runs.
bool EnsureBound(HelperKind& kind) {
    JoinStarter();
    if (!kind.wanted || kind.gone) return false;
    if (kind.bound) return true;
    if (!kind.link.Running() && !kind.link.Start(HelperPath(kind), Folder)) {
        kind.gone = true;
        return false;
    }
    // The table comes once the helper's process has started and bound its
    // plug-ins; a start slowed by a busy machine is no hang of a plug-in.
    constexpr DWORD kStartAllowance = 10000;
    Message message;
    std::vector<CachedPlugin> table;
    if (kind.link.Receive(&message, HangTimeout + kStartAllowance) != HelperLink::kGot ||
        !ReadTable(message, &table)) {
        kind.link.Kill();
        kind.gone = true;
        return false;
    }
    if (kind.plugins.empty()) kind.plugins = std::move(table);
    kind.bound = true;
    return true;
}

// A helper that crashed or hung while plug-in index worked: it is ended and
// started again in the background; the plug-in gets a strike, and the third
// leaves it out for the rest of the run, which the user is told once.
void Strike(HelperKind& kind, size_t index, const char* why) {
    kind.link.Kill();
    kind.shared.Close();
    kind.bound = false;
    if (!kind.link.Start(HelperPath(kind), Folder)) kind.gone = true;
    CachedPlugin& plugin = kind.plugins[index];
    if (++plugin.strikes < kPluginStrikes || plugin.excluded) return;
    plugin.excluded = true;
    char text[512];
    std::snprintf(text, sizeof text,
                  "プラグイン \"%s\" は%s を %d 回繰り返したため、今回の実行では使用しません。",
                  plugin.name.c_str(), why, plugin.strikes);
    ShowNotice(text);
}

const char* Why(HelperLink::Result result) {
    return result == HelperLink::kTimedOut ? "応答の停止" : "異常終了";
}

// Most of the time a large copy takes goes into the first touch of its
// fresh block. So while the helper works, a worker allocates and touches a
// block: of the size of the last large plug-in picture (pictures of one
// folder tend to share one size) while the plug-in decodes, and of the size
// the helper announces once it has decoded, while it copies into shared
// memory. When the answer needs another size, the block goes back unused.
size_t LastLargePixelBytes = 0;
constexpr size_t kWorthMakingReady = size_t(plugin_protocol::kAnnouncedPixelBytes);

class ReadyBlock {
public:
    explicit ReadyBlock(size_t bytes) : bytes_(bytes) { Start(); }
    ~ReadyBlock() { FreeDibBlock(Take()); }
    ReadyBlock(const ReadyBlock&) = delete;
    ReadyBlock& operator=(const ReadyBlock&) = delete;
    size_t Bytes() const { return bytes_; }
    // The helper announced the size the picture needs: a block of another
    // size is dropped and one of this size made ready instead.
    void Expect(uint64_t bytes) {
        if (bytes == bytes_ || bytes < kWorthMakingReady || bytes > kMaxDibPixelBytes) return;
        FreeDibBlock(Take());
        bytes_ = size_t(bytes);
        Start();
    }
    HLOCAL Take() {
        if (worker_.joinable()) worker_.join();
        HLOCAL block = block_;
        block_ = nullptr;
        return block;
    }

private:
    void Start() {
        if (bytes_ < kWorthMakingReady) return;
        try {
            worker_ = std::thread([this] { Prepare(); });
        } catch (...) {  // no thread to spare: the copy allocates as usual
        }
    }
    void Prepare() {
        HLOCAL block = AllocDibBlock(bytes_);
        auto* bytes = block ? static_cast<volatile uint8_t*>(LocalLock(block)) : nullptr;
        if (!bytes) {
            FreeDibBlock(block);
            return;
        }
        for (size_t at = 0; at < bytes_; at += 4096) bytes[at] = 0;
        LocalUnlock(block);
        block_ = block;
    }
    size_t bytes_;
    HLOCAL block_ = nullptr;
    std::thread worker_;
};

// Sends a request for plug-in index and waits for the answer of type
// answerType, relaying progress calls to the caller's callback and, for a
// picture, the announced size to its ready block. False when the helper
// crashed or hung (the strike is recorded).
bool Exchange(HelperKind& kind, size_t index, Writer& request, uint32_t answerType, ProgressProc progress,
              intptr_t userData, Message* answer, ReadyBlock* ready = nullptr) {
    HelperLink::Result result = HelperLink::kDied;
    if (kind.link.Send(request)) {
        for (;;) {
            result = kind.link.Receive(answer, HangTimeout);
            if (result != HelperLink::kGot) break;
            if (answer->type == answerType) return true;
            BodyReader body(*answer);
            if (answer->type == plugin_protocol::kPictureSize && ready) {
                uint64_t bytes = 0;
                if (!body.U64(&bytes) || !body.Done()) {
                    result = HelperLink::kDied;
                    break;
                }
                ready->Expect(bytes);
                continue;
            }
            int32_t done = 0, total = 0;
            if (answer->type != plugin_protocol::kProgress || !body.I32(&done) || !body.I32(&total) ||
                !body.Done()) {
                result = HelperLink::kDied;
                break;
            }
            Writer reply(plugin_protocol::kProgressAnswer);
            reply.I32(progress ? progress(done, total, userData) : 0);
            if (!kind.link.Send(reply)) {
                result = HelperLink::kDied;
                break;
            }
        }
    }
    Strike(kind, index, Why(result));
    return false;
}

// Copies the picture out of the helper's shared memory into the viewer's
// own DibImage, checking it on the way.
// *tooLarge tells a refusal for the picture's size from a damaged one.
bool TakeFromSharedMemory(SharedView& shared, const std::string& name, uint64_t headerBytes,
                          uint64_t pixelBytes, ReadyBlock& ready, HLOCAL* header, HLOCAL* pixels,
                          bool* tooLarge) {
    if (headerBytes > 1 << 20 || pixelBytes > kMaxDibPixelBytes + (1 << 20)) return false;
    if (!shared.Open(name) || shared.size < headerBytes + pixelBytes) return false;
    const size_t readyBytes = ready.Bytes();
    if (!TakeOverPluginPicture(shared.bytes, size_t(headerBytes), shared.bytes + headerBytes,
                               size_t(pixelBytes), header, pixels, ready.Take(), readyBytes)) {
        *tooLarge = *tooLarge || PluginPictureTooLarge(shared.bytes, size_t(headerBytes));
        return false;
    }
    const size_t taken = LocalSize(*pixels);
    if (taken >= kWorthMakingReady) LastLargePixelBytes = taken;
    return true;
}

// Plug-in index of kind for path: a direct::TryResult.
int TryPicture(HelperKind& kind, size_t index, const char* path, bool preview, ProgressProc progress,
               intptr_t userData, HLOCAL* header, HLOCAL* pixels, bool* tooLarge) {
    Writer request(plugin_protocol::kPicture);
    request.U32(uint32_t(index)).U32(preview ? 1 : 0).Text(path);
    ReadyBlock ready(preview ? 0 : LastLargePixelBytes);
    Message answer;
    if (!Exchange(kind, index, request, plugin_protocol::kPictureDone, progress, userData, &answer, &ready))
        return direct::kTryFailed;
    BodyReader body(answer);
    int32_t result = 0;
    std::string name;
    uint64_t headerBytes = 0, pixelBytes = 0;
    if (!body.I32(&result)) return direct::kTryFailed;
    if (result != direct::kTryPicture) return body.Done() ? result : int(direct::kTryFailed);
    if (!body.Text(&name) || !body.U64(&headerBytes) || !body.U64(&pixelBytes) || !body.Done())
        return direct::kTryFailed;
    return TakeFromSharedMemory(kind.shared, name, headerBytes, pixelBytes, ready, header, pixels, tooLarge)
               ? int(direct::kTryPicture)
               : int(direct::kTryFailed);
}

int Walk(const char* path, bool preview, ProgressProc progress, intptr_t userData, HLOCAL* header,
         HLOCAL* pixels) {
    *header = nullptr;
    *pixels = nullptr;
    bool tooLarge = false;
    for (HelperKind& kind : Kinds) {
        if (!EnsureBound(kind)) continue;
        for (size_t i = 0; i < kind.plugins.size(); ++i) {
            if (kind.plugins[i].excluded || !EnsureBound(kind)) continue;
            const int result =
                TryPicture(kind, i, path, preview, progress, userData, header, pixels, &tooLarge);
            if (result == direct::kTryPicture) return 1;
            if (result == direct::kTryNotAccepted || (preview && result == direct::kTryCannotOpen)) continue;
            LastLoadError = result == direct::kTryStopped      ? kLoadStopped
                            : result == direct::kTryCannotOpen ? kLoadCannotOpen
                                                               : kLoadFailed;
        }
    }
    // A picture a plug-in read but no block can hold is refused for its size.
    LastLoadError = tooLarge ? kLoadOutOfMemory : kLoadNotThisFormat;
    return 0;
}

bool ReadInfoAnswer(const Message& answer, PictureInfo* info) {
    BodyReader body(answer);
    int32_t filled = 0, left = 0, top = 0, width = 0, height = 0;
    uint32_t densities = 0, depth = 0;
    std::string text;
    if (!body.I32(&filled) || !body.I32(&left) || !body.I32(&top) || !body.I32(&width) ||
        !body.I32(&height) || !body.U32(&densities) || !body.U32(&depth) || !body.Text(&text) ||
        !body.Done() || filled != 1)
        return false;
    *info = PictureInfo{};
    info->left = left;
    info->top = top;
    info->width = width;
    info->height = height;
    info->xDensity = WORD(densities);
    info->yDensity = WORD(densities >> 16);
    info->colorDepth = short(depth);
    if (!text.empty()) {
        // The plug-in's text block stays in the helper; the caller gets its
        // own copy, as a movable block it frees.
        info->textHandle = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, text.size() + 1);
        if (LockedBlock<char> out(info->textHandle); out) std::memcpy(out.get(), text.data(), text.size());
    }
    return true;
}

}  // namespace

void SetPluginHangTimeout(DWORD milliseconds) {
    HangTimeout = milliseconds;
}

void SetPluginHelperPath(int bits, const std::string& path) {
    HelperPaths[bits == 64 ? 1 : 0] = path;
}

void SetPluginNoticeProc(PluginNoticeProc notice) {
    Notice = notice;
}

int LoadPlugins(const char* folder) {
    UnloadPlugins();
    Folder = folder;
    if (Folder.size() + sizeof(kPluginPattern) > MAX_PATH) return 0;
    int any = 0;
    for (HelperKind& kind : Kinds) {
        kind.wanted = SystemRuns(kind.bits) && FolderHolds(Folder, kind.pattern) &&
                      GetFileAttributesA(HelperPath(kind).c_str()) != INVALID_FILE_ATTRIBUTES;
        if (kind.wanted) any = 1;
    }
    // Nothing starts here: a helper is a whole process, and creating one
    // while the viewer opens its window and first picture slows both on a
    // small machine. The first call that needs a helper starts it, or
    // StartPluginHelpers does in the background.
    return any;
}

void StartPluginHelpers() {
    if (Starter) return;
    bool waiting = false;
    for (const HelperKind& kind : Kinds) waiting = waiting || (kind.wanted && !kind.gone && !kind.bound);
    if (!waiting) return;
    Starter = CreateThread(nullptr, 0, StartHelpers, nullptr, 0, nullptr);
    if (!Starter) StartHelpers(nullptr);
}

int LoadPluginsFromCommonFiles() {
    std::string folder;
    return direct::CommonPluginFolder(&folder) ? LoadPlugins(folder.c_str()) : 0;
}

int LoadPluginsFromProgramFolder() {
    char folder[MAX_PATH] = "";
    ProgramFolder(folder);
    return folder[0] ? LoadPlugins(folder) : 0;
}

void UnloadPlugins() {
    JoinStarter();
    for (HelperKind& kind : Kinds) {
        kind.link.Stop();
        kind.shared.Close();
        kind.wanted = kind.bound = kind.gone = false;
        kind.plugins.clear();
    }
    Folder.clear();
}

int PluginLoadPicture(const char* path, ProgressProc progress, intptr_t userData, HLOCAL* header,
                      HLOCAL* pixels) {
    return Walk(path, false, progress, userData, header, pixels);
}

int PluginLoadPreview(const char* path, ProgressProc progress, intptr_t userData, HLOCAL* header,
                      HLOCAL* pixels) {
    return Walk(path, true, progress, userData, header, pixels);
}

int PluginReadInfo(const char* path, PictureInfo* info) {
    for (HelperKind& kind : Kinds) {
        if (!EnsureBound(kind)) continue;
        for (size_t i = 0; i < kind.plugins.size(); ++i) {
            if (kind.plugins[i].excluded || !EnsureBound(kind)) continue;
            Writer request(plugin_protocol::kInfo);
            request.U32(uint32_t(i)).Text(path);
            Message answer;
            if (Exchange(kind, i, request, plugin_protocol::kInfoDone, nullptr, 0, &answer) &&
                ReadInfoAnswer(answer, info))
                return 1;
        }
    }
    return 0;
}

int PluginSupportsFile(const char* path) {
    for (HelperKind& kind : Kinds) {
        if (!EnsureBound(kind)) continue;
        for (size_t i = 0; i < kind.plugins.size(); ++i) {
            if (kind.plugins[i].excluded || !EnsureBound(kind)) continue;
            Writer request(plugin_protocol::kSupports);
            request.U32(uint32_t(i)).Text(path);
            Message answer;
            int32_t accepted = 0;
            if (!Exchange(kind, i, request, plugin_protocol::kAnswer, nullptr, 0, &answer)) continue;
            BodyReader body(answer);
            if (body.I32(&accepted) && body.Done() && accepted) return 1;
        }
    }
    return 0;
}

int PluginMatchesExtension(const char* extension) {
    for (HelperKind& kind : Kinds) {
        if (!EnsureBound(kind)) continue;
        for (const CachedPlugin& plugin : kind.plugins) {
            if (!plugin.excluded && !plugin.patterns.empty() &&
                direct::PatternsName(plugin.patterns.c_str(), extension))
                return 1;
        }
    }
    return 0;
}

int PluginCount() {
    int count = 0;
    for (HelperKind& kind : Kinds) {
        if (EnsureBound(kind)) count += int(kind.plugins.size());
    }
    return count;
}
