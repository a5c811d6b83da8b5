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

// This test program started again as a child process that runs one test
// (filter: its full name), which finds argument in the environment variable
// named and calls TellParentReady when it has come as far as the parent
// waits for. The child is ended when the object goes.
class TestChild {
public:
    TestChild(const std::string& test, const char* variable, const std::string& argument);
    ~TestChild();
    TestChild(const TestChild&) = delete;
    TestChild& operator=(const TestChild&) = delete;
    bool WaitReady(DWORD milliseconds) const;
    // Ends the child at once (TerminateProcess) and waits until it is gone.
    void Kill();

private:
    PROCESS_INFORMATION process_{};
    HANDLE ready_ = nullptr;
};
void TellParentReady();

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
// cut, a byte inserted; half the positions fall in the first 60 bytes. With
// a dictionary of words that mean something in the format (keywords, sizes
// at the edges, markers), also runs removed or repeated elsewhere and words
// written over a 4-byte boundary or inserted.
void Mutate(Bytes& file, std::mt19937& random, int maxEdits, const std::vector<Bytes>& dictionary = {});

// The calls a progress callback received. Record finds its log in the user
// data (Data()); Latest records into the log made last, so that a test can
// hand any user data through and see it arrive. From call stopAfter + 1 on
// the callback answers answer ("stop" when not 0), before that 0.
struct ProgressCall {
    int done, total;
    intptr_t userData;
    DWORD thread;
};
class ProgressLog {
public:
    explicit ProgressLog(int stopAfter = -1, int answer = 1) : stopAfter_(stopAfter), answer_(answer) {
        latest_ = this;
    }
    ~ProgressLog() {
        if (latest_ == this) latest_ = nullptr;
    }
    ProgressLog(const ProgressLog&) = delete;
    ProgressLog& operator=(const ProgressLog&) = delete;
    intptr_t Data() { return reinterpret_cast<intptr_t>(this); }
    static int __stdcall Record(int done, int total, intptr_t log) {
        return reinterpret_cast<ProgressLog*>(log)->Take(done, total, log);
    }
    static int __stdcall Latest(int done, int total, intptr_t userData) {
        return latest_->Take(done, total, userData);
    }
    std::vector<ProgressCall> calls;

private:
    int Take(int done, int total, intptr_t userData) {
        calls.push_back(ProgressCall{done, total, userData, GetCurrentThreadId()});
        return stopAfter_ >= 0 && int(calls.size()) > stopAfter_ ? answer_ : 0;
    }
    int stopAfter_, answer_;
    static inline ProgressLog* latest_ = nullptr;
};

// The folder of the running test program, with a trailing "\".
std::string ProgramFolderPath();

bool WriteFileBytes(const std::string& path, const Bytes& bytes);
Bytes ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);

// Every pixel the one colour.
inline PixelPattern Flat(Rgb colour) {
    return [colour](int, int) { return colour; };
}
// Pixel (x, y) of a DIB as seen on screen (row 0 at the top), through the
// colour table below 16 bits and as 5-5-5 at 16 bits: the one pixel reader
// of the suite.
Rgb PixelAt(const BITMAPINFOHEADER* header, const BYTE* pixels, int x, int y);
// Every channel within tolerance.
bool Near(Rgb a, Rgb b, int tolerance = 6);

bool WriteBmp(const std::string& path, int width, int height, int bits = 24, bool topDown = false,
              const PixelPattern& pattern = DistinctPixel);
