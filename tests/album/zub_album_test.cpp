#include "album/zub_album.h"

#include "album/album_memory.h"
#include "tests/album/album_test_support.h"

namespace {
void AddPages(ZubDocument& album, int count) {
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(i, album.AddPage(("C:\\pics\\p" + std::to_string(i) + ".jpg").c_str()));
}
using ZubAlbumFile = AlbumDirTest;
}  // namespace

TEST(ZubAlbum, RemovingAndSwappingPagesKeepsTheCoverOnItsPage) {
    ZubAlbum album;
    AddPages(album, 5);
    album.SetCoverIndex(2);
    // Page removed (after, before, the cover itself, bad indexes), its answer, the cover after.
    const int removals[][3] = {{4, 1, 2}, {0, 1, 1}, {1, 1, 0}, {2, 0, 0}, {-1, 0, 0}};
    for (const auto& r : removals) {
        EXPECT_EQ(r[1], album.RemovePage(r[0])) << r[0];
        EXPECT_EQ(r[2], album.CoverIndex()) << r[0];
    }
    EXPECT_EQ(" @0 | C:\\pics\\p1.jpg | C:\\pics\\p3.jpg", Describe(album, ""));
    album.AddPage("C:\\pics\\p9.jpg");
    // Pages swapped, the answer, the cover after, whether the album is then
    // modified (a failed swap changes nothing; -1: not checked).
    const int swaps[][5] = {{0, 2, 1, 2, 1}, {1, 2, 1, 1, 1}, {1, 3, 0, 1, 0}, {1, 1, 1, 1, -1}};
    for (const auto& s : swaps) {
        album.SetZubModified(0);
        EXPECT_EQ(s[2], album.SwapPages(s[0], s[1])) << s[0] << s[1];
        EXPECT_EQ(s[3], album.CoverIndex()) << s[0] << s[1];
        if (s[4] >= 0) {
            EXPECT_EQ(s[4], album.ZubModified()) << s[0] << s[1];
        }
    }
    EXPECT_STREQ("C:\\pics\\p1.jpg", album.GetPagePath(album.CoverIndex()));
    ZubAlbum full;  // pages are kept in slots of ten: the last page of a full set
    AddPages(full, 10);
    EXPECT_EQ(1, full.RemovePage(9));
    EXPECT_EQ(std::make_tuple(9, 0), std::make_tuple(full.PageCount(), full.RemovePage(9)));
    EXPECT_STREQ("C:\\pics\\p8.jpg", full.GetPagePath(8));
}

// Expanded paths are compared with single-byte letters folded and double-byte
// characters byte for byte: "イ" (83 43) and "ツ" (83 63) differ only in a
// trail byte that looks like a letter, so both become pages.
TEST(ZubAlbum, FindPageComparesExpandedPathsIgnoringAsciiCase) {
    ZubAlbum album;
    EXPECT_EQ(-1, album.FindPage("C:\\PIC\\A.JPG"));
    for (const char* page : {"c:\\pic\\a.jpg", "c:\\pic\\b.jpg", "c:\\pic\\ａ.jpg", "c:\\pic\\イ.jpg"})
        album.AddPage(page);
    // clang-format off
    struct Case { const char* path; int page; };
    const Case cases[] = {{"C:\\PIC\\A.JPG", 0}, {"c:\\pic\\sub\\..\\B.jpg", 1}, {"c:\\pic\\c.jpg", -1},
                          {"c:\\pic\\Ａ.jpg", -1}, {"c:\\pic\\ツ.jpg", -1}};
    // clang-format on
    for (const auto& c : cases) EXPECT_EQ(c.page, album.FindPage(c.path)) << c.path;
    EXPECT_EQ(4, album.AddPage("c:\\pic\\ツ.jpg"));
    EXPECT_EQ(4, album.FindPage("C:\\PIC\\ツ.JPG"));
}

TEST(ZubAlbum, PageFieldsAndWhatMarksTheAlbumModified) {
    ZubAlbum album;
    EXPECT_EQ(0, album.ZubModified());
    AddPages(album, 2);
    EXPECT_EQ(1, album.ZubModified());
    album.SetZubModified(0);
    EXPECT_EQ(1, album.SetSelectionMark(1, 2));
    EXPECT_EQ(2, album.GetSelectionMark(1));
    EXPECT_EQ(0, album.ZubModified());  // runtime fields never mark it
    EXPECT_STREQ("p1.jpg", album.GetPageFileName(1));
    EXPECT_EQ(8, album.GetPageFileNameOffset(1));
    EXPECT_STREQ("C:\\other\\q.jpg", album.SetPagePath(1, "C:\\other\\x\\..\\q.jpg"));
    EXPECT_EQ(1, album.ZubModified());
    HWND edit = CreateWindowA("EDIT", "from the window", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, edit);
    EXPECT_STREQ("from the window", album.SetPageCommentFromWindow(0, edit));
    DestroyWindow(edit);
    EXPECT_STREQ("from the window", album.GetPageComment(0));
    EXPECT_EQ(-1, album.AddPage(""));  // a path that names no file is refused
    EXPECT_EQ(2, album.PageCount());
    // Orientation codes outside the eight read as 0; -1 from a file is a bad
    // code too, not the answer for a bad index.
    for (const auto& o : {std::pair<int, int>{5, 5}, {99, 0}, {-1, 0}}) {
        album.SetPageOrientation(0, o.first);
        EXPECT_EQ(o.second, album.GetPageOrientation(0)) << o.first;
    }
    EXPECT_EQ(-1, album.GetPageOrientation(2));
}

// Thumbnails live in album blocks and go back on every way out: a released
// thumbnail, a removed page, the album's end.
TEST(ZubAlbum, ThumbnailBlocksAreGivenBackOnEveryWayOut) {
    const long outside = LiveAlbumAllocations();
    {
        ZubAlbum album;
        AddPages(album, 4);
        const long pages = LiveAlbumAllocations();
        for (int page = 0; page < 3; ++page) {
            void* block = album.PageBlock(page);
            album.ThumbHeader->SetHandle(block, reinterpret_cast<BlockWord>(AllocAlbumBlock(40)));
            album.ThumbBits->SetHandle(block, reinterpret_cast<BlockWord>(AllocAlbumBlock(100)));
        }
        album.InfoMask->SetInt(album.PageBlock(0), kInfoPicture | kInfoFileSize);
        EXPECT_EQ(1, album.ReleaseThumbnail(0));
        EXPECT_EQ(0, album.HasThumbnail(0));
        EXPECT_EQ(0, album.InfoMask->GetInt(album.PageBlock(0), nullptr));
        EXPECT_EQ(pages + 4, LiveAlbumAllocations());
        // A page with a thumbnail gives back two blocks more than one without.
        long live = LiveAlbumAllocations();
        EXPECT_EQ(1, album.RemovePage(0));
        const long plainPage = live - LiveAlbumAllocations();
        live = LiveAlbumAllocations();
        EXPECT_EQ(1, album.RemovePage(0));
        EXPECT_EQ(plainPage + 2, live - LiveAlbumAllocations());
        album.ThumbHeader->SetHandle(album.PageBlock(1), 1);  // no thumbnail can be made
        EXPECT_EQ(1, album.HasThumbnail(1));
    }  // the album's end gives back the last page's thumbnail
    EXPECT_EQ(outside, LiveAlbumAllocations());
}

// A copy into a document keeps the album's own fields (keywords 131 and 133)
// in its page catch-all, unchanged, and a full album reads them back as
// fields; file-only records (bit 31) kept from a file stay out of a copy.
TEST_F(ZubAlbumFile, CopiesKeepFieldsTheTargetLacksAndLeaveFileOnlyRecordsOut) {
    ZubAlbum album, back;
    album.SetTitle("copied");
    AddPages(album, 2);
    album.SetPageNote(1, "second text");
    album.SetPageOrientation(1, 4);
    album.SetPageComment(0, "comment");
    album.SetCoverIndex(1);
    album.SetFilePath(File("source.zub").c_str());
    album.SetSelectionMark(0, 2);
    ZubDocument document;
    ASSERT_EQ(1, document.CopyFrom(album));
    EXPECT_EQ(0, document.ZubModified());
    EXPECT_EQ("copied @1 | C:\\pics\\p0.jpg c:comment | C:\\pics\\p1.jpg", Describe(document, ""));
    EXPECT_STREQ("", document.GetFilePath());  // the file path is file-only
    ASSERT_EQ(1, document.SaveFile(File("copy.zub").c_str()));
    Bytes saved = ReadFileBytes(File("copy.zub"));
    EXPECT_TRUE(Holds(saved, Rec(131, TextBody("second text"))));
    EXPECT_TRUE(Holds(saved, Rec(133, Words({4}))));
    ASSERT_EQ(1, back.LoadFile(File("copy.zub").c_str()));
    EXPECT_EQ("copied @1 | C:\\pics\\p0.jpg c:comment | C:\\pics\\p1.jpg n:second text o:4",
              Describe(back, ""));
    EXPECT_EQ(0, back.GetSelectionMark(0));  // runtime fields are not copied

    const Bytes fileOnly = Rec(0x800000C8, Words({1})), plain = Rec(0x000000C9, Words({2}));
    Write("bits.zub", ZubBytes({}, {Cat({Rec(128, PathBody(0, "p.jpg")), fileOnly, plain})}, false));
    ASSERT_EQ(1, album.LoadFile(File("bits.zub").c_str()));
    ZubAlbum copy;
    ASSERT_EQ(1, copy.CopyFrom(album));
    ASSERT_EQ(1, copy.SaveFile(File("copy.zub").c_str()));
    saved = ReadFileBytes(File("copy.zub"));
    EXPECT_FALSE(Holds(saved, fileOnly));
    EXPECT_TRUE(Holds(saved, plain));
    ASSERT_EQ(1, album.SaveFile(nullptr));  // the album itself keeps both
    EXPECT_TRUE(Holds(ReadFileBytes(File("bits.zub")), fileOnly));
}

TEST(ZubAlbum, CopyFromAndClearAllReplaceWhatTheAlbumHeldAndGiveEveryBlockBack) {
    const long before = LiveAlbumAllocations();
    {
        ZubAlbum source, target;
        AddPages(source, 25);
        source.SetPageComment(3, "c");
        source.SetPageNote(4, "n");
        source.RemovePage(0);
        source.SwapPages(1, 2);
        AddPages(target, 3);
        target.SetTitle("old");
        ASSERT_EQ(1, target.CopyFrom(source));
        EXPECT_EQ(Describe(source, ""), Describe(target, ""));  // the old title and pages gone
        ASSERT_EQ(1, target.CopyFrom(target));                  // a copy of itself keeps everything
        EXPECT_EQ(Describe(source, ""), Describe(target, ""));
        EXPECT_STREQ("C:\\pics\\p3.jpg", target.GetPagePath(1));
        target.SetTitle("title");
        target.SetFilePath("C:\\albums\\x.zub");
        target.SetCoverIndex(2);
        target.SetZubModified(0);
        EXPECT_EQ(1, target.ClearAll());
        EXPECT_EQ(" @0", Describe(target, ""));  // no title, no page, the cover back at 0
        EXPECT_STREQ("", target.GetFilePath());
        EXPECT_STREQ("", target.GetFileName());
        EXPECT_EQ(1, target.ZubModified());
    }
    EXPECT_EQ(before, LiveAlbumAllocations());
}
