// Albums written by the 32-bit program, kept as committed files: every
// flavour reads them and writes the same bytes again, so no word of the
// program's own size ever reaches a file.
#include <gtest/gtest.h>

#include <string>

#include "album/gfi_file.h"
#include "album/zub_album.h"
#include "tests/album/album_test_support.h"

const uint8_t* EmbeddedFile(const char* name, size_t* size);

namespace {
Bytes Embedded(const char* name) {
    size_t size = 0;
    const uint8_t* data = EmbeddedFile(name, &size);
    EXPECT_NE(data, nullptr) << name;
    return data ? Bytes(data, data + size) : Bytes();
}

// The files were written in these folders; an album records its own path and
// its pages relative to it, so the same folders give the same bytes.
struct StoredCase {
    const char* folder;
    const char* source;  // the committed file put back where it was written
    const char* album;   // the album saved from it
    bool gfi;            // imported from a GFI file rather than opened
    int pages;
};
const StoredCase kStoredCases[] = {
    {"C:\\piltrin-data\\zub\\", "travel.zub", "travel.zub", false, 4},
    {"C:\\piltrin-data\\gfi\\", "mountain.gfi", "mountain.zub", true, 3},
};

class StoredAlbum : public ::testing::TestWithParam<StoredCase> {
protected:
    void SetUp() override {
        CreateDirectoryA("C:\\piltrin-data", nullptr);
        CreateDirectoryA(GetParam().folder, nullptr);
    }
    void TearDown() override {
        for (const char* name : {GetParam().source, GetParam().album}) DeleteFileA(Path(name).c_str());
        RemoveDirectoryA(GetParam().folder);
        RemoveDirectoryA("C:\\piltrin-data");
    }
    std::string Path(const char* name) const { return std::string(GetParam().folder) + name; }
};
}  // namespace

TEST_P(StoredAlbum, ReadsAndSavesTheSameBytesAgain) {
    const StoredCase& c = GetParam();
    const Bytes expected = Embedded(c.album);
    ASSERT_FALSE(expected.empty());
    WriteFileBytes(Path(c.source), Embedded(c.source));
    MessageCatcher messages;
    ZubAlbum album;
    ASSERT_EQ(1, c.gfi ? ImportGfi(album, Path(c.source).c_str()) : album.LoadFile(Path(c.source).c_str()));
    EXPECT_EQ(c.pages, album.PageCount());
    ASSERT_EQ(1, album.SaveFile(Path(c.album).c_str()));
    EXPECT_EQ(expected, ReadFileBytes(Path(c.album)));
    EXPECT_TRUE(messages.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(WrittenBy32BitProgram, StoredAlbum, ::testing::ValuesIn(kStoredCases));
