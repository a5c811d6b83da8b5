#include "album/album_export.h"

#include <utility>

#include "tests/album/album_test_support.h"

namespace {
class ExportTest : public AlbumDirTest {
protected:
    void SetUp() override { MakeDirs({"x", "y", "out", "x.d"}); }
    // Writes each picture (a null content writes none) and makes it a page.
    void AddPages(const std::vector<std::pair<std::string, const char*>>& pictures) {
        for (const auto& picture : pictures) {
            if (picture.second) WriteText(picture.first, picture.second);
            album_.AddPage(File(picture.first).c_str());
        }
        album_.SetZubModified(0);
    }
    // The files' contents, one word each ("-" for a missing file).
    std::string Texts(std::initializer_list<const char*> names) const {
        std::string out;
        for (const char* name : names)
            out += (out.empty() ? "" : " ") + (FileExists(File(name)) ? Text(name) : "-");
        return out;
    }
    ZubAlbum album_;
};
}  // namespace

// A copy changes nothing in the album and leaves the sources; a move makes
// the pages name the new files.
TEST_F(ExportTest, ClashingNamesGetNumberedNamesCountedAcrossTheExportAndAMoveMakesThePagesFollow) {
    AddPages(
        {{"x\\a.jpg", "first"}, {"y\\a.jpg", "second"}, {"x\\b.JPEG", "third"}, {"y\\b.JPEG", "fourth"}});
    ASSERT_EQ(kExportDone, ExportAlbum(album_, File("out\\").c_str(), 0));
    EXPECT_EQ("first second third fourth",
              Texts({"out\\a.jpg", "out\\G00001.jpg", "out\\b.JPEG", "out\\G00002.JPEG"}));
    EXPECT_EQ(0, album_.ZubModified());
    EXPECT_EQ(File("y\\a.jpg"), album_.GetPagePath(1));
    EXPECT_EQ("first second third fourth", Texts({"x\\a.jpg", "y\\a.jpg", "x\\b.JPEG", "y\\b.JPEG"}));
    MakeDirs({"moved"});
    ASSERT_EQ(kExportDone, ExportAlbum(album_, File("moved\\").c_str(), 1));
    EXPECT_EQ(File("moved\\a.jpg"), album_.GetPagePath(0));
    EXPECT_EQ(File("moved\\G00001.jpg"), album_.GetPagePath(1));
    EXPECT_STREQ("G00001.jpg", album_.GetPageFileName(1));
    EXPECT_EQ(1, album_.ZubModified());
    EXPECT_EQ("- - second", Texts({"x\\a.jpg", "y\\a.jpg", "moved\\G00001.jpg"}));
}

TEST_F(ExportTest, GeneratedNamesThatExistAreSkippedAndExtensionsComeFromTheNameAlone) {
    AddPages({{"x\\a.jpg", "first"}, {"y\\a.jpg", "second"}, {"x.d\\noext", "one"}, {"y\\noext", "two"}});
    WriteText("out\\G00001.jpg", "already there");
    // A path inside the folder names the folder too.
    ASSERT_EQ(kExportDone, ExportAlbum(album_, File("out\\anything.zub").c_str(), 0));
    EXPECT_EQ("already there second one two",
              Texts({"out\\G00001.jpg", "out\\G00002.jpg", "out\\noext", "out\\G00003"}));
}

TEST_F(ExportTest, PicturesAlreadyInTheFolderAreLeftAloneAndAnEmptyAlbumTouchesNothing) {
    ZubAlbum empty;
    EXPECT_EQ(kExportEmpty, ExportAlbum(empty, File("out\\").c_str(), 1));
    EXPECT_EQ(0, empty.ZubModified());
    WriteText("out\\a.jpg", "here");
    AddPages({{"OUT\\A.JPG", nullptr}});
    for (int move : {0, 1}) {
        ASSERT_EQ(kExportDone, ExportAlbum(album_, File("out\\").c_str(), move)) << move;
        EXPECT_EQ("here -", Texts({"out\\a.jpg", "out\\G00001.jpg"})) << move;
    }
}

TEST_F(ExportTest, AMissingSourceStopsTheExportAndKeepsItsError) {
    AddPages({{"x\\a.jpg", "first"}, {"x\\missing.jpg", nullptr}, {"x\\c.jpg", "third"}});
    SetLastError(0);
    EXPECT_EQ(kExportFailed, ExportAlbum(album_, File("out\\").c_str(), 1));
    const DWORD error = GetLastError();
    EXPECT_TRUE(error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) << error;
    EXPECT_EQ("first -", Texts({"out\\a.jpg", "out\\c.jpg"}));  // placed before the failure; never reached
    EXPECT_EQ(File("out\\a.jpg"), album_.GetPagePath(0));
    EXPECT_EQ(File("x\\c.jpg"), album_.GetPagePath(2));
}

// A name that does not fit the longer folder stops a move there: what came
// before has moved and is followed, nothing after it is lost.
TEST_F(ExportTest, ANameTooLongForTheFolderStopsTheExportThere) {
    const std::string longer = std::string(24, 'd') + "\\";
    MakeDirs({"s", longer.c_str()});
    const std::string tooLong = "s\\" + std::string(259 - File("s\\").size() - 4, 'L') + ".jpg";
    AddPages({{"s\\表.jpg", "first"}, {tooLong, "second"}, {"s\\t.jpg", "third"}});
    EXPECT_EQ(kExportFailed, ExportAlbum(album_, File(longer).c_str(), 1));
    EXPECT_EQ(File(longer + "表.jpg"), album_.GetPagePath(0));
    for (const std::string& kept : {tooLong, std::string("s\\t.jpg")})
        EXPECT_TRUE(FileExists(File(kept))) << kept;
    EXPECT_FALSE(FileExists(File(longer + "t.jpg")));
}

TEST_F(ExportTest, AMoveThatCannotRenameCopiesAndStillFollowsTheFile) {
    AddPages({{"x\\a.jpg", "first"}});
    // Held open without delete sharing, the file cannot be renamed, only read.
    ScopedFile held(CreateFileA(File("x\\a.jpg").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.Valid());
    if (MoveFileA(File("x\\a.jpg").c_str(), File("x\\probe.jpg").c_str()))
        GTEST_SKIP() << "this file system renames open files";
    EXPECT_EQ(kExportDone, ExportAlbum(album_, File("out\\").c_str(), 1));
    held.Close();
    EXPECT_EQ("first", Text("out\\a.jpg"));
    EXPECT_EQ(File("out\\a.jpg"), album_.GetPagePath(0));
}
