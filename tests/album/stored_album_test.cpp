// Albums written by the 32-bit program, kept as committed files: every
// flavour reads them and writes the same bytes again, so no word of the
// program's own size ever reaches a file.
#include "album/gfi_file.h"
#include "tests/album/album_test_support.h"

const uint8_t* EmbeddedFile(const char* name, size_t* size);

namespace {
Bytes Embedded(const char* name) {
    size_t size = 0;
    const uint8_t* data = EmbeddedFile(name, &size);
    EXPECT_NE(data, nullptr) << name;
    return data ? Bytes(data, data + size) : Bytes();
}
}  // namespace

// The files were written in these folders; an album records its own path and
// its pages relative to it, so the same folders give the same bytes.
TEST(StoredAlbum, ReadsAndSavesTheSameBytesAgain) {
    // The committed source file put back where it was written, the album saved
    // from it, and whether the source is a GFI file to import.
    // clang-format off
    struct Case { const char *folder, *source, *album; bool gfi; int pages; };
    const Case cases[] = {
        {"C:\\piltrin-data\\zub\\", "travel.zub", "travel.zub", false, 4},
        {"C:\\piltrin-data\\gfi\\", "mountain.gfi", "mountain.zub", true, 3},
    };  // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        const std::string source = std::string(c.folder) + c.source, saved = std::string(c.folder) + c.album;
        const Bytes expected = Embedded(c.album);
        ASSERT_FALSE(expected.empty());
        CreateDirectoryA("C:\\piltrin-data", nullptr);
        CreateDirectoryA(c.folder, nullptr);
        WriteFileBytes(source, Embedded(c.source));
        MessageCatcher messages;
        ZubAlbum album;
        EXPECT_EQ(1, c.gfi ? ImportGfi(album, source.c_str()) : album.LoadFile(source.c_str()));
        EXPECT_EQ(c.pages, album.PageCount());
        EXPECT_EQ(1, album.SaveFile(saved.c_str()));
        EXPECT_EQ(expected, ReadFileBytes(saved));
        EXPECT_TRUE(messages.shown.empty());
        for (const std::string& name : {source, saved}) DeleteFileA(name.c_str());
        RemoveDirectoryA(c.folder);
        RemoveDirectoryA("C:\\piltrin-data");
    }
}
