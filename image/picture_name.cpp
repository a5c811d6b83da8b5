#include "image/picture_name.h"

#include <windows.h>

#include "browse/file_utils.h"

const char* LoaderExtensionOf(const char* path) {
    // A lead byte and its trail byte count as one character.
    const char* dot = nullptr;
    for (const char* p = path; *p; p += IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] ? 2 : 1) {
        if (*p == '.') dot = p;
    }
    return dot ? dot + 1 : nullptr;
}

// The program's one comparison of names: lstrcmpiA would ask the locale's
// collation for every name of a folder being listed.
bool SameExtension(const char* extension, const char* wanted) {
    return extension && SamePathText(extension, wanted);
}

bool IsOwnPictureExtension(const char* extension) {
    return SameExtension(extension, "jpg") || SameExtension(extension, "jpeg") ||
           SameExtension(extension, "pmp") || SameExtension(extension, "bmp");
}
