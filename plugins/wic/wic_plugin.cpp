// The import filter that ships with the viewer: the pictures of every format
// the Windows Imaging Component reads on the machine (its own PNG, GIF,
// TIFF, ICO and whatever codecs the user installed), which every Windows
// since XP SP3 carries. The entry points are the interface's, exported under their
// undecorated names by wic_plugin.def.
#include <windows.h>

#include <cstring>
#include <vector>

#include "image/picture_types.h"
#include "plugins/plugin_input.h"
#include "plugins/wic/wic_decoder.h"

namespace {

enum InputKind { kFromFile = 0, kFromMemory = 1 };

int CopyText(const char* text, LPSTR buffer, int length) {
    if (!buffer || length <= 0) return 0;
    int n = static_cast<int>(std::strlen(text));
    if (n >= length) n = length - 1;
    std::memcpy(buffer, text, static_cast<size_t>(n));
    buffer[n] = '\0';
    return n;
}

// Turns the interface's (source, offset or length, flags) into a decoder
// input. A file read from an offset is read into bytes first.
int MakeInput(LPCSTR source, LONG_PTR offsetOrLength, unsigned int flags, std::vector<uint8_t>* bytes,
              WicInput* input) {
    if (!source) return kWicReadError;
    switch (flags & 7) {
        case kFromFile:
            if (offsetOrLength == 0) {
                input->path = source;
                return kWicOk;
            }
            if (!ReadFileFrom(source, offsetOrLength, bytes)) return kWicReadError;
            input->memory = bytes->data();
            input->size = bytes->size();
            return kWicOk;
        case kFromMemory:
            if (offsetOrLength <= 0) return kWicReadError;
            input->memory = reinterpret_cast<const uint8_t*>(source);
            input->size = static_cast<size_t>(offsetOrLength);
            return kWicOk;
        default:
            return kWicUnknownFormat;
    }
}

int __stdcall NoProgress(int, int, intptr_t) {
    return 0;
}

int Decode(LPCSTR source, LONG_PTR offset, unsigned int flags, HLOCAL* header, HLOCAL* pixels,
           WicProgress progress, intptr_t userData, bool preview) {
    if (!header || !pixels) return kWicInternalError;
    *header = nullptr;
    *pixels = nullptr;
    std::vector<uint8_t> bytes;
    WicInput input;
    int answer = MakeInput(source, offset, flags, &bytes, &input);
    if (answer != kWicOk) return answer;
    return WicDecode(input, preview, header, pixels, progress ? progress : NoProgress, userData);
}

}  // namespace

extern "C" {

// Information 2, 4, ... are the installed decoders' patterns, one group per
// decoder, and 3, 5, ... their names; without a list from the system the
// formats every WIC has.
int __stdcall GetPluginInfo(int infoNumber, LPSTR buffer, int length) {
    if (infoNumber == 0) return CopyText("00IN", buffer, length);
    if (infoNumber == 1)
        return CopyText("Piltrin WIC filter 1.1 (the system's WIC decoders)", buffer, length);
    if (infoNumber < 2) return 0;
    const std::vector<WicFormat>& formats = WicFormats();
    const size_t group = size_t(infoNumber - 2) / 2;
    const bool name = infoNumber % 2 == 1;
    if (formats.empty() && group == 0)
        return CopyText(name ? "PNG, GIF, TIFF and icon pictures" : "*.png;*.gif;*.tif;*.tiff;*.ico", buffer,
                        length);
    if (group >= formats.size()) return 0;
    return CopyText(name ? formats[group].name.c_str() : formats[group].patterns.c_str(), buffer, length);
}

// file is the handle of the file open for reading or, when its high word is
// not 0, a pointer to the file's first 2 KB.
int __stdcall IsSupported(LPCSTR, DWORD_PTR file) {
    uint8_t head[2048] = {};
    DWORD read = 0;
    if (HIWORD(file) != 0) {
        std::memcpy(head, reinterpret_cast<const void*>(file), sizeof(head));
        read = sizeof(head);
    } else {
        HANDLE handle = reinterpret_cast<HANDLE>(file);
        if (SetFilePointer(handle, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
            !ReadFile(handle, head, sizeof(head), &read, nullptr))
            return 0;
    }
    return HasWicSignature(head, read) || WicMatchesPattern(head, read) ? 1 : 0;
}

int __stdcall GetPictureInfo(LPCSTR source, LONG_PTR offset, unsigned int flags, void* record) {
    if (!record) return kWicInternalError;
    std::vector<uint8_t> bytes;
    WicInput input;
    int answer = MakeInput(source, offset, flags, &bytes, &input);
    WicFacts facts;
    if (answer == kWicOk) answer = WicReadFacts(input, &facts);
    if (answer != kWicOk) return answer;
    PictureInfo info = {};
    info.width = facts.width;
    info.height = facts.height;
    info.xDensity = static_cast<WORD>(facts.dpiX);
    info.yDensity = static_cast<WORD>(facts.dpiY);
    info.colorDepth = static_cast<short>(facts.bitsPerPixel);
    std::memcpy(record, &info, sizeof(info));
    return kWicOk;
}

int __stdcall GetPicture(LPCSTR source, LONG_PTR offset, unsigned int flags, HLOCAL* header, HLOCAL* pixels,
                         WicProgress progress, intptr_t userData) {
    return Decode(source, offset, flags, header, pixels, progress, userData, false);
}

int __stdcall GetPreview(LPCSTR source, LONG_PTR offset, unsigned int flags, HLOCAL* header, HLOCAL* pixels,
                         WicProgress progress, intptr_t userData) {
    return Decode(source, offset, flags, header, pixels, progress, userData, true);
}

}  // extern "C"
