// An import filter for the tiny picture format, built once per test plug-in
// (TEST_PLUGIN names it, kVariants says how it answers) as a real library
// with the interface's undecorated __stdcall entry points. Beside them it
// exports TestCallCount, TestLastCallThread and TestResetCalls (unruly also
// TestLastText), so that tests can see which calls ran and on which thread.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "image/picture_types.h"
#include "plugins/plugin_input.h"
#include "plugins/test_common/tiny_picture.h"

namespace {

enum Quirk : unsigned {
    kUpperCasePatterns = 1,  // information number 2 is "*.TPC;*.PIC", not "*.tpc"
    kPreviewFails = 2,       // GetPreview hands back blocks and answers 2
    kAcceptAllThenFail = 4,  // accepts every file, then fails every call
    kBadBlocks = 8,          // accepts every file, answers 0 with a pixel block too small for its header
    kShortTable = 16,        // 8-bit pictures, the colour table cut at biClrUsed, in GlobalAlloc blocks
    kFromComment = 32,       // the comment says how the call goes wrong (see Misbehave): one library
                             // for every way a plug-in can take its host down
    kCrashOnBind = 64,       // GetPluginInfo crashes: its host dies while binding it
    kHangOnBind = 128,       // GetPluginInfo never returns
};
struct Variant {
    const char* name;
    const char* version;  // information number 0
    int mark;             // in biXPelsPerMeter of every picture: which library decoded it
    unsigned quirks;
};
constexpr Variant kVariants[] = {
    {"tinypic", "00IN", 1, 0},
    {"tinypic2", "00IN", 2, 0},   // a second reader of the same files
    {"nopreview", "00IN", 3, 0},  // its .def leaves GetPreview out
    {"previewfails", "00IN", 4, kPreviewFails},
    {"upperpic", "00IN", 5, kUpperCasePatterns | kShortTable},
    {"unruly", "00IN", 6, kFromComment},
    {"wrongversion", "00AM", 9, 0},
    {"failall", "00IN", 1, kAcceptAllThenFail},
    {"badblocks", "00IN", 1, kBadBlocks},
    {"crashbind", "00IN", 1, kCrashOnBind},
    {"hangbind", "00IN", 1, kHangOnBind},
};
constexpr bool Same(const char* a, const char* b) {
    return *a == *b && (!*a || Same(a + 1, b + 1));
}
constexpr Variant Find(size_t i = 0) {
    return Same(kVariants[i].name, TEST_PLUGIN) ? kVariants[i] : Find(i + 1);
}
constexpr Variant kThis = Find();
constexpr bool Has(unsigned quirk) {
    return (kThis.quirks & quirk) != 0;
}

bool shortBlocks;  // the picture's pixel block holds one row only
volatile HLOCAL lastText;

enum Call { kIsSupported, kGetPictureInfo, kGetPicture, kGetPreview, kCallKinds };
volatile LONG callCounts[kCallKinds];
volatile DWORD lastCallThread;

enum Answer { kOk, kNotImplemented = -1, kStopped = 1, kUnknownFormat, kBroken, kNoMemory, kReadError = 6 };

void Record(Call call) {
    InterlockedIncrement(&callCounts[call]);
    lastCallThread = GetCurrentThreadId();
}

HLOCAL AllocBlock(size_t size) {
    return Has(kShortTable) ? GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size)
                            : LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, size);
}

// Decodes bytes into a DIB, every step-th pixel of every step-th row, bottom
// row first, reporting progress. Answers as GetPicture does.
int Decode(const std::vector<uint8_t>& bytes, const tiny_picture::Head& head, int step, HLOCAL* header,
           HLOCAL* pixels, ProgressProc progress, intptr_t userData) {
    const int width = (head.width + step - 1) / step, height = (head.height + step - 1) / step;
    if (progress(0, height, userData)) return kStopped;
    const int bits = Has(kShortTable) ? 8 : 24;
    const size_t stride = (size_t(width) * bits + 31) / 32 * 4;
    const bool badBlocks = Has(kBadBlocks) || shortBlocks;
    *pixels = AllocBlock(badBlocks ? stride : stride * height);  // bad: one row where the header promises all
    if (!*pixels) return kNoMemory;
    auto* out = static_cast<uint8_t*>(GlobalLock(*pixels));
    std::vector<RGBQUAD> colours;  // the short table, in order of first appearance
    int answer = kOk;
    const int every = std::max(height / 8, 1);
    for (int y = 0; y < height && answer == kOk && !badBlocks; ++y) {
        uint8_t* row = out + stride * size_t(height - 1 - y);
        for (int x = 0; x < width && answer == kOk; ++x) {
            const uint8_t* rgb =
                &bytes[head.pixelOffset + (size_t(y * step) * head.width + size_t(x * step)) * 3];
            RGBQUAD colour = {rgb[2], rgb[1], rgb[0], 0};
            if (!Has(kShortTable)) {
                std::memcpy(row + x * 3, &colour, 3);  // blue, green, red
                continue;
            }
            auto at = std::find_if(colours.begin(), colours.end(),
                                   [&](const RGBQUAD& c) { return !std::memcmp(&c, &colour, sizeof(c)); });
            row[x] = uint8_t(at - colours.begin());
            if (at != colours.end()) continue;
            if (colours.size() == 256)
                answer = kBroken;
            else
                colours.push_back(colour);
        }
        if (answer == kOk && (y + 1) % every == 0 && progress(y + 1, height, userData)) answer = kStopped;
    }
    GlobalUnlock(*pixels);
    if (answer == kBroken) {  // more than 256 colours: a broken picture hands back no blocks
        GlobalFree(*pixels);
        *pixels = nullptr;
        return kBroken;
    }
    size_t tableBytes = colours.size() * sizeof(RGBQUAD);
    *header = AllocBlock(sizeof(BITMAPINFOHEADER) + tableBytes);
    if (!*header) return kNoMemory;
    auto* info = static_cast<BITMAPINFOHEADER*>(GlobalLock(*header));
    *info = BITMAPINFOHEADER{
        sizeof(BITMAPINFOHEADER), width, height, 1, WORD(bits), BI_RGB, DWORD(stride * height), kThis.mark, 0,
        DWORD(colours.size()),    0};
    if (tableBytes) std::memcpy(info + 1, colours.data(), tableBytes);
    GlobalUnlock(*header);
    return answer;
}

// A picture with a header longer than 40 bytes, as a version 5 header is,
// whose colour table lies after all of its bytes; tableEntries of the 256 a
// grey 8-bit picture needs are there.
int LongHeaderPicture(const tiny_picture::Head& head, int tableEntries, HLOCAL* header, HLOCAL* pixels) {
    const DWORD headerSize = sizeof(BITMAPV5HEADER);
    size_t stride = (size_t(head.width) + 3) / 4 * 4;
    *header = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, headerSize + size_t(tableEntries) * 4);
    *pixels = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, stride * size_t(head.height));
    auto* info = static_cast<BITMAPV5HEADER*>(LocalLock(*header));
    info->bV5Size = headerSize;
    info->bV5Width = head.width;
    info->bV5Height = head.height;
    info->bV5Planes = 1;
    info->bV5BitCount = 8;
    auto* table = reinterpret_cast<RGBQUAD*>(reinterpret_cast<uint8_t*>(info) + headerSize);
    for (int i = 0; i < tableEntries; ++i) table[i] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
    auto* out = static_cast<uint8_t*>(LocalLock(*pixels));
    for (int y = 0; y < head.height; ++y)
        for (int x = 0; x < head.width; ++x)
            out[stride * size_t(head.height - 1 - y) + size_t(x)] = BYTE(x * 16 + y);
    LocalUnlock(*header);
    LocalUnlock(*pixels);
    return kOk;
}

DWORD WINAPI CrashLater(void*) {
    Sleep(100);
    *static_cast<volatile int*>(nullptr) = 1;
    return 0;
}

// What the comment asks of a picture call: -1 to decode as usual, else the
// answer to give. Some never come back.
int Misbehave(const tiny_picture::Head& head, HLOCAL* header, HLOCAL* pixels, ProgressProc progress,
              intptr_t userData) {
    const std::string& how = head.comment;
    if (how == "crash") *static_cast<volatile int*>(nullptr) = 1;
    if (how == "heap") {
        // Overruns a block into the next one's bookkeeping, as a decoder
        // with a wrong row size does; the heap notices on the next free and
        // ends the process, as the system does on a corrupted heap.
        HANDLE heap = GetProcessHeap();
        auto* first = static_cast<uint8_t*>(HeapAlloc(heap, 0, 32));
        void* second = HeapAlloc(heap, 0, 32);
        std::memset(first, 0xA5, 128);
        HeapFree(heap, 0, second);
        if (!HeapValidate(heap, 0, nullptr)) TerminateProcess(GetCurrentProcess(), 0xC0000374);
        return kBroken;
    }
    if (how == "hang") Sleep(INFINITE);
    if (how == "latecrash") {
        // Decodes as usual, but leaves a thread behind that crashes the
        // host a little later, between two calls.
        CloseHandle(CreateThread(nullptr, 0, CrashLater, nullptr, 0, nullptr));
    }
    int total = 0, step = 0;
    if (std::sscanf(how.c_str(), "slow %d %d", &total, &step) == 2) {
        // Slow but alive: progress calls at a steady pace the whole time.
        for (DWORD start = GetTickCount(); GetTickCount() - start < DWORD(total); Sleep(DWORD(step))) {
            if (progress(0, 1, userData)) return kStopped;
        }
    }
    if (how == "v5" || how == "v5short")
        return LongHeaderPicture(head, how == "v5" ? 256 : 16, header, pixels);
    return -1;
}

int Picture(LPCSTR source, LONG_PTR offset, HLOCAL* header, HLOCAL* pixels, ProgressProc progress,
            intptr_t userData, int step) {
    *header = *pixels = nullptr;
    std::vector<uint8_t> bytes;
    if (!ReadFileFrom(source, offset, &bytes)) return kReadError;
    tiny_picture::Head head;
    if (!tiny_picture::ReadHead(bytes.data(), bytes.size(), &head)) return kBroken;
    if (Has(kFromComment)) {
        shortBlocks = head.comment == "short";
        int misbehaved = Misbehave(head, header, pixels, progress, userData);
        if (misbehaved >= 0) return misbehaved;
    }
    int answer = Decode(bytes, head, step, header, pixels, progress, userData);
    // A real plug-in may hand back blocks even when it fails; the host must
    // release them. Only the answer 0 hands them over for good.
    if (answer != kOk && !Has(kPreviewFails | kAcceptAllThenFail)) {
        if (*header) GlobalFree(*header);
        if (*pixels) GlobalFree(*pixels);
        *header = *pixels = nullptr;
    }
    return answer;
}

}  // namespace

extern "C" {

int __stdcall GetPluginInfo(int infoNumber, LPSTR buffer, int length) {
    if (Has(kCrashOnBind)) *static_cast<volatile int*>(nullptr) = 1;
    if (Has(kHangOnBind)) Sleep(INFINITE);
    const char* const texts[] = {kThis.version, "Piltrin test filter",
                                 Has(kUpperCasePatterns) ? "*.TPC;*.PIC" : "*.tpc", "Tiny pictures"};
    if (infoNumber < 0 || infoNumber >= 4 || length <= 0) return 0;
    int n = std::min(int(std::strlen(texts[infoNumber])), length - 1);
    std::memcpy(buffer, texts[infoNumber], size_t(n));
    buffer[n] = '\0';
    return n;
}

int __stdcall IsSupported(LPCSTR, DWORD_PTR file) {
    Record(kIsSupported);
    if (Has(kAcceptAllThenFail | kBadBlocks)) return 1;
    // The host always passes the handle of the open file, never its first 2 KB.
    uint8_t head[16] = {};
    DWORD read = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(file), head, sizeof(head), &read, nullptr)) return 0;
    return tiny_picture::HasMagic(head, read) ? 1 : 0;
}

int __stdcall GetPictureInfo(LPCSTR source, LONG_PTR offset, unsigned int, PictureInfo* record) {
    Record(kGetPictureInfo);
    if (Has(kAcceptAllThenFail)) return kNotImplemented;
    std::vector<uint8_t> bytes;
    if (!ReadFileFrom(source, offset, &bytes)) return kReadError;
    tiny_picture::Head head;
    if (!tiny_picture::ReadHead(bytes.data(), bytes.size(), &head)) return kBroken;
    PictureInfo info = {0, 0, head.width, head.height, WORD(kThis.mark), 0, 24, nullptr};
    if (!head.comment.empty()) {
        info.textHandle = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, head.comment.size() + 1);
        if (info.textHandle) {
            std::memcpy(LocalLock(info.textHandle), head.comment.data(), head.comment.size());
            LocalUnlock(info.textHandle);
        }
    }
    std::memcpy(record, &info, sizeof(info));
    lastText = info.textHandle;
    // A plug-in that attaches its text and then fails: the host must free it.
    return Has(kFromComment) && head.comment == "infofail" ? kBroken : kOk;
}

int __stdcall GetPicture(LPCSTR source, LONG_PTR offset, unsigned int, HLOCAL* header, HLOCAL* pixels,
                         ProgressProc progress, intptr_t userData) {
    Record(kGetPicture);
    int answer = Picture(source, offset, header, pixels, progress, userData, 1);
    return Has(kAcceptAllThenFail) && answer == kOk ? kUnknownFormat : answer;
}

int __stdcall GetPreview(LPCSTR source, LONG_PTR offset, unsigned int, HLOCAL* header, HLOCAL* pixels,
                         ProgressProc progress, intptr_t userData) {
    Record(kGetPreview);
    int answer = Picture(source, offset, header, pixels, progress, userData, 2);
    return Has(kPreviewFails | kAcceptAllThenFail) && answer == kOk ? kUnknownFormat : answer;
}

// 0 IsSupported, 1 GetPictureInfo, 2 GetPicture, 3 GetPreview.
int __stdcall TestCallCount(int call) {
    return call >= 0 && call < kCallKinds ? int(callCounts[call]) : -1;
}
DWORD __stdcall TestLastCallThread() {
    return lastCallThread;
}
// The text block of the last GetPictureInfo call.
HLOCAL __stdcall TestLastText() {
    return lastText;
}
void __stdcall TestResetCalls() {
    for (auto& count : callCounts) count = 0;
    lastCallThread = 0;
}

}  // extern "C"
