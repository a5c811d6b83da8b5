#include "album/gfi_file.h"

#include <cstring>
#include <functional>
#include <iterator>
#include <random>

#include "album/album_memory.h"
#include "tests/album/album_test_support.h"

namespace {
using Section = std::vector<std::string>;

// A GFI file laid out as the format writes it, CR LF after every line, its
// sections numbered from 1.
std::string GfiText(const std::string& title, int titleNumber, int count,
                    const std::vector<Section>& sections) {
    std::string text = "--- GFI File Ver1.0 ---\r\n\r\n<Main>\r\nDir = C:\\somewhere\r\nTitle =" + title +
                       "\r\nGrpahicTitle = " + std::to_string(titleNumber) +
                       "\r\nFlagOfNoContent = 0\r\nNumberOfGFIs = " + std::to_string(count) +
                       "\r\nNoContentNo = 0\r\n\r\n";
    for (size_t i = 0; i < sections.size(); ++i) {
        char head[32];
        std::snprintf(head, sizeof head, "<File No =%03d>\r\n", int(i + 1));
        text += head;
        for (const std::string& line : sections[i]) text += line + "\r\n";
    }
    return text;
}

Section NamedLines(const std::string& name) {
    return {"FileName =" + name, "nFileName = 5", "PicType = 1", "Width = 10", "Height = 20", ""};
}

using GfiTest = AlbumDirTest;
using GfiFuzz = AlbumDirTest;
}  // namespace

// Import and LoadFile make the same album of a GFI file: its pages in order,
// the cover its title number picks, the file as its path, unmodified. Both
// peeks give the title picture, by its relative name where the import takes
// the full one. A save of the opened file writes a .zub in its place that
// reads back as the same album.
TEST_F(GfiTest, ImportAndLoadGiveThePagesAndTheCoverTheTitleNumberPicks) {
    const std::string tooLong = std::string(300, 'n') + ".jpg";
    std::string odd = "--- GFI File Ver1.0 ---\n<Main>\r\nTitle = " + std::string(400, 'L') + "\r\n";
    odd += "GrpahicTitle = 2\nNumberOfGFIs = 2\r\n<File No =001>\nFileName =a.jpg\n";
    odd += "<File No =002>\r\nComment =" + std::string(300, 'c') + "\r\nFileName =b.jpg";  // no end
    const Section full = {"FileName =rel.jpg", "FileFullName =D:\\full\\abs.jpg", "Comment = nice", ""};
    // clang-format off
    struct Case { const char* name; std::string text, album, peek; };
    const Case cases[] = {
        {"blanks after the = dropped", GfiText("  Trip", 3, 3, {NamedLines("one.jpg"), NamedLines("two.jpg"), NamedLines("three.jpg")}),
         "Trip @2 | ~\\one.jpg | ~\\two.jpg | ~\\three.jpg", "three.jpg"},
        {"the full name and a comment", GfiText("T", 1, 1, {full}), "T @0 | D:\\full\\abs.jpg c:nice", "rel.jpg"},
        {"a section whose name does not fit is left out", GfiText("", 1, 3, {NamedLines("a.jpg"), NamedLines(tooLong), NamedLines("c.jpg")}),
         " @0 | ~\\a.jpg | ~\\c.jpg", "a.jpg"},
        {"long lines cut to one line each, bare line feeds", odd,
         std::string(kGfiLineLimit - 8, 'L') + " @1 | ~\\a.jpg | ~\\b.jpg c:" + std::string(kGfiLineLimit - 9, 'c'), "b.jpg"},
    };  // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteText("a.gfi", c.text);
        ZubAlbum imported, loaded;
        imported.AddPage("C:\\old.jpg");  // replaced
        ASSERT_EQ(1, ImportGfi(imported, File("a.gfi").c_str()));
        ASSERT_EQ(1, loaded.LoadFile(File("a.gfi").c_str()));
        for (const ZubAlbum* album : {&imported, &loaded}) {
            EXPECT_EQ(c.album, Describe(*album, folder_));
            EXPECT_EQ(File("a.gfi"), album->GetFilePath());
            EXPECT_EQ(0, album->ZubModified());
            for (int i = 0; i < album->PageCount(); ++i)
                EXPECT_STREQ(std::strrchr(album->GetPagePath(i), '\\') + 1, album->GetPageFileName(i));
        }
        char cover[MAX_PATH] = "", zubCover[MAX_PATH] = "", title[32] = "x";
        EXPECT_EQ(1, PeekGfiFile(File("a.gfi").c_str(), cover));
        EXPECT_EQ(1, PeekZubFile(File("a.gfi").c_str(), zubCover, title, sizeof title, nullptr));
        EXPECT_EQ(std::make_tuple(File(c.peek), File(c.peek), std::string()),
                  std::make_tuple(std::string(cover), std::string(zubCover), std::string(title)));
        ZubAlbum again;
        ASSERT_EQ(1, loaded.SaveFile(nullptr));
        EXPECT_EQ("-ZUBFile V1.00-\r", Text("a.gfi").substr(0, 16));
        ASSERT_EQ(1, again.LoadFile(File("a.gfi").c_str()));
        EXPECT_EQ(c.album, Describe(again, folder_));
    }
}

// Files that give no page: the import fails and (once the identification
// line is read) leaves the album empty; other files leave it untouched.
TEST_F(GfiTest, FilesWithoutAPageFailTheImport) {
    const std::string tooLong = std::string(300, 'n') + ".jpg";
    const Bytes zub = ZubBytes(Rec(1, Words({0})), {Rec(128, PathBody(0, "p.jpg"))});
    // clang-format off
    struct Case { const char* name; std::string text; int pagesAfter, peek; };  // -1: not checked
    const Case cases[] = {
        {"no files", GfiText("T", 1, 0, {NamedLines("x.jpg")}), 0, 0},
        {"a section ending at its first line", GfiText("T", 1, 2, {NamedLines("x.jpg")}) + "<File No =002>\r\n", 0, -1},
        {"no section", GfiText("T", 1, 2, {}), 0, -1},
        {"only a name that does not fit", GfiText("", 1, 1, {NamedLines(tooLong)}), 0, -1},
        {"no identification", "just some text\r\nwithout identification\r\n", 1, 0},
        {"a wrong identification", "--- GFI File Ver2.0 ---\r\n<Main>\r\n", 0, -1},
        {"a zub file", std::string(zub.begin(), zub.end()), -1, -1},
        {"no file", "", 1, -1},
    };  // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.text.empty()) WriteText("x.gfi", c.text);
        ZubAlbum album;
        album.AddPage("C:\\kept.jpg");
        EXPECT_EQ(0, ImportGfi(album, File(c.text.empty() ? "missing.gfi" : "x.gfi").c_str()));
        if (c.pagesAfter >= 0) {
            EXPECT_EQ(c.pagesAfter, album.PageCount());
        }
        EXPECT_STREQ("", album.GetTitle());
        if (c.pagesAfter == 0) {
            EXPECT_EQ(0, album.ZubModified());
        }
        char cover[MAX_PATH];
        if (c.peek >= 0) {
            EXPECT_EQ(c.peek, PeekGfiFile(File("x.gfi").c_str(), cover));
        }
    }
}

TEST_F(GfiFuzz, DamagedGfiFilesNeitherCrashNorLeak) {
    std::string seed = GfiText("  種", 2, 3,
                               {NamedLines("a.jpg"),
                                {"FileName =b.jpg", "FileFullName =C:\\x\\b.jpg", "Comment = c", ""},
                                NamedLines("表.jpg")});
    std::mt19937 next(0x6F1u);
    std::vector<Bytes> dictionary;
    for (const std::string word : {"\r\n", "\n", "\r", "<", "<F", "<M", "=", "-", "Nu", "0", "F", "C"})
        dictionary.emplace_back(word.begin(), word.end());
    dictionary.push_back(Bytes{0});
    std::string path = folder_ + "fuzz.gfi";
    long before = LiveAlbumAllocations();
    MessageCatcher messages;
    for (int i = 0; i < 2000; ++i) {
        Bytes bytes(seed.begin(), seed.end());
        Mutate(bytes, next, 4, dictionary);
        ASSERT_TRUE(WriteFileBytes(path, bytes));
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
            ASSERT_GE(album.AddPage((folder_ + "after.jpg").c_str()), 0);
            char cover[MAX_PATH];
            PeekGfiFile(path.c_str(), cover);
            album.LoadFile(path.c_str());
        }
        ASSERT_EQ(before, LiveAlbumAllocations()) << "iteration " << i;
    }
}
