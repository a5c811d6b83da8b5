#include "album/zub_album.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "album/album_memory.h"
#include "tests/album/album_test_support.h"

namespace {
void AddPages(ZubDocument& album, int count) {
    for (int i = 0; i < count; ++i) {
        ASSERT_EQ(i, album.AddPage(("C:\\pics\\p" + std::to_string(i) + ".jpg").c_str()));
    }
}
}  // namespace

TEST(ZubAlbum, RemovingPagesKeepsTheCoverOnItsPage) {
    ZubAlbum album;
    AddPages(album, 5);
    album.SetCoverIndex(2);
    EXPECT_EQ(1, album.RemovePage(4));  // after the cover
    EXPECT_EQ(2, album.CoverIndex());
    EXPECT_EQ(1, album.RemovePage(0));  // before the cover
    EXPECT_EQ(1, album.CoverIndex());
    EXPECT_STREQ("C:\\pics\\p2.jpg", album.GetPagePath(album.CoverIndex()));
    EXPECT_EQ(1, album.RemovePage(1));  // the cover itself
    EXPECT_EQ(0, album.CoverIndex());
    EXPECT_EQ(0, album.RemovePage(2));  // bad index
    EXPECT_EQ(0, album.RemovePage(-1));
    EXPECT_EQ(2, album.PageCount());
}

TEST(ZubAlbum, SwappingMovesTheCoverWithItsPage) {
    ZubAlbum album;
    AddPages(album, 3);
    album.SetCoverIndex(0);
    album.SetZubModified(0);
    EXPECT_EQ(1, album.SwapPages(0, 2));
    EXPECT_EQ(2, album.CoverIndex());
    EXPECT_STREQ("C:\\pics\\p0.jpg", album.GetPagePath(2));
    EXPECT_EQ(1, album.ZubModified());
    EXPECT_EQ(1, album.SwapPages(1, 2));
    EXPECT_EQ(1, album.CoverIndex());
    album.SetZubModified(0);
    EXPECT_EQ(0, album.SwapPages(1, 3));  // index equal to the page count
    EXPECT_EQ(1, album.CoverIndex());
    EXPECT_EQ(0, album.ZubModified());
    EXPECT_EQ(1, album.SwapPages(1, 1));
}

TEST(ZubAlbum, ClearAllForgetsPagesTitleAndPath) {
    ZubAlbum album;
    AddPages(album, 3);
    album.SetTitle("title");
    album.SetFilePath("C:\\albums\\x.zub");
    album.SetCoverIndex(2);
    album.SetZubModified(0);
    EXPECT_EQ(1, album.ClearAll());
    EXPECT_EQ(0, album.PageCount());
    EXPECT_STREQ("", album.GetTitle());
    EXPECT_STREQ("", album.GetFilePath());
    EXPECT_STREQ("", album.GetFileName());
    EXPECT_EQ(0, album.CoverIndex());
    EXPECT_EQ(1, album.ZubModified());
}

TEST(ZubAlbum, FindPageComparesExpandedPathsIgnoringAsciiCase) {
    ZubAlbum album;
    EXPECT_EQ(-1, album.FindPage("C:\\PIC\\A.JPG"));
    album.AddPage("c:\\pic\\a.jpg");
    album.AddPage("c:\\pic\\b.jpg");
    EXPECT_EQ(0, album.FindPage("C:\\PIC\\A.JPG"));
    EXPECT_EQ(1, album.FindPage("c:\\pic\\sub\\..\\B.jpg"));
    EXPECT_EQ(-1, album.FindPage("c:\\pic\\c.jpg"));
    // Double-byte characters are compared as they are.
    album.AddPage("c:\\pic\\ａ.jpg");
    EXPECT_EQ(-1, album.FindPage("c:\\pic\\Ａ.jpg"));
    // "イ" (83 43) and "ツ" (83 63) differ only in a trail byte that looks
    // like a letter: both become pages, each found as itself.
    album.AddPage("c:\\pic\\イ.jpg");
    EXPECT_EQ(-1, album.FindPage("c:\\pic\\ツ.jpg"));
    EXPECT_EQ(4, album.AddPage("c:\\pic\\ツ.jpg"));
    EXPECT_EQ(4, album.FindPage("C:\\PIC\\ツ.JPG"));
}

TEST(ZubAlbum, PageAccessorsRefuseBadIndexes) {
    ZubAlbum album;
    AddPages(album, 1);
    album.SetZubModified(0);
    EXPECT_EQ(nullptr, album.GetPagePath(1));
    EXPECT_EQ(nullptr, album.GetPageFileName(1));
    EXPECT_EQ(-1, album.GetPageFileNameOffset(1));
    EXPECT_EQ(nullptr, album.GetPageComment(1));
    EXPECT_EQ(nullptr, album.SetPageComment(1, "x"));
    EXPECT_EQ(nullptr, album.SetPagePath(-1, "C:\\x.jpg"));
    EXPECT_EQ(nullptr, album.SetPageCommentFromWindow(5, nullptr));
    EXPECT_EQ(0, album.GetPageMark(1));
    EXPECT_EQ(-1, album.GetPageOrientation(1));
    EXPECT_EQ(0, album.ReleaseThumbnail(1));
    EXPECT_EQ(0, album.HasThumbnail(1));
    EXPECT_EQ(-1, album.GetSelectionMark(1));
    EXPECT_EQ(0, album.SetSelectionMark(1, 1));
    EXPECT_EQ(-1, album.GetPictureWidth(1));
    EXPECT_EQ(-1, album.GetPictureHeight(1));
    EXPECT_EQ(-1, album.GetPictureBitCount(1));
    EXPECT_EQ(0, album.ZubModified());
}

TEST(ZubAlbum, PageFieldsAndWhatMarksTheAlbumModified) {
    ZubAlbum album;
    EXPECT_EQ(30u, album.ThumbSizeParam);
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
}

TEST(ZubAlbum, OrientationsOutsideTheEightCodesReadAsZero) {
    ZubAlbum album;
    AddPages(album, 1);
    album.SetPageOrientation(0, 5);
    EXPECT_EQ(5, album.GetPageOrientation(0));
    album.SetPageOrientation(0, 99);
    EXPECT_EQ(0, album.GetPageOrientation(0));
    // -1 from a file is a bad code too, not the answer for a bad index.
    album.SetPageOrientation(0, -1);
    EXPECT_EQ(0, album.GetPageOrientation(0));
    EXPECT_EQ(-1, album.GetPageOrientation(1));
}

TEST(ZubAlbum, RemovingAPageFreesItsThumbnail) {
    ZubAlbum album;
    AddPages(album, 2);
    const long before = LiveAlbumAllocations();
    void* block = album.PageBlock(0);
    album.ThumbHeader->SetHandle(block, reinterpret_cast<BlockWord>(AllocAlbumBlock(40)));
    album.ThumbBits->SetHandle(block, reinterpret_cast<BlockWord>(AllocAlbumBlock(100)));
    album.InfoMask->SetInt(block, kInfoPicture | kInfoFileSize);
    EXPECT_EQ(1, album.HasThumbnail(0));
    EXPECT_EQ(1, album.ReleaseThumbnail(0));
    EXPECT_EQ(0, album.HasThumbnail(0));
    EXPECT_EQ(before, LiveAlbumAllocations());
    EXPECT_EQ(0, album.InfoMask->GetInt(block, nullptr));
    album.ThumbHeader->SetHandle(album.PageBlock(1), 1);  // no thumbnail can be made
    EXPECT_EQ(1, album.HasThumbnail(1));
    EXPECT_EQ(1, album.RemovePage(1));
}

TEST(ZubAlbum, CopyIntoADocumentKeepsTheAlbumsFieldsInTheCatchAll) {
    TempDir dir;
    std::string folder = StoredFolder(dir.Path());
    ZubAlbum album;
    album.SetTitle("copied");
    AddPages(album, 2);
    album.SetPageNote(1, "second text");
    album.SetPageOrientation(1, 4);
    album.SetPageComment(0, "comment");
    album.SetCoverIndex(1);
    album.SetFilePath((folder + "source.zub").c_str());
    album.SetSelectionMark(0, 2);

    ZubDocument document;
    ASSERT_EQ(1, document.CopyFrom(album));
    EXPECT_EQ(0, document.ZubModified());
    EXPECT_STREQ("copied", document.GetTitle());
    EXPECT_STREQ("", document.GetFilePath());  // the file path is file-only
    EXPECT_EQ(1, document.CoverIndex());
    ASSERT_EQ(2, document.PageCount());
    EXPECT_STREQ("comment", document.GetPageComment(0));

    // Keywords 131 and 133 sit in the page catch-all, unchanged.
    Bytes note, orientation;
    PutRecord(note, 131, Bytes{'s', 'e', 'c', 'o', 'n', 'd', ' ', 't', 'e', 'x', 't', 0});
    PutRecord(orientation, 133, U32Body(4));
    ASSERT_EQ(1, document.SaveFile((folder + "copy.zub").c_str()));
    Bytes saved = ReadFileBytes(folder + "copy.zub");
    EXPECT_NE(std::string::npos, FindBytes(saved, note));
    EXPECT_NE(std::string::npos, FindBytes(saved, orientation));

    // ... and come back as fields when a full album reads the file.
    ZubAlbum back;
    ASSERT_EQ(1, back.LoadFile((folder + "copy.zub").c_str()));
    EXPECT_STREQ("second text", back.GetPageNote(1));
    EXPECT_EQ(4, back.GetPageOrientation(1));
    EXPECT_EQ(0, back.GetSelectionMark(0));  // runtime fields are not copied
}

TEST(ZubAlbum, CopyFromReplacesWhatTheTargetHeld) {
    ZubAlbum source, target;
    AddPages(source, 2);
    AddPages(target, 3);
    target.SetTitle("old");
    ASSERT_EQ(1, target.CopyFrom(source));
    EXPECT_EQ(2, target.PageCount());
    ASSERT_EQ(1, target.CopyFrom(target));  // a copy of itself keeps everything
    EXPECT_EQ(2, target.PageCount());
    EXPECT_STREQ("", target.GetTitle());
    EXPECT_STREQ("C:\\pics\\p1.jpg", target.GetPagePath(1));
}

TEST(ZubAlbum, DestructionGivesBackEveryBlock) {
    long before = LiveAlbumAllocations();
    {
        ZubAlbum album;
        AddPages(album, 25);
        album.SetTitle("t");
        album.SetPageComment(3, "c");
        album.SetPageNote(4, "n");
        album.RemovePage(0);
        album.SwapPages(1, 2);
        ZubAlbum copy;
        copy.CopyFrom(album);
        copy.ClearAll();
    }
    EXPECT_EQ(before, LiveAlbumAllocations());
}

TEST(ZubAlbum, FileOnlyRecordsKeptFromAFileStayOutOfMemoryCopies) {
    TempDir dir;
    std::string folder = StoredFolder(dir.Path());
    Bytes file;
    PutZubMagic(file);
    PutU32(file, 0xFFFFFFFF);
    PutU32(file, 0);
    PutU32(file, 0xFFFF0001);
    PutU32(file, 0);
    PutRecord(file, 128, PathBody(0, "p.jpg"));
    PutRecord(file, 0x800000C8, U32Body(1));  // unknown, file-only
    PutRecord(file, 0x000000C9, U32Body(2));  // unknown
    PutRecord(file, 0x80000084, U32Body(7));  // the mark, with bit 31: matched by its low bits
    PutU32(file, 0xFFFF0000);
    PutU32(file, 0xFFFF0000);
    ASSERT_TRUE(WriteFileBytes(folder + "bits.zub", file));
    ZubAlbum album;
    ASSERT_EQ(1, album.LoadFile((folder + "bits.zub").c_str()));
    EXPECT_EQ(7, album.GetPageMark(0));
    ZubAlbum copy;
    ASSERT_EQ(1, copy.CopyFrom(album));
    ASSERT_EQ(1, copy.SaveFile((folder + "copy.zub").c_str()));
    Bytes saved = ReadFileBytes(folder + "copy.zub");
    Bytes fileOnly, plain;
    PutRecord(fileOnly, 0x800000C8, U32Body(1));
    PutRecord(plain, 0x000000C9, U32Body(2));
    EXPECT_EQ(std::string::npos, FindBytes(saved, fileOnly));
    EXPECT_NE(std::string::npos, FindBytes(saved, plain));
    ASSERT_EQ(1, album.SaveFile(nullptr));  // the album itself keeps both
    EXPECT_NE(std::string::npos, FindBytes(ReadFileBytes(folder + "bits.zub"), fileOnly));
}
