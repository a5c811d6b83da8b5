#include "app/shell_paths.h"

#include <windows.h>

#include <cstring>

#include "browse/file_utils.h"

void CutToFolder(char* folder, const char* path) {
    char cut[MAX_PATH + 1];
    lstrcpynA(cut, path, MAX_PATH);
    if (char* last = FindLastSeparator(cut)) last[1] = '\0';
    // cut has room for the separator; the folder takes it only if it fits.
    AddDirSeparator(cut);
    if (std::strlen(cut) < MAX_PATH) std::memcpy(folder, cut, std::strlen(cut) + 1);
}

const char* TitleFileName(const char* path) {
    const char* last = FindLastSeparator(path);
    return last && last > path ? last + 1 : nullptr;
}
