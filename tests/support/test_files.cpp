#include "tests/support/test_files.h"

#include <cstdio>

TempDir::TempDir() {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    static unsigned counter = 0;
    for (;;) {
        char name[MAX_PATH];
        wsprintfA(name, "%spiltrin-test-%lu-%u\\", base, GetCurrentProcessId(), ++counter);
        if (CreateDirectoryA(name, nullptr)) {
            path_ = name;
            return;
        }
    }
}

namespace {
void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            std::string full = folder + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(full + "\\");
            } else {
                SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(full.c_str());
            }
        } while (FindNextFileA(find, &found));
        FindClose(find);
    }
    RemoveDirectoryA(folder.c_str());
}
}  // namespace

TempDir::~TempDir() {
    RemoveTree(path_);
}

bool WriteFileBytes(const std::string& path, const Bytes& bytes) {
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok =
        bytes.empty() || WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

Bytes ReadFileBytes(const std::string& path) {
    Bytes bytes;
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    DWORD size = GetFileSize(file, nullptr);
    bytes.resize(size);
    DWORD read = 0;
    if (size) ReadFile(file, bytes.data(), size, &read, nullptr);
    bytes.resize(read);
    CloseHandle(file);
    return bytes;
}

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void PutU8(Bytes& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
}
void PutU16(Bytes& out, uint32_t value) {
    PutU8(out, value);
    PutU8(out, value >> 8);
}
void PutU32(Bytes& out, uint32_t value) {
    PutU16(out, value);
    PutU16(out, value >> 16);
}
void PutBytes(Bytes& out, const void* data, size_t size) {
    auto bytes = static_cast<const uint8_t*>(data);
    out.insert(out.end(), bytes, bytes + size);
}
void PutText(Bytes& out, const std::string& text) {
    PutBytes(out, text.data(), text.size());
}

Rgb DistinctPixel(int x, int y) {
    return Rgb{static_cast<uint8_t>(40 * x + 10), static_cast<uint8_t>(50 * y + 20),
               static_cast<uint8_t>(200 - 30 * x - 7 * y)};
}

Rgb Quantise555(Rgb c) {
    auto q = [](uint8_t v) { return static_cast<uint8_t>(((v >> 3) << 3) | (v >> 5)); };
    return Rgb{q(c.r), q(c.g), q(c.b)};
}

Bytes MakeBmp(int width, int height, int bits, bool topDown, const PixelPattern& pattern) {
    const int stride = ((bits * width + 31) / 32) * 4;
    const int colours = bits < 16 ? (1 << bits) : 0;
    const uint32_t offBits = 54 + colours * 4;
    Bytes out;
    PutU16(out, 0x4D42);
    PutU32(out, offBits + stride * height);
    PutU16(out, 0);
    PutU16(out, 0);
    PutU32(out, offBits);
    PutU32(out, 40);
    PutU32(out, width);
    PutU32(out, topDown ? -height : height);
    PutU16(out, 1);
    PutU16(out, bits);
    PutU32(out, 0);
    PutU32(out, stride * height);
    PutU32(out, 2835);
    PutU32(out, 2835);
    PutU32(out, 0);
    PutU32(out, 0);
    for (int i = 0; i < colours; ++i) {
        uint8_t grey = static_cast<uint8_t>(colours > 1 ? i * 255 / (colours - 1) : 0);
        PutU8(out, grey);
        PutU8(out, grey);
        PutU8(out, grey);
        PutU8(out, 0);
    }
    for (int row = 0; row < height; ++row) {
        const int y = topDown ? row : height - 1 - row;
        Bytes line(stride, 0);
        for (int x = 0; x < width; ++x) {
            if (bits < 16) {
                const int index = (x + y * width) % colours;
                const int bitPos = x * bits;
                line[bitPos / 8] |= static_cast<uint8_t>(index << (8 - bits - bitPos % 8));
                continue;
            }
            Rgb c = pattern(x, y);
            if (bits == 16) {
                uint16_t v = static_cast<uint16_t>(((c.r >> 3) << 10) | ((c.g >> 3) << 5) | (c.b >> 3));
                line[x * 2] = static_cast<uint8_t>(v);
                line[x * 2 + 1] = static_cast<uint8_t>(v >> 8);
            } else {
                const int n = bits / 8;
                line[x * n] = c.b;
                line[x * n + 1] = c.g;
                line[x * n + 2] = c.r;
            }
        }
        PutBytes(out, line.data(), line.size());
    }
    return out;
}

bool WriteBmp(const std::string& path, int width, int height, int bits, bool topDown,
              const PixelPattern& pattern) {
    return WriteFileBytes(path, MakeBmp(width, height, bits, topDown, pattern));
}
