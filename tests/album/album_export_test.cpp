#include "album/album_export.h"

#include <gtest/gtest.h>

#include <string>

#include "album/zub_album.h"
#include "tests/album/album_test_support.h"

namespace {
class ExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* sub : {"x", "y", "out", "x.d"})
            ASSERT_TRUE(CreateDirectoryA(File(sub).c_str(), nullptr));
    }
    std::string File(const std::string& name) const { return folder_ + name; }
    void Picture(const std::string& name, const std::string& content) {
        ASSERT_TRUE(WriteFileBytes(File(name), Bytes(content.begin(), content.end())));
    }
    std::string Content(const std::string& name) const {
        Bytes bytes = ReadFileBytes(File(name));
        return std::string(bytes.begin(), bytes.end());
    }
    TempDir dir_;
    std::string folder_ = StoredFolder(dir_.Path());
};
}  // namespace

TEST_F(ExportTest, ClashingNamesGetNumberedNamesCountedAcrossTheExport) {
    Picture("x\\a.jpg", "first");
    Picture("y\\a.jpg", "second");
    Picture("x\\b.JPEG", "third");
    Picture("y\\b.JPEG", "fourth");
    ZubAlbum album;
    album.AddPage(File("x\\a.jpg").c_str());
    album.AddPage(File("y\\a.jpg").c_str());
    album.AddPage(File("x\\b.JPEG").c_str());
    album.AddPage(File("y\\b.JPEG").c_str());
    album.SetZubModified(0);
    ASSERT_EQ(kExportDone, ExportAlbum(album, File("out\\").c_str(), 0));
    EXPECT_EQ("first", Content("out\\a.jpg"));
    EXPECT_EQ("second", Content("out\\G00001.jpg"));
    EXPECT_EQ("third", Content("out\\b.JPEG"));
    EXPECT_EQ("fourth", Content("out\\G00002.JPEG"));
    // A copy changes nothing in the album and leaves the sources.
    EXPECT_EQ(0, album.ZubModified());
    EXPECT_EQ(File("y\\a.jpg"), album.GetPagePath(1));
    EXPECT_TRUE(FileExists(File("y\\a.jpg")));
}

TEST_F(ExportTest, GeneratedNamesThatExistAreSkipped) {
    Picture("x\\a.jpg", "first");
    Picture("y\\a.jpg", "second");
    Picture("out\\G00001.jpg", "already there");
    ZubAlbum album;
    album.AddPage(File("x\\a.jpg").c_str());
    album.AddPage(File("y\\a.jpg").c_str());
    // A path inside the folder names the folder too.
    ASSERT_EQ(kExportDone, ExportAlbum(album, File("out\\anything.zub").c_str(), 0));
    EXPECT_EQ("already there", Content("out\\G00001.jpg"));
    EXPECT_EQ("second", Content("out\\G00002.jpg"));
}

TEST_F(ExportTest, AMoveMakesThePagesNameTheNewFiles) {
    Picture("x\\a.jpg", "first");
    Picture("y\\a.jpg", "second");
    ZubAlbum album;
    album.AddPage(File("x\\a.jpg").c_str());
    album.AddPage(File("y\\a.jpg").c_str());
    album.SetZubModified(0);
    ASSERT_EQ(kExportDone, ExportAlbum(album, File("out\\").c_str(), 1));
    EXPECT_EQ(File("out\\a.jpg"), album.GetPagePath(0));
    EXPECT_EQ(File("out\\G00001.jpg"), album.GetPagePath(1));
    EXPECT_STREQ("G00001.jpg", album.GetPageFileName(1));
    EXPECT_EQ(1, album.ZubModified());
    EXPECT_FALSE(FileExists(File("x\\a.jpg")));
    EXPECT_FALSE(FileExists(File("y\\a.jpg")));
    EXPECT_EQ("second", Content("out\\G00001.jpg"));
}

TEST_F(ExportTest, PicturesAlreadyInTheFolderAreLeftAlone) {
    Picture("out\\a.jpg", "here");
    ZubAlbum album;
    album.AddPage(File("OUT\\A.JPG").c_str());
    ASSERT_EQ(kExportDone, ExportAlbum(album, File("out\\").c_str(), 0));
    EXPECT_EQ("here", Content("out\\a.jpg"));
    EXPECT_FALSE(FileExists(File("out\\G00001.jpg")));
    ASSERT_EQ(kExportDone, ExportAlbum(album, File("out\\").c_str(), 1));
    EXPECT_EQ("here", Content("out\\a.jpg"));
}

TEST_F(ExportTest, AnEmptyAlbumTouchesNothing) {
    ZubAlbum album;
    EXPECT_EQ(kExportEmpty, ExportAlbum(album, File("out\\").c_str(), 1));
    EXPECT_EQ(0, album.ZubModified());
}

TEST_F(ExportTest, AMissingSourceStopsTheExportAndKeepsItsError) {
    Picture("x\\a.jpg", "first");
    Picture("x\\c.jpg", "third");
    ZubAlbum album;
    album.AddPage(File("x\\a.jpg").c_str());
    album.AddPage(File("x\\missing.jpg").c_str());
    album.AddPage(File("x\\c.jpg").c_str());
    SetLastError(0);
    EXPECT_EQ(kExportFailed, ExportAlbum(album, File("out\\").c_str(), 1));
    DWORD error = GetLastError();
    EXPECT_TRUE(error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) << error;
    EXPECT_EQ("first", Content("out\\a.jpg"));  // placed before the failure
    EXPECT_EQ(File("out\\a.jpg"), album.GetPagePath(0));
    EXPECT_FALSE(FileExists(File("out\\c.jpg")));  // never reached
    EXPECT_EQ(File("x\\c.jpg"), album.GetPagePath(2));
}

TEST_F(ExportTest, ExtensionsComeFromTheFileNameAlone) {
    Picture("x.d\\noext", "one");
    Picture("y\\noext", "two");
    ZubAlbum album;
    album.AddPage(File("x.d\\noext").c_str());
    album.AddPage(File("y\\noext").c_str());
    ASSERT_EQ(kExportDone, ExportAlbum(album, File("out\\").c_str(), 0));
    EXPECT_EQ("one", Content("out\\noext"));
    EXPECT_EQ("two", Content("out\\G00001"));
}

TEST_F(ExportTest, AMoveThatCannotRenameCopiesAndStillFollowsTheFile) {
    Picture("x\\a.jpg", "first");
    ZubAlbum album;
    album.AddPage(File("x\\a.jpg").c_str());
    // Held open without delete sharing, the file cannot be renamed, only read.
    HANDLE held = CreateFileA(File("x\\a.jpg").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    if (MoveFileA(File("x\\a.jpg").c_str(), File("x\\probe.jpg").c_str())) {
        CloseHandle(held);
        GTEST_SKIP() << "this file system renames open files";
    }
    EXPECT_EQ(kExportDone, ExportAlbum(album, File("out\\").c_str(), 1));
    CloseHandle(held);
    EXPECT_EQ("first", Content("out\\a.jpg"));
    EXPECT_EQ(File("out\\a.jpg"), album.GetPagePath(0));
}
