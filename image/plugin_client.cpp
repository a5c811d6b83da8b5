// The viewer's side of the plug-ins: which helpers to start, the walk over
// the plug-ins of every helper in load order, and what happens when a
// helper crashes or hangs. The calls themselves run in the helpers.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include "browse/file_utils.h"
#include "browse/scoped_handles.h"
#include "image/dib_image.h"
#include "image/plugin_direct.h"
#include "image/plugin_helper_link.h"
#include "image/plugin_host.h"
#include "image/plugin_notice.h"
#include "image/plugin_picture.h"
#include "image/plugin_shared_memory.h"

namespace {

using plugin_protocol::BodyReader;
using plugin_protocol::Message;
using plugin_protocol::Writer;

struct CachedPlugin {
    std::string name;
    std::string patterns;  // information number 2, empty when none
    int slot = -1;         // its index in the running helper's table; -1 when not bound there
    int strikes = 0;
    bool excluded = false;
};

// The plug-ins of one bitness and the helper that runs them.
struct HelperKind {
    HelperKind(int b, const char* p, const char* e) : bits(b), pattern(p), exeName(e) {}
    int bits;
    const char* pattern;
    const char* exeName;
    HelperLink link;
    bool wanted = false;     // the folder holds plug-ins of this kind
    bool bound = false;      // the running helper's table arrived
    bool gone = false;       // the helper cannot run here: its kind is left out
    bool tableKept = false;  // plugins holds the first helper's table
    std::vector<CachedPlugin> plugins;
    // Plug-ins no helper binds again: left out for the run.
    std::vector<std::string> leftOut;
    int asked = -1;  // the plug-in the running helper was last asked about
    SharedPictureMemory shared;
};

#ifdef _WIN64
HelperKind Kinds[2] = {{64, "*.sph", "piltrin-plugins64.exe"}, {32, "*.spi", "piltrin-plugins32.exe"}};
#else
HelperKind Kinds[2] = {{32, "*.spi", "piltrin-plugins32.exe"}, {64, "*.sph", "piltrin-plugins64.exe"}};
#endif

std::string Folder;
// The program's own folder while the shared folder's plug-ins are not yet
// known to bind an import plug-in; empty once that is settled.
std::string FallbackFolder;
DWORD HangTimeout = kPluginHangTimeout;
DWORD CallLimit = kPluginCallLimit;
std::string HelperPaths[2];  // set by tests: [0] the 32-bit helper, [1] the 64-bit one

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
        if (kind.wanted && !kind.gone && !kind.link.Running() &&
            !kind.link.Start(HelperPath(kind), Folder, kind.leftOut))
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

const char* Why(HelperLink::Result result) {
    return result == HelperLink::kTimedOut ? "応答の停止" : "異常終了";
}

// Ends the helper and starts another in the background, without the
// plug-ins left out.
void Restart(HelperKind& kind) {
    kind.link.Kill();
    kind.shared.Close();
    kind.bound = false;
    kind.asked = -1;
    if (!kind.link.Start(HelperPath(kind), Folder, kind.leftOut)) kind.gone = true;
}

// The first table stays for the run: a restarted helper's plug-ins are
// matched to it by file name, so that a plug-in folder changed meanwhile
// gets no request, strike or exclusion meant for another plug-in, and a
// plug-in added since start-up stays unused.
void Adopt(HelperKind& kind, std::vector<CachedPlugin>& table) {
    if (!kind.tableKept) {
        kind.plugins = std::move(table);
        for (size_t i = 0; i < kind.plugins.size(); ++i) kind.plugins[i].slot = int(i);
        kind.tableKept = true;
        return;
    }
    for (CachedPlugin& plugin : kind.plugins) {
        plugin.slot = -1;
        for (size_t i = 0; i < table.size() && plugin.slot < 0; ++i) {
            if (table[i].name == plugin.name) plugin.slot = int(i);
        }
    }
}

// Reads the helper's start: the plug-in it is binding, then its table.
// binding keeps the name of the plug-in last announced.
HelperLink::Result ReceiveTable(HelperKind& kind, std::string* binding, std::vector<CachedPlugin>* table) {
    // The first word comes once the helper's process has started; a start
    // slowed by a busy machine is no hang of a plug-in.
    constexpr DWORD kStartAllowance = 10000;
    DWORD timeout = HangTimeout + kStartAllowance;
    Message message;
    for (;;) {
        HelperLink::Result result = kind.link.Receive(&message, timeout);
        if (result != HelperLink::kGot) return result;
        timeout = HangTimeout;
        if (message.type != plugin_protocol::kBinding) break;
        BodyReader body(message);
        if (!body.Text(binding) || !body.Done()) break;
    }
    if (ReadTable(message, table)) return HelperLink::kGot;
    binding->clear();  // nonsense: nothing to put it down to
    return HelperLink::kDied;
}

// A plug-in that crashed or hung while its helper bound it would do so at
// every start: it is left out at once, the others are bound without it,
// and the user is told.
void LeaveOutWhileBinding(HelperKind& kind, const std::string& name, const char* why) {
    kind.leftOut.push_back(name);
    for (CachedPlugin& plugin : kind.plugins) {
        if (plugin.name == name) plugin.excluded = true;
    }
    char text[512];
    std::snprintf(text, sizeof text, "プラグイン \"%s\" は組み込み中の%sのため、今回の実行では使用しません。",
                  name.c_str(), why);
    PostPluginNotice(text);
}

// Waits for the helper's table: the first time it fills the kind's list;
// after a restart the list (and its strikes) stays, since the folder is not
// read again while the program runs.
bool EnsureBound(HelperKind& kind) {
    JoinStarter();
    while (kind.wanted && !kind.gone && !kind.bound) {
        if (!kind.link.Running() && !kind.link.Start(HelperPath(kind), Folder, kind.leftOut)) {
            kind.gone = true;
            break;
        }
        std::string binding;
        std::vector<CachedPlugin> table;
        const HelperLink::Result result = ReceiveTable(kind, &binding, &table);
        if (result == HelperLink::kGot) {
            Adopt(kind, table);
            kind.bound = true;
            break;
        }
        kind.link.Kill();
        kind.shared.Close();
        // A helper that does not start or talks nonsense, or one that names
        // a plug-in it was told to leave out: its kind is left out.
        if (binding.empty() ||
            std::find(kind.leftOut.begin(), kind.leftOut.end(), binding) != kind.leftOut.end()) {
            kind.gone = true;
            break;
        }
        LeaveOutWhileBinding(kind, binding, Why(result));
    }
    return kind.bound && !kind.gone;
}

// Settles the folder the first time plug-ins are needed: a shared folder
// whose helpers bind no import plug-in (only an archive plug-in, a damaged
// file, a plug-in of a bitness no helper runs here) gives way to the
// program's own folder, as an empty one would have at start-up.
void ChooseFolder() {
    if (FallbackFolder.empty()) return;
    const std::string fallback = std::exchange(FallbackFolder, std::string());
    for (HelperKind& kind : Kinds)
        if (EnsureBound(kind) && !kind.plugins.empty()) return;
    LoadPlugins(fallback.c_str());
}

// A helper that crashed or hung while plug-in index worked (-1: none of
// ours) is ended and started again in the background; the plug-in gets a
// strike, and the third leaves it out for the rest of the run, which the
// user is told once, after the load.
void Strike(HelperKind& kind, int index, const char* why) {
    if (index >= 0) {
        CachedPlugin& plugin = kind.plugins[size_t(index)];
        if (++plugin.strikes >= kPluginStrikes && !plugin.excluded) {
            plugin.excluded = true;
            kind.leftOut.push_back(plugin.name);
            char text[512];
            std::snprintf(text, sizeof text,
                          "プラグイン \"%s\" は%s を %d 回繰り返したため、今回の実行では使用しません。",
                          plugin.name.c_str(), why, plugin.strikes);
            PostPluginNotice(text);
        }
    }
    Restart(kind);
}

// Whether plug-in index can be asked: its helper runs and has bound it.
bool Available(HelperKind& kind, size_t index) {
    return !kind.plugins[index].excluded && EnsureBound(kind) && !kind.plugins[index].excluded &&
           kind.plugins[index].slot >= 0;
}

typedef std::function<Writer(uint32_t slot)> Request;

// Hands the request for plug-in index to the helper. A helper found ended
// before it took the request ended while nothing of ours ran in it but what
// the plug-in asked last left behind (a thread of its own): that plug-in
// gets the strike, and a fresh helper is asked.
bool SendRequest(HelperKind& kind, size_t index, const Request& request) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!Available(kind, index)) return false;
        Writer writer = request(uint32_t(kind.plugins[index].slot));
        if (!kind.link.Ended() && kind.link.Send(writer)) {
            kind.asked = int(index);
            return true;
        }
        Strike(kind, kind.asked, Why(HelperLink::kDied));
    }
    return false;
}

// One message that comes while a plug-in works: a progress call, relayed
// to the caller's callback, and for a picture its announced size and its
// request for memory. False when the message has no place here.
bool Relay(HelperKind& kind, const Message& message, ProgressProc progress, intptr_t userData,
           ReadyBlock* ready) {
    BodyReader body(message);
    uint64_t bytes = 0;
    if (message.type == plugin_protocol::kPictureSize && ready) {
        if (!body.U64(&bytes) || !body.Done()) return false;
        ready->Expect(bytes);
        return true;
    }
    if (message.type == plugin_protocol::kShareRequest && ready) {
        if (!body.U64(&bytes) || !body.Done()) return false;
        uint64_t handle = 0, size = 0;
        kind.shared.Ensure(bytes, kind.link.Process(), &handle, &size);  // refused: a null handle
        Writer reply(plugin_protocol::kShareAnswer);
        reply.U64(handle).U64(size);
        return kind.link.Send(reply);
    }
    int32_t done = 0, total = 0;
    if (message.type != plugin_protocol::kProgress || !body.I32(&done) || !body.I32(&total) || !body.Done())
        return false;
    Writer reply(plugin_protocol::kProgressAnswer);
    reply.I32(progress ? progress(done, total, userData) : 0);
    return kind.link.Send(reply);
}

// Sends a request for plug-in index and waits for the answer of type
// answerType, relaying what comes meanwhile. A plug-in may go HangTimeout
// without a word and CallLimit in all, however often it calls its progress
// callback. False when the plug-in is not there or the helper crashed,
// hung or talked nonsense (the strike is recorded).
bool Exchange(HelperKind& kind, size_t index, const Request& request, uint32_t answerType,
              ProgressProc progress, intptr_t userData, Message* answer, ReadyBlock* ready = nullptr) {
    if (!SendRequest(kind, index, request)) return false;
    const DWORD start = GetTickCount();
    HelperLink::Result result = HelperLink::kTimedOut;
    for (DWORD spent = 0; spent < CallLimit; spent = GetTickCount() - start) {
        result = kind.link.Receive(answer, std::min(HangTimeout, CallLimit - spent));
        if (result != HelperLink::kGot) break;
        if (answer->type == answerType) return true;
        if (!Relay(kind, *answer, progress, userData, ready)) {
            result = HelperLink::kDied;
            break;
        }
        result = HelperLink::kTimedOut;
    }
    Strike(kind, int(index), Why(result));
    return false;
}

// The helper's picture is in the viewer's own memory: copies it into the
// viewer's DibImage, checking it on the way.
size_t LastLargePixelBytes = 0;

bool TakeFromSharedMemory(const SharedPictureMemory& shared, uint64_t headerBytes, uint64_t pixelBytes,
                          ReadyBlock& ready, HLOCAL* header, HLOCAL* pixels) {
    if (!shared.Bytes() || headerBytes > shared.Size() || pixelBytes > shared.Size() - headerBytes)
        return false;
    const size_t readyBytes = ready.Bytes();
    if (!TakeOverPluginPicture(shared.Bytes(), size_t(headerBytes), shared.Bytes() + headerBytes,
                               size_t(pixelBytes), header, pixels, ready.Take(), readyBytes))
        return false;
    const size_t taken = LocalSize(*pixels);
    if (taken >= kWorthMakingReady) LastLargePixelBytes = taken;
    return true;
}

// Plug-in index of kind for path: a direct::TryResult.
int TryPicture(HelperKind& kind, size_t index, const char* path, bool preview, ProgressProc progress,
               intptr_t userData, HLOCAL* header, HLOCAL* pixels) {
    if (!Available(kind, index)) return direct::kTryNotAccepted;
    auto request = [&](uint32_t slot) {
        Writer writer(plugin_protocol::kPicture);
        writer.U32(slot).U32(preview ? 1 : 0).Text(path);
        return writer;
    };
    ReadyBlock ready(preview ? 0 : LastLargePixelBytes);
    Message answer;
    if (!Exchange(kind, index, request, plugin_protocol::kPictureDone, progress, userData, &answer, &ready))
        return direct::kTryFailed;
    BodyReader body(answer);
    int32_t result = 0;
    uint64_t headerBytes = 0, pixelBytes = 0;
    if (!body.I32(&result)) return direct::kTryFailed;
    if (result != direct::kTryPicture) return body.Done() ? result : int(direct::kTryFailed);
    if (!body.U64(&headerBytes) || !body.U64(&pixelBytes) || !body.Done()) return direct::kTryFailed;
    return TakeFromSharedMemory(kind.shared, headerBytes, pixelBytes, ready, header, pixels)
               ? int(direct::kTryPicture)
               : int(direct::kTryFailed);
}

int Walk(const char* path, bool preview, ProgressProc progress, intptr_t userData, HLOCAL* header,
         HLOCAL* pixels) {
    *header = nullptr;
    *pixels = nullptr;
    for (HelperKind& kind : Kinds) {
        if (!EnsureBound(kind)) continue;
        for (size_t i = 0; i < kind.plugins.size(); ++i) {
            const int result = TryPicture(kind, i, path, preview, progress, userData, header, pixels);
            if (result == direct::kTryPicture) return 1;
            if (result == direct::kTryNotAccepted || (preview && result == direct::kTryCannotOpen)) continue;
            LastLoadError = result == direct::kTryStopped      ? kLoadStopped
                            : result == direct::kTryCannotOpen ? kLoadCannotOpen
                                                               : kLoadFailed;
        }
    }
    LastLoadError = kLoadNotThisFormat;
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

void SetPluginCallLimit(DWORD milliseconds) {
    CallLimit = milliseconds;
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
    if (!direct::CommonPluginFolder(&folder) || !LoadPlugins(folder.c_str())) return 0;
    // What the shared folder's files bind is known only once a helper has
    // started, which waits until the first picture is on screen; the
    // program's folder is kept for ChooseFolder meanwhile.
    char own[MAX_PATH] = "";
    ProgramFolder(own);
    if (own[0] && lstrcmpiA(own, folder.c_str()) != 0) FallbackFolder = own;
    return 1;
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
        kind.wanted = kind.bound = kind.gone = kind.tableKept = false;
        kind.plugins.clear();
        kind.leftOut.clear();
        kind.asked = -1;
    }
    Folder.clear();
    FallbackFolder.clear();
}

int PluginLoadPicture(const char* path, ProgressProc progress, intptr_t userData, HLOCAL* header,
                      HLOCAL* pixels) {
    ChooseFolder();
    return Walk(path, false, progress, userData, header, pixels);
}

int PluginLoadPreview(const char* path, ProgressProc progress, intptr_t userData, HLOCAL* header,
                      HLOCAL* pixels) {
    ChooseFolder();
    return Walk(path, true, progress, userData, header, pixels);
}

int PluginReadInfo(const char* path, PictureInfo* info) {
    ChooseFolder();
    for (HelperKind& kind : Kinds) {
        if (!EnsureBound(kind)) continue;
        for (size_t i = 0; i < kind.plugins.size(); ++i) {
            auto request = [&](uint32_t slot) {
                Writer writer(plugin_protocol::kInfo);
                writer.U32(slot).Text(path);
                return writer;
            };
            Message answer;
            if (Exchange(kind, i, request, plugin_protocol::kInfoDone, nullptr, 0, &answer) &&
                ReadInfoAnswer(answer, info))
                return 1;
        }
    }
    return 0;
}

int PluginSupportsFile(const char* path) {
    ChooseFolder();
    for (HelperKind& kind : Kinds) {
        if (!EnsureBound(kind)) continue;
        for (size_t i = 0; i < kind.plugins.size(); ++i) {
            auto request = [&](uint32_t slot) {
                Writer writer(plugin_protocol::kSupports);
                writer.U32(slot).Text(path);
                return writer;
            };
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
    ChooseFolder();
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
    ChooseFolder();
    int count = 0;
    for (HelperKind& kind : Kinds) {
        if (EnsureBound(kind)) count += int(kind.plugins.size());
    }
    return count;
}
