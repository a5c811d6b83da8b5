#include "album/gfi_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "album/album_memory.h"
#include "album/zub_album.h"
#include "tests/album/album_test_support.h"

namespace {
struct Section {
    int number;
    std::vector<std::string> lines;
};

// A GFI file laid out as the format writes it, CR LF after every line.
std::string GfiText(const std::string& title, int titleNumber, int count,
                    const std::vector<Section>& sections) {
    std::string text = "--- GFI File Ver1.0 ---\r\n\r\n<Main>\r\nDir = C:\\somewhere\r\n";
    text += "Title =" + title + "\r\n";
    text += "GrpahicTitle = " + std::to_string(titleNumber) + "\r\n";
    text += "FlagOfNoContent = 0\r\nNumberOfGFIs = " + std::to_string(count) + "\r\nNoContentNo = 0\r\n\r\n";
    for (const Section& section : sections) {
        char head[32];
        std::snprintf(head, sizeof head, "<File No =%03d>\r\n", section.number);
        text += head;
        for (const std::string& line : section.lines) text += line + "\r\n";
    }
    return text;
}

std::vector<std::string> NamedLines(const std::string& name) {
    return {"FileName =" + name, "nFileName = 5", "PicType = 1", "Width = 10", "Height = 20", ""};
}

using GfiTest = AlbumDirTest;
using GfiFuzz = AlbumDirTest;
}  // namespace

TEST_F(GfiTest, TheTitleNumberPicksTheCoverPage) {
    WriteText(
        "a.gfi",
        GfiText("  Trip", 3, 3,
                {{1, NamedLines("one.jpg")}, {2, NamedLines("two.jpg")}, {3, NamedLines("three.jpg")}}));
    ZubAlbum album;
    album.AddPage("C:\\old.jpg");
    ASSERT_EQ(1, ImportGfi(album, File("a.gfi").c_str()));
    ASSERT_EQ(3, album.PageCount());
    EXPECT_EQ(2, album.CoverIndex());
    EXPECT_STREQ("Trip", album.GetTitle());  // blanks after "=" dropped
    EXPECT_EQ(File("one.jpg"), album.GetPagePath(0));
    EXPECT_STREQ("three.jpg", album.GetPageFileName(2));
    EXPECT_EQ(File("a.gfi"), album.GetFilePath());
    EXPECT_EQ(0, album.ZubModified());
    char cover[MAX_PATH] = "";
    EXPECT_EQ(1, PeekGfiFile(File("a.gfi").c_str(), cover));
    EXPECT_EQ(File("three.jpg"), cover);
}

TEST_F(GfiTest, TheFullNameWinsInTheImportAndTheRelativeNameInThePeek) {
    WriteText("b.gfi",
              GfiText("T", 1, 1,
                      {{1, {"FileName =rel.jpg", "FileFullName =D:\\full\\abs.jpg", "Comment = nice", ""}}}));
    ZubAlbum album;
    ASSERT_EQ(1, ImportGfi(album, File("b.gfi").c_str()));
    EXPECT_STREQ("D:\\full\\abs.jpg", album.GetPagePath(0));
    EXPECT_STREQ("nice", album.GetPageComment(0));
    char cover[MAX_PATH];
    ASSERT_EQ(1, PeekGfiFile(File("b.gfi").c_str(), cover));
    EXPECT_EQ(File("rel.jpg"), cover);
}

TEST_F(GfiTest, AZubFileFailsTheImportAndLoadsAsAnAlbum) {
    ZubAlbum source;
    source.AddPage(File("p.jpg").c_str());
    ASSERT_EQ(1, source.SaveFile(File("real.zub").c_str()));
    ZubAlbum album;
    EXPECT_EQ(0, ImportGfi(album, File("real.zub").c_str()));
    ASSERT_EQ(1, album.LoadFile(File("real.zub").c_str()));
    EXPECT_EQ(File("p.jpg"), album.GetPagePath(0));
}

TEST_F(GfiTest, LoadFileOpensGfiFilesAndASaveWritesAZubThere) {
    WriteText("c.gfi", GfiText("Title", 2, 2, {{1, NamedLines("a.jpg")}, {2, NamedLines("b.jpg")}}));
    ZubAlbum album;
    ASSERT_EQ(1, album.LoadFile(File("c.gfi").c_str()));
    EXPECT_EQ(File("c.gfi"), album.GetFilePath());
    EXPECT_EQ(1, album.CoverIndex());
    ASSERT_EQ(1, album.SaveFile(nullptr));
    Bytes saved = ReadFileBytes(File("c.gfi"));
    ASSERT_GE(saved.size(), 16u);
    EXPECT_EQ("-ZUBFile V1.00-\r", std::string(saved.begin(), saved.begin() + 16));
    ZubAlbum again;
    ASSERT_EQ(1, again.LoadFile(File("c.gfi").c_str()));
    EXPECT_EQ(File("b.jpg"), again.GetPagePath(1));
    EXPECT_STREQ("Title", again.GetTitle());
}

TEST_F(GfiTest, PeekZubFileFallsBackToTheGfiTitlePicture) {
    WriteText("d.gfi", GfiText("T", 2, 2, {{1, NamedLines("a.jpg")}, {2, NamedLines("b.jpg")}}));
    char cover[MAX_PATH], title[32] = "x";
    EXPECT_EQ(1, PeekZubFile(File("d.gfi").c_str(), cover, title, sizeof title, nullptr));
    EXPECT_EQ(File("b.jpg"), cover);
    EXPECT_STREQ("", title);
}

TEST_F(GfiTest, LongLinesAndBareLineFeedsLoseNothing) {
    std::string text = "--- GFI File Ver1.0 ---\n<Main>\r\nTitle = " + std::string(400, 'L') + "\r\n";
    text += "GrpahicTitle = 2\nNumberOfGFIs = 2\r\n<File No =001>\nFileName =a.jpg\n";
    text += "<File No =002>\r\nComment =" + std::string(300, 'c') + "\r\nFileName =b.jpg";  // no end
    WriteText("odd.gfi", text);
    ZubAlbum album;
    ASSERT_EQ(1, ImportGfi(album, File("odd.gfi").c_str()));
    ASSERT_EQ(2, album.PageCount());
    EXPECT_EQ(1, album.CoverIndex());
    EXPECT_EQ(File("b.jpg"), album.GetPagePath(1));
    // A long line is one line, its text cut to what the format admits.
    EXPECT_EQ(kGfiLineLimit - 8, strlen(album.GetTitle()));
    EXPECT_EQ(kGfiLineLimit - 9, strlen(album.GetPageComment(1)));
    char cover[MAX_PATH];
    ASSERT_EQ(1, PeekGfiFile(File("odd.gfi").c_str(), cover));
    EXPECT_EQ(File("b.jpg"), cover);
}

TEST_F(GfiTest, SectionsWhoseNameDoesNotFitAreLeftOut) {
    const std::string tooLong = std::string(300, 'n') + ".jpg";
    ZubAlbum album;
    WriteText(
        "one.gfi",
        GfiText("", 1, 3, {{1, NamedLines("a.jpg")}, {2, NamedLines(tooLong)}, {3, NamedLines("c.jpg")}}));
    ASSERT_EQ(1, ImportGfi(album, File("one.gfi").c_str()));
    ASSERT_EQ(2, album.PageCount());
    EXPECT_EQ(File("c.jpg"), album.GetPagePath(1));
}

// Files that give no page: the import fails and (once the identification
// line is read) leaves the album empty.
TEST_F(GfiTest, FilesWithoutAPageFailTheImport) {
    const std::string tooLong = std::string(300, 'n') + ".jpg";
    const struct {
        const char* name;
        std::string text;
        int pagesAfter, peek;
    } cases[] = {
        {"no files", GfiText("T", 1, 0, {{1, NamedLines("x.jpg")}}), 0, 0},
        {"a section ending at its first line",
         GfiText("T", 1, 2, {{1, NamedLines("x.jpg")}}) + "<File No =002>\r\n", 0, -1},
        {"no section", GfiText("T", 1, 2, {}), 0, -1},
        {"only a name that does not fit", GfiText("", 1, 1, {{1, NamedLines(tooLong)}}), 0, -1},
        {"no identification", "just some text\r\nwithout identification\r\n", 1, 0},  // untouched
        {"a wrong identification", "--- GFI File Ver2.0 ---\r\n<Main>\r\n", 0, -1},
    };
    for (const auto& c : cases) {
        WriteText("x.gfi", c.text);
        ZubAlbum album;
        album.AddPage("C:\\kept.jpg");
        EXPECT_EQ(0, ImportGfi(album, File("x.gfi").c_str())) << c.name;
        EXPECT_EQ(c.pagesAfter, album.PageCount()) << c.name;
        EXPECT_STREQ("", album.GetTitle()) << c.name;
        if (c.pagesAfter == 0) {
            EXPECT_EQ(0, album.ZubModified()) << c.name;
        }
        char cover[MAX_PATH];
        if (c.peek >= 0) {
            EXPECT_EQ(c.peek, PeekGfiFile(File("x.gfi").c_str(), cover)) << c.name;
        }
    }
    ZubAlbum album;
    EXPECT_EQ(0, ImportGfi(album, File("missing.gfi").c_str()));
}

TEST_F(GfiFuzz, DamagedGfiFilesNeitherCrashNorLeak) {
    const std::string& folder = folder_;
    std::string seed = GfiText("  種", 2, 3,
                               {{1, NamedLines("a.jpg")},
                                {2, {"FileName =b.jpg", "FileFullName =C:\\x\\b.jpg", "Comment = c", ""}},
                                {3, NamedLines("表.jpg")}});
    Random random(0x6F1u);
    auto next = [&] { return random.Next(); };
    static const std::string inserts[] = {
        "\r\n", "\n", "\r", "<", "<F", "<M", "=", "-", "Nu", "0", std::string(1, '\0'), "F", "C"};
    std::string path = folder + "fuzz.gfi";
    long before = LiveAlbumAllocations();
    MessageCatcher messages;
    for (int i = 0; i < 2000; ++i) {
        std::string text = seed;
        int mutations = 1 + static_cast<int>(next() % 4);
        for (int m = 0; m < mutations && !text.empty(); ++m) {
            size_t at = next() % text.size();
            switch (next() % 4) {
                case 0:
                    text[at] = static_cast<char>(next());
                    break;
                case 1:
                    text.insert(at, inserts[next() % (sizeof inserts / sizeof inserts[0])]);
                    break;
                case 2:
                    text.erase(at, 1 + next() % 20);
                    break;
                default:
                    text.resize(at);
                    break;
            }
        }
        ASSERT_TRUE(WriteFileBytes(path, Bytes(text.begin(), text.end())));
        {
            ZubAlbum album;
            if (ImportGfi(album, path.c_str())) {
                ASSERT_GT(album.PageCount(), 0);
                ASSERT_EQ(0, album.ZubModified());
            }
            for (int page = 0; page < album.PageCount(); ++page) {
                ASSERT_NE(nullptr, album.GetPagePath(page));
                ASSERT_NE('\0', album.GetPagePath(page)[0]) << "a page without a file, iteration " << i;
            }
            ASSERT_GE(album.AddPage((folder + "after.jpg").c_str()), 0);
            char cover[MAX_PATH];
            PeekGfiFile(path.c_str(), cover);
            album.LoadFile(path.c_str());
        }
        ASSERT_EQ(before, LiveAlbumAllocations()) << "iteration " << i;
    }
}
