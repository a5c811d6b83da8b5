#include "app/shell_paths.h"

#include <windows.h>

#include "browse/file_utils.h"

void CutToFolder(char* folder, const char* path) {
    lstrcpynA(folder, path, MAX_PATH);
    if (char* last = FindLastSeparator(folder)) last[1] = '\0';
    AddDirSeparator(folder);
}

const char* TitleFileName(const char* path) {
    const char* last = FindLastSeparator(path);
    return last && last > path ? last + 1 : nullptr;
}
