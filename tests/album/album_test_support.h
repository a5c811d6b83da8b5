// Helpers shared by the album tests: answering the record streams' message
// boxes, laying records out by hand, and reading a file through a reader.
#pragma once

#include <windows.h>

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

// True when needle occurs in haystack.
inline size_t FindBytes(const Bytes& haystack, const Bytes& needle, size_t from = 0) {
    if (needle.size() > haystack.size()) return std::string::npos;
    for (size_t i = from; i + needle.size() <= haystack.size(); ++i) {
        if (std::equal(needle.begin(), needle.end(), haystack.begin() + i)) return i;
    }
    return std::string::npos;
}

// The long, as-stored spelling of a folder path (temporary folders may be
// handed out in another case or as short names).
std::string StoredFolder(const std::string& folder);
