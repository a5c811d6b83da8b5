// Helpers shared by the album tests: answering the record streams' message
// boxes, laying records out by hand, and reading a file through a reader.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "browse/user_prompt.h"
#include "tests/support/test_files.h"

// Answers every message box with OK and keeps what it showed.
class MessageCatcher {
public:
    struct Shown {
        std::string text;
        std::string caption;
        UINT type;
    };
    MessageCatcher() {
        PromptAnswerer answerer;
        answerer.message = [this](HWND, const char* text, const char* caption, UINT type) {
            shown.push_back({text, caption, type});
            return IDOK;
        };
        SetPromptAnswerer(answerer);
    }
    ~MessageCatcher() { SetPromptAnswerer(PromptAnswerer()); }
    MessageCatcher(const MessageCatcher&) = delete;
    MessageCatcher& operator=(const MessageCatcher&) = delete;
    std::vector<Shown> shown;
};

// One file record: keyword word, size, body.
inline void PutRecord(Bytes& out, uint32_t keywordWord, const Bytes& body) {
    PutU32(out, keywordWord);
    PutU32(out, static_cast<uint32_t>(body.size()));
    PutBytes(out, body.data(), body.size());
}
inline Bytes U32Body(uint32_t value) {
    Bytes body;
    PutU32(body, value);
    return body;
}
// A text body with its terminator.
inline Bytes TextBody(const std::string& text) {
    Bytes body(text.begin(), text.end());
    body.push_back(0);
    return body;
}
// A path body: flag, text, terminator.
inline Bytes PathBody(uint32_t flag, const std::string& text) {
    Bytes body = U32Body(flag);
    PutText(body, text);
    body.push_back(0);
    return body;
}
inline void PutZubMagic(Bytes& out) {
    PutText(out, std::string("-ZUBFile V1.00-\r"));
}
inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) PutBytes(out, part.data(), part.size());
    return out;
}
inline Bytes Rec(uint32_t keywordWord, const Bytes& body) {
    Bytes out;
    PutRecord(out, keywordWord, body);
    return out;
}
inline Bytes Words(std::initializer_list<uint32_t> words) {
    Bytes out;
    for (uint32_t word : words) PutU32(out, word);
    return out;
}
// A .zub file laid out by hand: magic, header block, one block a page (the
// first marked 0xFFFF0001), both end markers. Unsized blocks say 0, as hand
// -made files may.
inline Bytes ZubBytes(const Bytes& header, const std::vector<Bytes>& pages, bool sized = true) {
    Bytes out;
    PutZubMagic(out);
    auto block = [&](uint32_t marker, const Bytes& records) {
        PutBytes(out, Words({marker, sized ? static_cast<uint32_t>(records.size()) : 0u}).data(), 8);
        PutBytes(out, records.data(), records.size());
    };
    block(0xFFFFFFFF, header);
    for (size_t i = 0; i < pages.size(); ++i) block(i ? 0xFFFFFFFF : 0xFFFF0001, pages[i]);
    PutBytes(out, Words({0xFFFF0000, 0xFFFF0000}).data(), 8);
    return out;
}

// True when needle occurs in haystack.
inline size_t FindBytes(const Bytes& haystack, const Bytes& needle, size_t from = 0) {
    if (needle.size() > haystack.size()) return std::string::npos;
    for (size_t i = from; i + needle.size() <= haystack.size(); ++i) {
        if (std::equal(needle.begin(), needle.end(), haystack.begin() + i)) return i;
    }
    return std::string::npos;
}

// Xorshift with a fixed seed, so every fuzz run damages the same files.
class Random {
public:
    explicit Random(uint32_t seed) : state_(seed) {}
    uint32_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    uint32_t Below(uint32_t bound) { return bound ? Next() % bound : 0; }

private:
    uint32_t state_;
};

// The long, as-stored spelling of a folder path (temporary folders may be
// handed out in another case or as short names).
std::string StoredFolder(const std::string& folder);

// The subject of most album tests: a fresh folder on disk, named as stored.
class AlbumDirTest : public ::testing::Test {
protected:
    std::string File(const std::string& name) const { return folder_ + name; }
    void Write(const std::string& name, const Bytes& bytes) {
        ASSERT_TRUE(WriteFileBytes(File(name), bytes));
    }
    void WriteText(const std::string& name, const std::string& text) {
        Write(name, Bytes(text.begin(), text.end()));
    }
    std::string Text(const std::string& name) const {
        const Bytes bytes = ReadFileBytes(File(name));
        return std::string(bytes.begin(), bytes.end());
    }
    TempDir dir_;
    std::string folder_ = StoredFolder(dir_.Path());
};
