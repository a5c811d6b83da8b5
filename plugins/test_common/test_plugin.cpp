// An import filter for the tiny picture format, built in several variants
// for the host's tests. Each variant is a real library with the interface's
// undecorated __stdcall entry points; compile definitions choose how it
// misbehaves (each flag is off unless the variant defines it):
//   PLUGIN_VERSION      text of information number 0 (default "00IN")
//   UPPER_CASE_PATTERNS information number 2 is "*.TPC;*.PIC", not "*.tpc"
//   PLUGIN_MARK         written into biXPelsPerMeter of every picture, so a
//                       test can tell which library decoded it
//   PREVIEW_FAILS       GetPreview hands back a block and answers 2
//   ACCEPT_ALL_THEN_FAIL accepts every file, then fails every call
//   BAD_BLOCKS          accepts every file and answers 0 with a pixel block
//                       too small for the header it hands back
//   PALETTE_SHORT_TABLE 8-bit pictures whose colour table stops at
//                       biClrUsed entries, in GlobalAlloc blocks
//   BEHAVIOUR_FROM_COMMENT the picture's comment says how the call goes wrong
//                       (see Misbehave): one library for every way a
//                       plug-in can take its host down
// Beside the interface it exports TestCallCount, TestLastCallThread and
// TestResetCalls, so that tests can see which calls ran and on which thread.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "plugins/plugin_input.h"
#include "plugins/test_common/tiny_picture.h"

#ifndef PLUGIN_VERSION
#define PLUGIN_VERSION "00IN"
#endif
#ifndef PLUGIN_MARK
#define PLUGIN_MARK 1
#endif
#ifndef UPPER_CASE_PATTERNS
#define UPPER_CASE_PATTERNS 0
#endif
#ifndef PREVIEW_FAILS
#define PREVIEW_FAILS 0
#endif
#ifndef ACCEPT_ALL_THEN_FAIL
#define ACCEPT_ALL_THEN_FAIL 0
#endif
#ifndef BAD_BLOCKS
#define BAD_BLOCKS 0
#endif
#ifndef PALETTE_SHORT_TABLE
#define PALETTE_SHORT_TABLE 0
#endif
#ifndef BEHAVIOUR_FROM_COMMENT
#define BEHAVIOUR_FROM_COMMENT 0
#endif

typedef int(__stdcall* ProgressCallback)(int done, int total, intptr_t userData);

namespace {

bool shortBlocks;  // the picture's pixel block holds one row only
volatile HLOCAL lastText;

enum Call { kIsSupported, kGetPictureInfo, kGetPicture, kGetPreview, kCallKinds };
volatile LONG callCounts[kCallKinds];
volatile DWORD lastCallThread;

enum Answer {
    kOk = 0,
    kNotImplemented = -1,
    kStopped = 1,
    kUnknownFormat = 2,
    kBroken = 3,
    kNoMemory = 4,
    kReadError = 6
};

void Record(Call call) {
    InterlockedIncrement(&callCounts[call]);
    lastCallThread = GetCurrentThreadId();
}

int CopyText(const char* text, LPSTR buffer, int length) {
    if (length <= 0) return 0;
    int n = static_cast<int>(std::strlen(text));
    if (n >= length) n = length - 1;
    std::memcpy(buffer, text, static_cast<size_t>(n));
    buffer[n] = '\0';
    return n;
}

HLOCAL AllocBlock(size_t size) {
    return PALETTE_SHORT_TABLE ? GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size)
                               : LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, size);
}

// Decodes bytes into a DIB, every step-th pixel of every step-th row, bottom
// row first, reporting progress. Answers as GetPicture does.
int Decode(const std::vector<uint8_t>& bytes, int step, HLOCAL* header, HLOCAL* pixels,
           ProgressCallback progress, intptr_t userData) {
    tiny_picture::Head head;
    if (!tiny_picture::ReadHead(bytes.data(), bytes.size(), &head)) return kBroken;
    int width = (head.width + step - 1) / step;
    int height = (head.height + step - 1) / step;
    if (progress(0, height, userData)) return kStopped;
    const int bits = PALETTE_SHORT_TABLE ? 8 : 24;
    size_t stride = (size_t(width) * bits + 31) / 32 * 4;
    const bool badBlocks = BAD_BLOCKS || shortBlocks;
    *pixels = AllocBlock(badBlocks ? stride : stride * height);  // bad: one row where the header promises all
    if (!*pixels) return kNoMemory;
    auto* out = static_cast<uint8_t*>(GlobalLock(*pixels));
    // The short-table variant's colours in order of first appearance, at
    // most 256: the table ends where they do.
    std::vector<RGBQUAD> colours;
    int answer = kOk;
    int every = height / 8 > 0 ? height / 8 : 1;
    for (int y = 0; y < height && answer == kOk && !badBlocks; ++y) {
        uint8_t* row = out + stride * size_t(height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const uint8_t* rgb =
                &bytes[head.pixelOffset + (size_t(y * step) * head.width + size_t(x * step)) * 3];
            RGBQUAD colour = {rgb[2], rgb[1], rgb[0], 0};
            if (!PALETTE_SHORT_TABLE) {
                std::memcpy(row + x * 3, &colour, 3);  // blue, green, red
                continue;
            }
            size_t i = 0;
            while (i < colours.size() && std::memcmp(&colours[i], &colour, sizeof(colour)) != 0) ++i;
            if (i == 256) {
                answer = kBroken;
                break;
            }
            if (i == colours.size()) colours.push_back(colour);
            row[x] = uint8_t(i);
        }
        if (answer == kOk && (y + 1) % every == 0 && progress(y + 1, height, userData)) answer = kStopped;
    }
    GlobalUnlock(*pixels);
    // More than 256 colours: a broken picture hands back no blocks.
    if (answer == kBroken) {
        GlobalFree(*pixels);
        *pixels = nullptr;
        return kBroken;
    }
    size_t tableBytes = colours.size() * sizeof(RGBQUAD);
    *header = AllocBlock(sizeof(BITMAPINFOHEADER) + tableBytes);
    if (!*header) return kNoMemory;
    auto* info = static_cast<BITMAPINFOHEADER*>(GlobalLock(*header));
    info->biSize = sizeof(BITMAPINFOHEADER);
    info->biWidth = width;
    info->biHeight = height;  // bottom row first
    info->biPlanes = 1;
    info->biBitCount = bits;
    info->biCompression = BI_RGB;
    info->biSizeImage = DWORD(stride * height);
    info->biXPelsPerMeter = PLUGIN_MARK;
    info->biClrUsed = DWORD(colours.size());
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

// What the comment asks of a picture call: -1 to decode as usual, else the
// answer to give. Some never come back.
int Misbehave(const tiny_picture::Head& head, HLOCAL* header, HLOCAL* pixels, ProgressCallback progress,
              intptr_t userData) {
    const std::string& how = head.comment;
    if (how == "crash") *static_cast<volatile int*>(nullptr) = 1;  // a write through a null pointer
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
    int total = 0, step = 0;
    if (std::sscanf(how.c_str(), "slow %d %d", &total, &step) == 2) {
        // Slow but alive: progress calls at a steady pace the whole time.
        for (DWORD start = GetTickCount(); GetTickCount() - start < DWORD(total); Sleep(DWORD(step))) {
            if (progress(0, 1, userData)) return kStopped;
        }
    }
    if (how == "v5") return LongHeaderPicture(head, 256, header, pixels);
    if (how == "v5short") return LongHeaderPicture(head, 16, header, pixels);
    return -1;
}

int Picture(LPCSTR source, LONG_PTR offset, HLOCAL* header, HLOCAL* pixels, ProgressCallback progress,
            intptr_t userData, int step) {
    std::vector<uint8_t> bytes;
    if (!ReadFileFrom(source, offset, &bytes)) return kReadError;
    tiny_picture::Head head;
    if (BEHAVIOUR_FROM_COMMENT && tiny_picture::ReadHead(bytes.data(), bytes.size(), &head)) {
        shortBlocks = head.comment == "short";
        int misbehaved = Misbehave(head, header, pixels, progress, userData);
        if (misbehaved >= 0) return misbehaved;
    }
    int answer = Decode(bytes, step, header, pixels, progress, userData);
    // A real plug-in may hand back blocks even when it fails; the host must
    // release them. Only the answer 0 hands them over for good.
    if (answer != kOk && !PREVIEW_FAILS && !ACCEPT_ALL_THEN_FAIL) {
        if (*header) GlobalFree(*header);
        if (*pixels) GlobalFree(*pixels);
        *header = *pixels = nullptr;
    }
    return answer;
}

}  // namespace

extern "C" {

int __stdcall GetPluginInfo(int infoNumber, LPSTR buffer, int length) {
    static const char* const texts[] = {PLUGIN_VERSION, "Piltrin test filter",
                                        UPPER_CASE_PATTERNS ? "*.TPC;*.PIC" : "*.tpc", "Tiny pictures"};
    return infoNumber >= 0 && infoNumber < 4 ? CopyText(texts[infoNumber], buffer, length) : 0;
}

int __stdcall IsSupported(LPCSTR, DWORD_PTR file) {
    Record(kIsSupported);
    if (ACCEPT_ALL_THEN_FAIL || BAD_BLOCKS) return 1;
    // The host always passes the handle of the open file, never its first
    // 2 KB.
    uint8_t head[16] = {};
    DWORD read = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(file), head, sizeof(head), &read, nullptr)) return 0;
    return tiny_picture::HasMagic(head, read) ? 1 : 0;
}

int __stdcall GetPictureInfo(LPCSTR source, LONG_PTR offset, unsigned int, void* infoRecord) {
    Record(kGetPictureInfo);
    if (ACCEPT_ALL_THEN_FAIL) return kNotImplemented;
    std::vector<uint8_t> bytes;
    if (!ReadFileFrom(source, offset, &bytes)) return kReadError;
    tiny_picture::Head head;
    if (!tiny_picture::ReadHead(bytes.data(), bytes.size(), &head)) return kBroken;
        // The interface's record, packed to single bytes.
#pragma pack(push, 1)
    struct {
        long left, top, width, height;
        WORD xDensity, yDensity;
        short colorDepth;
        HLOCAL text;
    } info = {};
#pragma pack(pop)
    static_assert(sizeof(info) == 22 + sizeof(HLOCAL), "packed picture information");
    info.width = head.width;
    info.height = head.height;
    info.xDensity = PLUGIN_MARK;
    info.colorDepth = 24;
    if (!head.comment.empty()) {
        info.text = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, head.comment.size() + 1);
        if (info.text) {
            std::memcpy(LocalLock(info.text), head.comment.data(), head.comment.size());
            LocalUnlock(info.text);
        }
    }
    std::memcpy(infoRecord, &info, sizeof(info));
    lastText = info.text;
    // A plug-in that attaches its text and then fails: the host must free it.
    return BEHAVIOUR_FROM_COMMENT && head.comment == "infofail" ? kBroken : kOk;
}

int __stdcall GetPicture(LPCSTR source, LONG_PTR offset, unsigned int, HLOCAL* header, HLOCAL* pixels,
                         ProgressCallback progress, intptr_t userData) {
    Record(kGetPicture);
    *header = *pixels = nullptr;
    int answer = Picture(source, offset, header, pixels, progress, userData, 1);
    return ACCEPT_ALL_THEN_FAIL && answer == kOk ? kUnknownFormat : answer;
}

int __stdcall GetPreview(LPCSTR source, LONG_PTR offset, unsigned int, HLOCAL* header, HLOCAL* pixels,
                         ProgressCallback progress, intptr_t userData) {
    Record(kGetPreview);
    *header = *pixels = nullptr;
    int answer = Picture(source, offset, header, pixels, progress, userData, 2);
    return (PREVIEW_FAILS || ACCEPT_ALL_THEN_FAIL) && answer == kOk ? kUnknownFormat : answer;
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
