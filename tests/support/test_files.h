// Test data made by the tests themselves: temporary folders, raw bytes and
// BMP files of every depth, written the way a Windows program would (the
// writers themselves are in byte_files.h).
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "tests/support/byte_files.h"

// How many of the processes running now keep answers true for.
int CountProcesses(const std::function<bool(const PROCESSENTRY32&)>& keep);

// A fresh folder under the temporary folder, removed with its files when the
// object goes away. Path() ends with "\".
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

// Up to maxEdits of: a bit flipped, a byte set, 0xFF or 0x00 set, the file
// cut, a byte inserted; half the positions fall in the first 60 bytes.
void Mutate(Bytes& file, std::mt19937& random, int maxEdits);

bool WriteFileBytes(const std::string& path, const Bytes& bytes);
Bytes ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);

bool WriteBmp(const std::string& path, int width, int height, int bits = 24, bool topDown = false,
              const PixelPattern& pattern = DistinctPixel);
