// What every fuzz target shares: the seed list each target writes, and a
// RecordReader source that hands the input over in small pieces, so that
// the buffered path of a reader is fuzzed as well as the in-memory one.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "album/record_reader.h"
#include "tests/support/byte_files.h"

// The target's seed corpus, made with the tests' writers (seeds_main.cpp
// writes it; each target defines it).
std::vector<Bytes> FuzzSeeds();

// Stops the run when a promise of the code under test is broken; libFuzzer
// keeps the input like any crash.
#define FUZZ_ASSERT(condition)              \
    do {                                    \
        if (!(condition)) __builtin_trap(); \
    } while (0)

// Serves data at most step bytes a call, as a file read in pieces would.
class SlicedSource : public RecordSource {
public:
    SlicedSource(const uint8_t* data, size_t size, uint32_t step) : data_(data), size_(size), step_(step) {}
    uint32_t ReadAt(uint64_t position, uint8_t* out, uint32_t size) override {
        if (position >= size_) return 0;
        const uint32_t take = uint32_t(std::min<uint64_t>({size, step_, size_ - position}));
        std::memcpy(out, data_ + position, take);
        return take;
    }

private:
    const uint8_t* data_;
    size_t size_;
    uint32_t step_;
};
