#include "image/picture_name.h"

#include <windows.h>

namespace {
// Walks path character by character (a lead byte and its trail byte count
// as one) and reports the last "." and the last "\".
void ScanPath(const char* path, const char** lastDot, const char** lastSeparator) {
    *lastDot = nullptr;
    *lastSeparator = nullptr;
    for (const char* p = path; *p;) {
        if (*p == '.') *lastDot = p;
        if (*p == '\\') *lastSeparator = p;
        if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1]) {
            p += 2;
        } else {
            ++p;
        }
    }
}
}  // namespace

const char* LoaderExtensionOf(const char* path) {
    const char* dot;
    const char* separator;
    ScanPath(path, &dot, &separator);
    return dot ? dot + 1 : nullptr;
}

const char* NameExtensionOf(const char* path) {
    const char* dot;
    const char* separator;
    ScanPath(path, &dot, &separator);
    if (dot && (!separator || separator < dot)) return dot + 1;
    return path + lstrlenA(path);
}

bool SameExtension(const char* extension, const char* wanted) {
    return extension && lstrcmpiA(extension, wanted) == 0;
}

bool IsOwnPictureExtension(const char* extension) {
    return SameExtension(extension, "jpg") || SameExtension(extension, "jpeg") ||
           SameExtension(extension, "pmp") || SameExtension(extension, "bmp");
}
