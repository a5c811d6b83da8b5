#include "tests/album/album_test_support.h"

#include "browse/file_utils.h"

std::string StoredFolder(const std::string& folder) {
    std::string withoutSeparator = folder.substr(0, folder.size() - 1);
    char out[MAX_PATH];
    if (!GetLongFullPath(withoutSeparator.c_str(), out, nullptr)) return folder;
    return std::string(out) + "\\";
}
