// Asking the bound plug-ins of this process, in load order, for pictures,
// previews, picture facts and file types. Every walk goes on to the next
// plug-in when one refuses or fails, so one broken plug-in never hides the
// others.
#include <cstring>

#include "browse/file_utils.h"
#include "browse/scoped_handles.h"
#include "image/dib_image.h"
#include "image/plugin_direct.h"
#include "image/plugin_picture.h"

namespace direct {
namespace {

constexpr int kGetPictureStopped = 1;  // the plug-in's answer when the callback stopped it

HANDLE OpenForReading(const char* path) {
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

// One plug-in call handed to a worker thread, and its result.
struct PluginRequest {
    GetPictureProc call;
    const char* path;
    ProgressProc progress;
    intptr_t userData;
    HLOCAL header;
    HLOCAL pixels;
    int answer;
    DWORD workerThread;
};

DWORD WINAPI RunPluginRequest(void* parameter) {
    auto* request = static_cast<PluginRequest*>(parameter);
    request->workerThread = GetCurrentThreadId();
    request->answer = request->call(request->path, 0, 0, &request->header, &request->pixels,
                                    request->progress, request->userData);
    return 1;
}

// Runs the request's call on a worker thread and waits for it to end; the
// request lives on the caller's stack for the whole wait. The answer stays
// an error when no thread could be started.
void RunOnWorker(PluginRequest* request) {
    request->answer = -1;
    DWORD id = 0;
    HANDLE worker = CreateThread(nullptr, 0, RunPluginRequest, request, 0, &id);
    if (!worker) return;
    WaitForSingleObject(worker, INFINITE);
    CloseHandle(worker);
}

// Checks a plug-in's pair and turns it into the pipeline's own DibImage;
// the plug-in's blocks are freed either way.
bool TakeOver(HLOCAL* header, HLOCAL* pixels, bool* tooLarge) {
    bool taken = false;
    HLOCAL ownHeader = nullptr, ownPixels = nullptr;
    if (*header && *pixels) {
        LockedBlock<uint8_t> h(*header), p(*pixels);
        taken = h && p &&
                TakeOverPluginPicture(h.get(), LocalSize(*header), p.get(), LocalSize(*pixels), &ownHeader,
                                      &ownPixels);
        if (!taken && h) *tooLarge = *tooLarge || PluginPictureTooLarge(h.get(), LocalSize(*header));
    }
    FreePluginBlocks(header, pixels);
    *header = ownHeader;
    *pixels = ownPixels;
    return taken;
}

// The walk of PluginLoadPicture and PluginLoadPreview.
int Walk(const char* path, bool preview, ProgressProc progress, intptr_t userData, HLOCAL* header,
         HLOCAL* pixels) {
    *header = nullptr;
    *pixels = nullptr;
    bool tooLarge = false;
    for (int i = 0; i < PluginCount(); ++i) {
        int result = TryPluginPicture(i, path, preview, progress, userData, header, pixels);
        if (result == kTryPicture) {
            if (TakeOver(header, pixels, &tooLarge)) return 1;
            result = kTryFailed;
        }
        if (result == kTryNotAccepted || (preview && result == kTryCannotOpen)) continue;
        LastLoadError = result == kTryStopped      ? kLoadStopped
                        : result == kTryCannotOpen ? kLoadCannotOpen
                                                   : kLoadFailed;
    }
    // A picture a plug-in read but no block can hold is refused for its size.
    LastLoadError = tooLarge ? kLoadOutOfMemory : kLoadNotThisFormat;
    return 0;
}

// The pattern's extension (patternLength bytes) names extension exactly.
bool SameExtension(const char* pattern, size_t patternLength, const char* extension) {
    return strnlen(extension, patternLength + 1) == patternLength &&
           SamePathText(pattern, extension, patternLength);
}

}  // namespace

// Whether one of the ";"-separated patterns ("*.png") names extension.
bool PatternsName(const char* patterns, const char* extension) {
    const char* start = patterns;
    for (;;) {
        const char* end = start;
        while (*end && *end != ';') ++end;
        const char* dot = static_cast<const char*>(std::memchr(start, '.', static_cast<size_t>(end - start)));
        if (dot && SameExtension(dot + 1, static_cast<size_t>(end - dot - 1), extension)) return true;
        if (!*end) return false;
        start = end + 1;
    }
}

void FreePluginBlocks(HLOCAL* header, HLOCAL* pixels) {
    // Plug-ins allocate with LocalAlloc or GlobalAlloc; both come from the
    // process heap and either family frees them.
    if (*header) LocalFree(*header);
    if (*pixels) LocalFree(*pixels);
    *header = nullptr;
    *pixels = nullptr;
}

int TryPluginPicture(int index, const char* path, bool preview, ProgressProc progress, intptr_t userData,
                     HLOCAL* header, HLOCAL* pixels) {
    *header = nullptr;
    *pixels = nullptr;
    const PluginEntry* plugin = PluginAt(index);
    if (!plugin) return kTryNotAccepted;
    FileHandle file(OpenForReading(path));
    if (!file.valid()) return kTryCannotOpen;
    if (!plugin->IsSupported(path, reinterpret_cast<DWORD_PTR>(file.get()))) return kTryNotAccepted;
    PluginRequest request{preview ? plugin->GetPreview : plugin->GetPicture,
                          path,
                          progress ? progress : DefaultProgress,
                          progress ? userData : 0,
                          nullptr,
                          nullptr,
                          -1,
                          0};
    if (preview) {
        RunOnWorker(&request);
        if (request.answer != 0 || !request.header || !request.pixels) {
            // No preview: the full picture serves instead.
            FreePluginBlocks(&request.header, &request.pixels);
            request.call = plugin->GetPicture;
            RunOnWorker(&request);
        }
    } else {
        request.answer = plugin->GetPicture(path, 0, 0, &request.header, &request.pixels, request.progress,
                                            request.userData);
    }
    if (request.answer == 0 && request.header && request.pixels) {
        *header = request.header;
        *pixels = request.pixels;
        return kTryPicture;
    }
    FreePluginBlocks(&request.header, &request.pixels);
    return request.answer == kGetPictureStopped ? kTryStopped : kTryFailed;
}

int TryPluginInfo(int index, const char* path, PictureInfo* info) {
    const PluginEntry* plugin = PluginAt(index);
    if (!plugin) return 0;
    {
        FileHandle file(OpenForReading(path));
        if (!file.valid() || !plugin->IsSupported(path, reinterpret_cast<DWORD_PTR>(file.get()))) return 0;
    }
    // Only 0 means the record was filled: -1 is the interface's "not
    // implemented", after which the record holds nothing meaningful.
    *info = PictureInfo{};
    if (plugin->GetPictureInfo(path, 0, 0, info) == 0) return 1;
    // A text block attached to a failed answer is nobody else's to free.
    if (info->textHandle) LocalFree(info->textHandle);
    *info = PictureInfo{};
    return 0;
}

int TryPluginSupports(int index, const char* path) {
    const PluginEntry* plugin = PluginAt(index);
    if (!plugin) return 0;
    FileHandle file(OpenForReading(path));
    return file.valid() && plugin->IsSupported(path, reinterpret_cast<DWORD_PTR>(file.get())) ? 1 : 0;
}

std::string PluginPatterns(int index) {
    std::string patterns;
    const PluginEntry* plugin = PluginAt(index);
    if (!plugin) return patterns;
    // A plug-in reading several formats may give each its own group (the WIC
    // filter does, one per installed decoder).
    constexpr int kMostGroups = 64;
    for (int group = 0; group < kMostGroups; ++group) {
        char text[101] = {};
        if (plugin->GetPluginInfo(2 + 2 * group, text, 100) <= 0 || text[0] == '\0') break;
        patterns += (patterns.empty() ? "" : ";") + std::string(text);
    }
    return patterns;
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
    for (int i = 0; i < PluginCount(); ++i) {
        if (TryPluginInfo(i, path, info)) return 1;
    }
    return 0;
}

int PluginSupportsFile(const char* path) {
    if (PluginCount() == 0) return 0;
    FileHandle file(OpenForReading(path));
    if (!file.valid()) return 0;
    for (int i = 0; i < PluginCount(); ++i) {
        if (PluginAt(i)->IsSupported(path, reinterpret_cast<DWORD_PTR>(file.get()))) return 1;
        SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN);
    }
    return 0;
}

int PluginMatchesExtension(const char* extension) {
    for (int i = 0; i < PluginCount(); ++i) {
        if (PatternsName(PluginPatterns(i).c_str(), extension)) return 1;
    }
    return 0;
}

}  // namespace direct
