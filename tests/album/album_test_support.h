// Helpers shared by the album tests, which take GoogleTest, the album and the
// byte writers from here too: answering the record streams' message boxes,
// laying records out by hand, and an album in a fresh folder.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <tuple>
#include <vector>

#include "album/zub_album.h"
#include "browse/file_utils.h"
#include "browse/user_prompt.h"
#include "tests/support/test_files.h"

// Answers every message box with OK and keeps what it showed.
class MessageCatcher {
public:
    using Shown = std::tuple<std::string, std::string, UINT>;  // text, caption, type
    MessageCatcher() {
        PromptAnswerer answerer;
        answerer.message = [this](HWND, const char* text, const char* caption, UINT type) {
            shown.emplace_back(text, caption, type);
            return IDOK;
        };
        SetPromptAnswerer(answerer);
    }
    ~MessageCatcher() { SetPromptAnswerer(PromptAnswerer()); }
    MessageCatcher(const MessageCatcher&) = delete;
    MessageCatcher& operator=(const MessageCatcher&) = delete;
    std::vector<Shown> shown;
};

// Where needle first occurs in haystack, or npos.
inline size_t FindBytes(const Bytes& haystack, const Bytes& needle) {
    const auto at = std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end());
    return at == haystack.end() ? std::string::npos : static_cast<size_t>(at - haystack.begin());
}
inline bool Holds(const Bytes& haystack, const Bytes& needle) {
    return FindBytes(haystack, needle) != std::string::npos;
}

// An album as one line, so that one comparison covers every field: title,
// cover, then each page's path (the folder given written as "~\") with its
// comment, note, orientation and mark where they are set.
inline std::string Describe(const ZubDocument& album, const std::string& folder) {
    const auto* full = dynamic_cast<const ZubAlbum*>(&album);
    std::string out = std::string(album.GetTitle()) + " @" + std::to_string(album.CoverIndex());
    for (int i = 0; i < album.PageCount(); ++i) {
        std::string path = album.GetPagePath(i);
        if (!folder.empty() && path.compare(0, folder.size(), folder) == 0)
            path.replace(0, folder.size(), "~\\");
        out += " | " + path;
        if (*album.GetPageComment(i)) out += std::string(" c:") + album.GetPageComment(i);
        if (full && *full->GetPageNote(i)) out += std::string(" n:") + full->GetPageNote(i);
        if (full && full->GetPageOrientation(i)) out += " o:" + std::to_string(full->GetPageOrientation(i));
        if (album.GetPageMark(i)) out += " m:" + std::to_string(album.GetPageMark(i));
    }
    return out;
}

// The long, as-stored spelling of a folder path (temporary folders may be
// handed out in another case or as short names).
inline std::string StoredFolder(const std::string& folder) {
    char out[MAX_PATH];
    if (!GetLongFullPath(folder.substr(0, folder.size() - 1).c_str(), out, nullptr)) return folder;
    return std::string(out) + "\\";
}

// The subject of most album tests: a fresh folder on disk, named as stored.
class AlbumDirTest : public ::testing::Test {
protected:
    std::string File(const std::string& name) const { return folder_ + name; }
    void Write(const std::string& name, const Bytes& bytes) {
        ASSERT_TRUE(WriteFileBytes(File(name), bytes));
    }
    void WriteText(const std::string& name, const std::string& text) { Write(name, Chars(text)); }
    void MakeDirs(std::initializer_list<const char*> names) {
        for (const char* name : names) ASSERT_TRUE(CreateDirectoryA(File(name).c_str(), nullptr)) << name;
    }
    std::string Text(const std::string& name) const {
        const Bytes bytes = ReadFileBytes(File(name));
        return std::string(bytes.begin(), bytes.end());
    }
    TempDir dir_;
    std::string folder_ = StoredFolder(dir_.Path());
};
