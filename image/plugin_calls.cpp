// Asking the bound plug-ins, in load order, for pictures, previews, picture
// facts and file types. Every walk goes on to the next plug-in when one
// refuses or fails, so one broken plug-in never hides the others.
#include <cstring>

#include "browse/file_utils.h"
#include "browse/scoped_handles.h"
#include "image/dib_image.h"
#include "image/plugin_host.h"

namespace {

constexpr int kGetPictureStopped = 1;  // the plug-in's answer when the callback stopped it

HANDLE OpenForReading(const char* path) {
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

void FreeHandedBack(HLOCAL* header, HLOCAL* pixels) {
    // Plug-ins allocate with LocalAlloc or GlobalAlloc; both come from the
    // process heap and either family frees them.
    if (*header) LocalFree(*header);
    if (*pixels) LocalFree(*pixels);
    *header = nullptr;
    *pixels = nullptr;
}

// Checks what a plug-in handed back as a picture before the rest of the
// program reads it: the rest trusts the header to describe the blocks. A
// colour table shorter than the depth's full table (plug-ins may stop at
// biClrUsed entries) is grown with zero entries, because every reader of a
// DibImage indexes the full table. False when the pair is unusable.
bool TakeOverPicture(HLOCAL* header, HLOCAL* pixels) {
    if (!*header || !*pixels) return false;
    SIZE_T headerSize = LocalSize(*header);
    if (headerSize < sizeof(BITMAPINFOHEADER)) return false;
    BITMAPINFOHEADER info;
    {
        LockedBlock<BITMAPINFOHEADER> locked(*header);
        if (!locked) return false;
        info = *locked.get();
    }
    if (info.biSize < sizeof(BITMAPINFOHEADER) || !IsUsableDibHeader(info)) return false;
    if (LocalSize(*pixels) < DibPixelBytes(info)) return false;
    size_t wanted = DibHeaderBytes(info);
    if (headerSize < wanted) {
        HLOCAL grown = LocalReAlloc(*header, wanted, LMEM_MOVEABLE | LMEM_ZEROINIT);
        if (!grown) return false;
        *header = grown;
    }
    return true;
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
// request lives on the caller's stack for the whole wait. The waiting thread
// handles no messages meanwhile. False (with the answer left at an error)
// when no thread could be started.
bool RunOnWorker(PluginRequest* request) {
    request->answer = -1;
    DWORD id = 0;
    HANDLE worker = CreateThread(nullptr, 0, RunPluginRequest, request, 0, &id);
    if (!worker) return false;
    WaitForSingleObject(worker, INFINITE);
    CloseHandle(worker);
    return true;
}

int FailureCode(int answer) {
    return answer == kGetPictureStopped ? kLoadStopped : kLoadFailed;
}

// The pattern's extension (patternLength bytes) names extension exactly.
bool SameExtension(const char* pattern, size_t patternLength, const char* extension) {
    return strnlen(extension, patternLength + 1) == patternLength &&
           SamePathText(pattern, extension, patternLength);
}

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

}  // namespace

int PluginLoadPicture(const char* path, ProgressProc progress, intptr_t userData, HLOCAL* header,
                      HLOCAL* pixels) {
    *header = nullptr;
    *pixels = nullptr;
    ProgressProc callback = progress ? progress : DefaultProgress;
    intptr_t data = progress ? userData : 0;
    for (int i = 0; i < PluginCount(); ++i) {
        const PluginEntry* plugin = PluginAt(i);
        FileHandle file(OpenForReading(path));
        if (!file.valid()) {
            LastLoadError = kLoadCannotOpen;
            continue;
        }
        if (!plugin->IsSupported(path, reinterpret_cast<DWORD_PTR>(file.get()))) continue;
        HLOCAL headerBlock = nullptr;
        HLOCAL pixelBlock = nullptr;
        int answer = plugin->GetPicture(path, 0, 0, &headerBlock, &pixelBlock, callback, data);
        if (answer == 0 && TakeOverPicture(&headerBlock, &pixelBlock)) {
            *header = headerBlock;
            *pixels = pixelBlock;
            return 1;
        }
        FreeHandedBack(&headerBlock, &pixelBlock);
        LastLoadError = FailureCode(answer);
    }
    LastLoadError = kLoadNotThisFormat;
    return 0;
}

int PluginLoadPreview(const char* path, ProgressProc progress, intptr_t userData, HLOCAL* header,
                      HLOCAL* pixels) {
    *header = nullptr;
    *pixels = nullptr;
    for (int i = 0; i < PluginCount(); ++i) {
        const PluginEntry* plugin = PluginAt(i);
        FileHandle file(OpenForReading(path));
        if (!file.valid()) continue;
        if (!plugin->IsSupported(path, reinterpret_cast<DWORD_PTR>(file.get()))) continue;

        PluginRequest request{plugin->GetPreview,
                              path,
                              progress ? progress : DefaultProgress,
                              progress ? userData : 0,
                              nullptr,
                              nullptr,
                              -1,
                              0};
        RunOnWorker(&request);
        if (request.answer != 0 || !TakeOverPicture(&request.header, &request.pixels)) {
            // No preview: the full picture serves instead.
            FreeHandedBack(&request.header, &request.pixels);
            request.call = plugin->GetPicture;
            RunOnWorker(&request);
            if (request.answer == 0 && !TakeOverPicture(&request.header, &request.pixels))
                request.answer = -1;
        }
        if (request.answer == 0) {
            *header = request.header;
            *pixels = request.pixels;
            return 1;
        }
        FreeHandedBack(&request.header, &request.pixels);
        LastLoadError = FailureCode(request.answer);
    }
    LastLoadError = kLoadNotThisFormat;
    return 0;
}

int PluginReadInfo(const char* path, PictureInfo* info) {
    for (int i = 0; i < PluginCount(); ++i) {
        const PluginEntry* plugin = PluginAt(i);
        int accepted = 0;
        {
            FileHandle file(OpenForReading(path));
            if (!file.valid()) continue;
            accepted = plugin->IsSupported(path, reinterpret_cast<DWORD_PTR>(file.get()));
        }
        if (!accepted) continue;
        // Only 0 means the record was filled: -1 is the interface's "not
        // implemented", after which the record holds nothing meaningful.
        *info = PictureInfo{};
        if (plugin->GetPictureInfo(path, 0, 0, info) == 0) return 1;
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
        // Information number 2 is the first group of file-type patterns.
        char patterns[101] = {};
        if (PluginAt(i)->GetPluginInfo(2, patterns, 100) && PatternsName(patterns, extension)) return 1;
    }
    return 0;
}
