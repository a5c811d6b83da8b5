#include "tests/support/test_files.h"

#include <algorithm>
#include <cstdlib>

#include "image/dib_image.h"

TempDir::TempDir() {
    char base[MAX_PATH], name[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    static unsigned counter = 0;
    do {
        wsprintfA(name, "%spiltrin-test-%lu-%u\\", base, GetCurrentProcessId(), ++counter);
    } while (!CreateDirectoryA(name, nullptr));
    path_ = name;
}

static void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "*").c_str(), &found);
    for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &found)) {
        const std::string name = found.cFileName, full = folder + name;
        if (name == "." || name == "..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            RemoveTree(full + "\\");
        } else {
            SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(full.c_str());
        }
    }
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
    RemoveDirectoryA(folder.c_str());
}

TempDir::~TempDir() {
    // A folder dialog makes the folder it shows the current directory, which
    // cannot be removed: the tests step out of it first.
    char current[MAX_PATH];
    const DWORD length = GetCurrentDirectoryA(MAX_PATH, current);
    const std::string here = std::string(length > 0 && length < MAX_PATH ? current : "") + "\\";
    if (here.size() >= path_.size() && lstrcmpiA(here.substr(0, path_.size()).c_str(), path_.c_str()) == 0) {
        GetTempPathA(MAX_PATH, current);
        SetCurrentDirectoryA(current);
    }
    RemoveTree(path_);
}

bool WriteFileBytes(const std::string& path, const Bytes& bytes) {
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = bytes.empty() || WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

Bytes ReadFileBytes(const std::string& path) {
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Bytes();
    Bytes bytes(GetFileSize(file, nullptr));
    DWORD read = 0;
    if (!bytes.empty()) ReadFile(file, bytes.data(), DWORD(bytes.size()), &read, nullptr);
    bytes.resize(read);
    CloseHandle(file);
    return bytes;
}

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool WriteBmp(const std::string& path, int width, int height, int bits, bool topDown,
              const PixelPattern& pattern) {
    return WriteFileBytes(path, MakeBmp(width, height, bits, topDown, pattern));
}

void Mutate(Bytes& file, std::mt19937& random, int maxEdits, const std::vector<Bytes>& dictionary) {
    for (int e = 1 + int(random() % maxEdits); e > 0 && !file.empty(); --e) {
        const size_t at = random() % (random() % 2 ? std::min<size_t>(60, file.size()) : file.size());
        const uint32_t kind = random() % (dictionary.empty() ? 5 : 9);
        if (kind == 0) file[at] ^= uint8_t(1u << (random() % 8));
        if (kind == 1) file[at] = uint8_t(random());
        if (kind == 2) file[at] = random() % 2 ? 0xFF : 0x00;
        if (kind == 3) file.resize(at + 1);
        if (kind == 4) file.insert(file.begin() + at, uint8_t(random()));
        if (kind == 5)
            file.erase(file.begin() + at, file.begin() + std::min(file.size(), at + 1 + random() % 12));
        if (kind == 6) {
            const Bytes run(file.begin() + at, file.begin() + std::min(file.size(), at + random() % 16));
            file.insert(file.begin() + random() % file.size(), run.begin(), run.end());
        }
        if (kind < 7) continue;
        const Bytes& word = dictionary[random() % dictionary.size()];
        if (kind == 7)
            for (size_t b = 0, w = at & ~size_t{3}; b < word.size() && w + b < file.size(); ++b)
                file[w + b] = word[b];
        if (kind == 8) file.insert(file.begin() + at, word.begin(), word.end());
    }
}

int CountProcesses(const std::function<bool(const PROCESSENTRY32&)>& keep) {
    int count = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        count += keep(entry);
    CloseHandle(snapshot);
    return count;
}

bool Near(Rgb a, Rgb b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}

std::string ProgramFolderPath() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

namespace {
constexpr char kReadyVariable[] = "PILTRIN_TEST_CHILD_READY";
}

TestChild::TestChild(const std::string& test, const char* variable, const std::string& argument) {
    static LONG children = 0;
    char name[64];
    wsprintfA(name, "PiltrinTestChild-%lu-%ld", GetCurrentProcessId(), InterlockedIncrement(&children));
    ready_ = CreateEventA(nullptr, TRUE, FALSE, name);
    char program[MAX_PATH];
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    std::string line = "\"" + std::string(program) + "\" --gtest_filter=" + test;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    SetEnvironmentVariableA(variable, argument.c_str());
    SetEnvironmentVariableA(kReadyVariable, name);
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process_))
        process_ = PROCESS_INFORMATION{};
    SetEnvironmentVariableA(variable, nullptr);
    SetEnvironmentVariableA(kReadyVariable, nullptr);
}

TestChild::~TestChild() {
    Kill();
    if (process_.hThread) CloseHandle(process_.hThread);
    if (process_.hProcess) CloseHandle(process_.hProcess);
    if (ready_) CloseHandle(ready_);
}

bool TestChild::WaitReady(DWORD milliseconds) const {
    HANDLE waits[2] = {ready_, process_.hProcess};
    return process_.hProcess && WaitForMultipleObjects(2, waits, FALSE, milliseconds) == WAIT_OBJECT_0;
}

void TestChild::Kill() {
    if (!process_.hProcess) return;
    TerminateProcess(process_.hProcess, 9);
    WaitForSingleObject(process_.hProcess, 30000);
}

void TellParentReady() {
    char name[64];
    if (!GetEnvironmentVariableA(kReadyVariable, name, sizeof name)) return;
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, name);
    if (ready) SetEvent(ready), CloseHandle(ready);
}

Rgb PixelAt(const BITMAPINFOHEADER* header, const BYTE* pixels, int x, int y) {
    const int bits = header->biBitCount, stored = header->biHeight < 0 ? y : DibRows(*header) - 1 - y;
    const BYTE* row = pixels + size_t(DibStride(bits, header->biWidth)) * stored;
    const auto* table =
        reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const BYTE*>(header) + header->biSize);
    if (bits <= 8) {
        const int perByte = 8 / bits, shift = bits * (perByte - 1 - x % perByte);
        const RGBQUAD q = table[(row[x / perByte] >> shift) & ((1 << bits) - 1)];
        return Rgb{q.rgbRed, q.rgbGreen, q.rgbBlue};
    }
    if (bits == 16) {
        const unsigned v = row[2 * x] | row[2 * x + 1] << 8;
        auto expand = [](unsigned c) { return uint8_t(c << 3 | c >> 2); };
        return Rgb{expand(v >> 10 & 31), expand(v >> 5 & 31), expand(v & 31)};
    }
    const BYTE* p = row + bits / 8 * x;
    return Rgb{p[2], p[1], p[0]};
}
