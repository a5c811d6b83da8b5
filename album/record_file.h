// Buffered access to an open album file. Records are a few bytes each, so
// reading and writing them one system call at a time would dominate a load or
// save; these classes batch them. Neither owns the file handle.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "album/record_reader.h"

// A file handle that closes itself.
class ScopedFile {
public:
    explicit ScopedFile(HANDLE handle) : handle_(handle) {}
    ~ScopedFile() { Close(); }
    ScopedFile(const ScopedFile&) = delete;
    ScopedFile& operator=(const ScopedFile&) = delete;
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }
    // True when the handle was closed cleanly (or was never open).
    bool Close() {
        if (handle_ == INVALID_HANDLE_VALUE) return true;
        BOOL closed = CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        return closed != FALSE;
    }

private:
    HANDLE handle_;
};

// Opens an existing file for reading, without sharing.
inline HANDLE OpenForReading(const char* path) {
    return CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Reads a file through a RecordReader: the bytes from the file's current
// position to its end as it was when the reader was made.
class FileRecordSource : public RecordSource {
public:
    explicit FileRecordSource(HANDLE file);
    uint32_t ReadAt(uint64_t position, uint8_t* out, uint32_t size) override;

protected:
    HANDLE file_;
    uint64_t fileStart_ = 0;
    uint64_t fileEnd_ = 0;
};

class FileRecordReader : private FileRecordSource, public RecordReader {
public:
    explicit FileRecordReader(HANDLE file)
        : FileRecordSource(file), RecordReader(this, fileStart_, fileEnd_) {}
};

// Collects what is written and hands it to the file in large pieces. Once a
// write has failed every later one fails too, so one check after Flush tells
// whether every byte reached the file. limit (for tests) makes the writer
// behave like a disk that is full after that many bytes; without one, the
// process-wide limit of LimitRecordWrites applies.
class RecordWriter {
public:
    explicit RecordWriter(HANDLE file);
    RecordWriter(HANDLE file, uint64_t limit);
    RecordWriter(const RecordWriter&) = delete;
    RecordWriter& operator=(const RecordWriter&) = delete;

    bool Write(const void* data, uint32_t size);
    bool WriteU32(uint32_t value) { return Write(&value, sizeof value); }
    // Writes out what is buffered; true when every byte so far was written.
    bool Flush();
    bool Failed() const { return failed_; }

private:
    HANDLE file_;
    uint64_t limit_;
    uint64_t written_ = 0;
    std::vector<uint8_t> buffer_;
    bool failed_ = false;
};

// For tests: every writer made from now on behaves like a disk that is full
// after bytes (UINT64_MAX: no limit), so a whole save can be failed half-way.
void LimitRecordWrites(uint64_t bytes);
