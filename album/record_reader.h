// Bounded reading of album and GFI bytes, from memory or from a source that
// fills a buffer (an open file, record_file.h). Records are a few bytes
// each, so reading them one system call at a time would dominate a load;
// the reader takes the bytes in large pieces. No Windows header: the .zub
// and GFI cores read through it and are fuzzed natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

// Where a RecordReader's bytes come from when they are not all in memory.
class RecordSource {
public:
    virtual ~RecordSource() = default;
    // Reads up to size bytes at position into out; how many arrived (0 at
    // the end or on failure).
    virtual uint32_t ReadAt(uint64_t position, uint8_t* out, uint32_t size) = 0;
};

// Reads from a position to an end fixed when the reader is made. Every read
// or skip is checked against the bytes left, so a size taken from the data
// can be bounded before anything is allocated.
class RecordReader {
public:
    // Over size bytes in memory, which outlive the reader.
    RecordReader(const uint8_t* data, size_t size);
    // Through source, from position up to end.
    RecordReader(RecordSource* source, uint64_t position, uint64_t end);
    RecordReader(const RecordReader&) = delete;
    RecordReader& operator=(const RecordReader&) = delete;

    // False (and the position moved to the end) when fewer than size bytes
    // are left.
    bool Read(void* out, uint32_t size);
    bool ReadU32(uint32_t& value) {
        // Most words lie inside the buffer: take them without the general path.
        uint64_t offset = position_ - viewStart_;
        if (position_ >= viewStart_ && offset + 4 <= viewLength_) {
            std::memcpy(&value, view_ + offset, 4);
            position_ += 4;
            return true;
        }
        return Read(&value, sizeof value);
    }
    // Moves forward; false (at the end) when fewer than size bytes are left.
    bool Skip(uint32_t size);
    // Moves to an absolute position; reads up to size bytes from there into
    // out without moving the position; the number of bytes read.
    uint32_t PeekAt(uint64_t position, void* out, uint32_t size);

    // Moves to an absolute position (at most the end).
    void SeekTo(uint64_t position) { position_ = position < end_ ? position : end_; }
    uint64_t Remaining() const { return end_ - position_; }
    uint64_t Position() const { return position_; }

private:
    bool Fill();

    RecordSource* source_ = nullptr;
    uint64_t position_ = 0;
    uint64_t end_ = 0;
    std::vector<uint8_t> buffer_;
    // The bytes at hand: the memory given, or the buffer last filled.
    const uint8_t* view_ = nullptr;
    uint64_t viewStart_ = 0;
    uint64_t viewLength_ = 0;
};
