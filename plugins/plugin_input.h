// What every plug-in built here does with the interface's file input: read
// the file from the given offset on, whole, into memory.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

// The bytes of path from offset to its end; false when they cannot be read.
inline bool ReadFileFrom(const char* path, LONG_PTR offset, std::vector<uint8_t>* bytes) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD size = GetFileSize(file, nullptr);
    bool ok = size != INVALID_FILE_SIZE && offset >= 0 && static_cast<DWORD>(offset) <= size &&
              SetFilePointer(file, offset, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER;
    if (ok) {
        bytes->resize(size - static_cast<DWORD>(offset));
        DWORD read = 0;
        ok = bytes->empty() ||
             (ReadFile(file, bytes->data(), static_cast<DWORD>(bytes->size()), &read, nullptr) &&
              read == bytes->size());
    }
    CloseHandle(file);
    return ok;
}
