#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "album/album_memory.h"
#include "album/zub_album.h"
#include "tests/album/album_test_support.h"

namespace {
Bytes PageRecordsFor(const std::string& name, uint32_t orientation) {
    Bytes page;
    PutRecord(page, 128, PathBody(0, name));
    PutRecord(page, 132, U32Body(0));
    PutRecord(page, 133, U32Body(orientation));
    return page;
}

class ZubFileTest : public ::testing::Test {
protected:
    std::string Folder() const { return folder_; }
    std::string File(const std::string& name) const { return folder_ + name; }
    TempDir dir_;
    std::string folder_ = StoredFolder(dir_.Path());
};
}  // namespace

TEST_F(ZubFileTest, WritesTheWorkedLayoutByteForByte) {
    ZubAlbum album;
    album.SetTitle("A");
    ASSERT_EQ(0, album.AddPage(File("first.jpg").c_str()));
    ASSERT_EQ(1, album.AddPage(File("b.jpg").c_str()));
    album.SetCoverIndex(1);
    album.SetPageOrientation(1, 3);
    std::string zub = File("album.zub");
    ASSERT_EQ(1, album.SaveFile(zub.c_str()));
    EXPECT_EQ(0, album.ZubModified());

    Bytes expected;
    PutZubMagic(expected);
    PutU32(expected, 0xFFFFFFFF);
    PutU32(expected, 12 + 10 + static_cast<uint32_t>(zub.size() + 13));
    PutRecord(expected, 1, U32Body(1));
    PutRecord(expected, 2, TextBody("A"));
    PutRecord(expected, 0x80000003, PathBody(1, zub));
    PutU32(expected, 0xFFFF0001);
    PutU32(expected, (9 + 13) + 12 + 12);
    Bytes page = PageRecordsFor("first.jpg", 0);
    PutBytes(expected, page.data(), page.size());
    PutU32(expected, 0xFFFFFFFF);
    PutU32(expected, (5 + 13) + 12 + 12);
    page = PageRecordsFor("b.jpg", 3);
    PutBytes(expected, page.data(), page.size());
    PutU32(expected, 0xFFFF0000);
    PutU32(expected, 0xFFFF0000);
    EXPECT_EQ(expected, ReadFileBytes(zub));
}

TEST_F(ZubFileTest, AnEmptyAlbumNeedsBothEndMarkers) {
    ZubAlbum album;
    std::string zub = File("empty.zub");
    ASSERT_EQ(1, album.SaveFile(zub.c_str()));
    Bytes bytes = ReadFileBytes(zub);
    Bytes expected;
    PutZubMagic(expected);
    PutU32(expected, 0xFFFFFFFF);
    PutU32(expected, 12 + static_cast<uint32_t>(zub.size() + 13));
    PutRecord(expected, 1, U32Body(0));
    PutRecord(expected, 0x80000003, PathBody(1, zub));
    PutU32(expected, 0xFFFF0000);
    PutU32(expected, 0xFFFF0000);
    EXPECT_EQ(expected, bytes);

    ZubAlbum loaded;
    EXPECT_EQ(1, loaded.LoadFile(zub.c_str()));
    EXPECT_EQ(0, loaded.PageCount());
    bytes.resize(bytes.size() - 4);
    ASSERT_TRUE(WriteFileBytes(File("one_end.zub"), bytes));
    EXPECT_EQ(0, loaded.LoadFile(File("one_end.zub").c_str()));
    EXPECT_EQ(0, loaded.ZubModified());
}

TEST_F(ZubFileTest, RoundTripKeepsEveryField) {
    ZubAlbum album;
    album.SetTitle("タイトル表");
    for (int i = 0; i < 4; ++i) album.AddPage(File("p" + std::to_string(i) + ".jpg").c_str());
    album.SetPageComment(0, "コメント");
    album.SetPageNote(1, "note");
    album.SetPageOrientation(2, 7);
    album.SetPageMark(3, 1);
    album.SetCoverIndex(2);
    ASSERT_EQ(1, album.SaveFile(File("a.zub").c_str()));
    ZubAlbum loaded;
    ASSERT_EQ(1, loaded.LoadFile(File("a.zub").c_str()));
    EXPECT_STREQ("タイトル表", loaded.GetTitle());
    ASSERT_EQ(4, loaded.PageCount());
    EXPECT_EQ(File("p3.jpg"), loaded.GetPagePath(3));
    EXPECT_STREQ("p3.jpg", loaded.GetPageFileName(3));
    EXPECT_EQ(static_cast<int>(Folder().size()), loaded.GetPageFileNameOffset(3));
    EXPECT_STREQ("コメント", loaded.GetPageComment(0));
    EXPECT_STREQ("note", loaded.GetPageNote(1));
    EXPECT_EQ(7, loaded.GetPageOrientation(2));
    EXPECT_EQ(1, loaded.GetPageMark(3));
    EXPECT_EQ(2, loaded.CoverIndex());
    EXPECT_EQ(0, loaded.ZubModified());
    // Saving the loaded album where it was gives the same bytes.
    const Bytes first = ReadFileBytes(File("a.zub"));
    ASSERT_EQ(1, loaded.SaveFile(nullptr));
    EXPECT_EQ(first, ReadFileBytes(File("a.zub")));
}

TEST_F(ZubFileTest, UnknownRecordsInAnyOrderSurviveALoadSaveRoundTrip) {
    std::string zub = File("hand.zub");
    Bytes header;
    PutRecord(header, 2, TextBody("T"));
    PutRecord(header, 0x32, Bytes{1, 2, 3});    // unknown header record
    PutRecord(header, 127, Bytes{9, 9, 9, 9});  // catch-all keyword: skipped
    PutRecord(header, 1, U32Body(0));
    Bytes page;
    PutRecord(page, 133, U32Body(5));
    PutRecord(page, 0xC8, TextBody("keep me"));  // unknown page record
    PutRecord(page, 255, Bytes{7});              // catch-all keyword: skipped
    PutRecord(page, 130, TextBody("c"));
    PutRecord(page, 128, PathBody(0, "x.jpg"));
    Bytes file;
    PutZubMagic(file);
    PutU32(file, 0xFFFFFFFF);
    PutU32(file, static_cast<uint32_t>(header.size()));
    PutBytes(file, header.data(), header.size());
    PutU32(file, 0xFFFF0001);
    PutU32(file, static_cast<uint32_t>(page.size()));
    PutBytes(file, page.data(), page.size());
    PutU32(file, 0xFFFF0000);
    PutU32(file, 0xFFFF0000);
    ASSERT_TRUE(WriteFileBytes(zub, file));

    ZubAlbum album;
    ASSERT_EQ(1, album.LoadFile(zub.c_str()));
    ASSERT_EQ(1, album.PageCount());
    EXPECT_EQ(File("x.jpg"), album.GetPagePath(0));
    EXPECT_EQ(5, album.GetPageOrientation(0));
    EXPECT_STREQ("c", album.GetPageComment(0));
    EXPECT_STREQ("T", album.GetTitle());
    ASSERT_EQ(1, album.SaveFile(nullptr));
    Bytes saved = ReadFileBytes(zub);

    Bytes unknownHeader, unknownPage, comment, mark, skipped;
    PutRecord(unknownHeader, 0x32, Bytes{1, 2, 3});
    PutRecord(unknownPage, 0xC8, TextBody("keep me"));
    PutRecord(comment, 130, TextBody("c"));
    PutRecord(mark, 132, U32Body(0));
    PutRecord(skipped, 255, Bytes{7});
    size_t headerAt = FindBytes(saved, unknownHeader);
    size_t pathAt = FindBytes(saved, Bytes{0x03, 0, 0, 0x80});
    ASSERT_NE(std::string::npos, headerAt);
    EXPECT_LT(pathAt, headerAt);  // after the header's own records
    size_t commentAt = FindBytes(saved, comment);
    ASSERT_NE(std::string::npos, commentAt);
    EXPECT_EQ(commentAt + comment.size(), FindBytes(saved, unknownPage));  // right after keyword 130
    EXPECT_EQ(commentAt + comment.size() + unknownPage.size(), FindBytes(saved, mark));
    EXPECT_EQ(std::string::npos, FindBytes(saved, skipped));
}

TEST_F(ZubFileTest, PagePathsAreStoredRelativeWhereTheyCanBe) {
    ASSERT_TRUE(CreateDirectoryA(File("A").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(File("A\\B").c_str(), nullptr));
    ZubAlbum album;
    album.AddPage(File("A\\B\\x.jpg").c_str());
    album.AddPage(File("A\\C\\y.jpg").c_str());
    album.AddPage("Z:\\elsewhere\\z.jpg");
    std::string zub = File("A\\B\\album.zub");
    ASSERT_EQ(1, album.SaveFile(zub.c_str()));
    Bytes saved = ReadFileBytes(zub);
    Bytes same, sibling, other;
    PutRecord(same, 128, PathBody(0, "x.jpg"));
    PutRecord(sibling, 128, PathBody(0, "..\\C\\y.jpg"));
    PutRecord(other, 128, PathBody(1, "Z:\\elsewhere\\z.jpg"));
    EXPECT_NE(std::string::npos, FindBytes(saved, same));
    EXPECT_NE(std::string::npos, FindBytes(saved, sibling));
    EXPECT_NE(std::string::npos, FindBytes(saved, other));
}

TEST_F(ZubFileTest, APathDifferingFromTheAlbumFolderOnlyInCaseIsStoredAbsolute) {
    std::string folder = Folder();
    std::string otherCase = folder;
    otherCase[0] = static_cast<char>(otherCase[0] == 'C' ? 'c' : 'C');  // the drive letter
    ZubAlbum album;
    ASSERT_EQ(0, album.AddPage((otherCase + "x.jpg").c_str()));
    ASSERT_EQ(otherCase + "x.jpg", album.GetPagePath(0));
    ASSERT_EQ(1, album.SaveFile(File("case.zub").c_str()));
    Bytes record;
    PutRecord(record, 128, PathBody(1, otherCase + "x.jpg"));
    EXPECT_NE(std::string::npos, FindBytes(ReadFileBytes(File("case.zub")), record));
}

TEST_F(ZubFileTest, AnAlbumMovedWithItsPicturesStaysValid) {
    ASSERT_TRUE(CreateDirectoryA(File("one").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(File("one\\pics").c_str(), nullptr));
    ZubAlbum album;
    album.AddPage(File("one\\pics\\a.jpg").c_str());
    ASSERT_EQ(1, album.SaveFile(File("one\\album.zub").c_str()));
    ASSERT_TRUE(MoveFileA(File("one").c_str(), File("two").c_str()));
    ZubAlbum moved;
    ASSERT_EQ(1, moved.LoadFile(File("two\\album.zub").c_str()));
    EXPECT_EQ(File("two\\pics\\a.jpg"), moved.GetPagePath(0));
    // The path the album was written under is remembered; the album is where
    // it was opened.
    EXPECT_EQ(File("one\\album.zub"), moved.GetSavedPath());
    EXPECT_EQ(File("two\\album.zub"), moved.GetFilePath());
    EXPECT_STREQ("album.zub", moved.GetFileName());
}

TEST_F(ZubFileTest, ARecordErrorFailsTheLoadWithItsMessage) {
    Bytes file;
    PutZubMagic(file);
    PutU32(file, 0xFFFFFFFF);
    PutU32(file, 0);
    PutU32(file, 0xFFFF0001);
    PutU32(file, 0);
    PutRecord(file, 128, PathBody(0, "p.jpg"));
    PutRecord(file, 133, Bytes(8, 0));
    PutU32(file, 0xFFFF0000);
    PutU32(file, 0xFFFF0000);
    ASSERT_TRUE(WriteFileBytes(File("bad.zub"), file));
    MessageCatcher messages;
    ZubAlbum album;
    EXPECT_EQ(0, album.LoadFile(File("bad.zub").c_str()));
    ASSERT_EQ(1u, messages.shown.size());
    EXPECT_EQ("ズブのロードでエラーが発生しました。 ParamNo:19  Keyword:85", messages.shown[0].text);
    EXPECT_EQ("Save Error Contetns", messages.shown[0].caption);
    EXPECT_EQ(1, album.PageCount());  // what was read stays
    EXPECT_EQ(0, album.ZubModified());
}

TEST_F(ZubFileTest, MalformedFramesFailTheLoad) {
    auto withFrame = [](const std::function<void(Bytes&)>& pages) {
        Bytes file;
        PutZubMagic(file);
        PutU32(file, 0xFFFFFFFF);
        PutU32(file, 0);
        pages(file);
        return file;
    };
    struct Case {
        const char* name;
        Bytes bytes;
    };
    Bytes wrongMagic = withFrame([](Bytes& f) {
        PutU32(f, 0xFFFF0000);
        PutU32(f, 0xFFFF0000);
    });
    wrongMagic[3] = 'X';
    Bytes recordBeforePage = withFrame([](Bytes& f) {
        PutU32(f, 0xFFFF0000);
        PutRecord(f, 130, TextBody("orphan"));
        PutU32(f, 0xFFFF0000);
    });
    Bytes hugeHeader;
    PutZubMagic(hugeHeader);
    PutU32(hugeHeader, 0xFFFFFFFF);
    PutU32(hugeHeader, 0x10000000);
    PutU32(hugeHeader, 0xFFFF0000);
    PutU32(hugeHeader, 0xFFFF0000);
    Bytes wrongMarker = withFrame([](Bytes& f) {
        PutU32(f, 0xFFFF0000);
        PutU32(f, 0xFFFF0000);
    });
    wrongMarker[16] = 0;
    const Case cases[] = {{"wrong magic", wrongMagic},
                          {"record before any page", recordBeforePage},
                          {"header size beyond the file", hugeHeader},
                          {"wrong header marker", wrongMarker},
                          {"truncated", Bytes(wrongMagic.begin(), wrongMagic.begin() + 10)}};
    for (const Case& c : cases) {
        ASSERT_TRUE(WriteFileBytes(File("case.zub"), c.bytes));
        ZubAlbum album;
        EXPECT_EQ(0, album.LoadFile(File("case.zub").c_str())) << c.name;
        EXPECT_EQ(0, album.ZubModified()) << c.name;
    }
    ZubAlbum album;
    EXPECT_EQ(0, album.LoadFile(File("missing.zub").c_str()));
    EXPECT_EQ(File("missing.zub"), album.GetFilePath());
    EXPECT_EQ(1, album.ZubModified());
}

TEST_F(ZubFileTest, HostileRecordSizesFailWithTheMessageAndAllocateNothing) {
    // A header record whose size word is near 2^32 (which 32-bit sums would
    // wrap into a tiny block), and a real title of 2 MiB, far beyond any title.
    auto withHeaderRecord = [](uint32_t keyword, uint32_t size, size_t bodyBytes) {
        Bytes file;
        PutZubMagic(file);
        PutU32(file, 0xFFFFFFFF);
        PutU32(file, 0);
        PutU32(file, keyword);
        PutU32(file, size);
        file.resize(file.size() + bodyBytes, 'x');
        PutU32(file, 0xFFFF0000);
        PutU32(file, 0xFFFF0000);
        return file;
    };
    struct Case {
        const char* name;
        Bytes bytes;
    };
    const Case cases[] = {
        {"title of 4 GiB - 1", withHeaderRecord(2, 0xFFFFFFFF, 16)},
        {"unknown record of 4 GiB - 4", withHeaderRecord(77, 0xFFFFFFFC, 16)},
        {"title of 2 MiB", withHeaderRecord(2, 2 * 1024 * 1024, 2 * 1024 * 1024)},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(WriteFileBytes(File("hostile.zub"), c.bytes));
        long before = LiveAlbumAllocations();
        {
            MessageCatcher messages;
            ZubAlbum album;
            EXPECT_EQ(0, album.LoadFile(File("hostile.zub").c_str())) << c.name;
            ASSERT_EQ(1u, messages.shown.size()) << c.name;
            EXPECT_EQ(0u, messages.shown[0].text.rfind("ズブのロードでエラーが発生しました。", 0)) << c.name;
            char title[64] = "unchanged";
            char cover[MAX_PATH] = "";
            int orientation = 0;
            PeekZubFile(File("hostile.zub").c_str(), cover, title, sizeof title, &orientation);
            EXPECT_LT(std::strlen(title), sizeof title) << c.name;
        }
        EXPECT_EQ(before, LiveAlbumAllocations()) << c.name;
    }
}

// The names in a folder, sorted.
static std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "*").c_str(), &found);
    for (bool more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &found)) {
        if (std::strcmp(found.cFileName, ".") && std::strcmp(found.cFileName, ".."))
            names.push_back(found.cFileName);
    }
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(ZubFileTest, AFailedSaveKeepsTheOldFileByteForByteAndSaysWhy) {
    ZubAlbum album;
    album.AddPage(File("a.jpg").c_str());
    const std::string zub = File("keep.zub");
    ASSERT_EQ(1, album.SaveFile(zub.c_str()));
    const Bytes before = ReadFileBytes(zub);
    album.AddPage(File("b.jpg").c_str());
    // The old file cannot be replaced while another program holds it open.
    {
        ScopedFile holder(
            CreateFileA(zub.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder.Valid());
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(0, album.SaveFile(nullptr));
        EXPECT_NE(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    }
    EXPECT_EQ(before, ReadFileBytes(zub));
    EXPECT_EQ(1, album.ZubModified());
    EXPECT_EQ(std::vector<std::string>{"keep.zub"}, FolderNames(Folder()));  // nothing half-written left
    // Writing stops short (a full disk): the records report the failure.
    for (uint64_t limit : {0ull, 20ull, 60ull, static_cast<uint64_t>(before.size())}) {
        TempDir scratch;
        ScopedFile file(
            CreateFileA(scratch.File("x").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        RecordWriter writer(file.Get(), limit);
        MessageCatcher messages;
        EXPECT_FALSE(album.WriteZub(writer) == 1 && writer.Flush()) << limit;
    }
    ASSERT_EQ(1, album.SaveFile(nullptr));
    ZubAlbum again;
    ASSERT_EQ(1, again.LoadFile(zub.c_str()));
    EXPECT_EQ(2, again.PageCount());
    EXPECT_EQ(0, ZubAlbum().SaveFile(nullptr));  // no file path at all
}

// The half-written album is named no longer than the album itself, so the
// deepest folder that can hold the album can hold it too.
TEST_F(ZubFileTest, AnAlbumSavesInAFolderAsDeepAsItsNameAllows) {
    // 248 bytes with its separator: the deepest folder the system creates.
    std::string folder = Folder();
    while (folder.size() < 248) {
        const size_t remaining = 248 - folder.size();
        folder += std::string(remaining > 40 ? 32 : remaining - 1, 'd') + "\\";
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder.size();
    }
    for (const char* name : {"z.zub", "abcdefg.zub"}) {
        std::string path = folder + name;
        path.insert(folder.size(), MAX_PATH - 1 - path.size(), 'n');  // 259 bytes in all
        ASSERT_EQ(static_cast<size_t>(MAX_PATH - 1), path.size());
        ZubAlbum album;
        album.AddPage((folder + "p.jpg").c_str());
        ASSERT_EQ(1, album.SaveFile(path.c_str())) << name << " " << GetLastError();
        ZubAlbum again;
        ASSERT_EQ(1, again.LoadFile(path.c_str()));
        EXPECT_STREQ((folder + "p.jpg").c_str(), again.GetPagePath(0));
        EXPECT_EQ(std::vector<std::string>{path.substr(folder.size())}, FolderNames(folder));
        DeleteFileA(path.c_str());
    }
}

TEST_F(ZubFileTest, PeekReadsTitleCoverAndOrientation) {
    ZubAlbum album;
    album.SetTitle("Holiday");
    album.AddPage(File("a.jpg").c_str());
    album.AddPage(File("b.jpg").c_str());
    album.AddPage(File("c.jpg").c_str());
    album.SetPageOrientation(1, 6);
    album.SetCoverIndex(1);
    ASSERT_EQ(1, album.SaveFile(File("peek.zub").c_str()));
    char cover[MAX_PATH] = "", title[64] = "x";
    int orientation = -1;
    EXPECT_EQ(1, PeekZubFile(File("peek.zub").c_str(), cover, title, sizeof title, &orientation));
    EXPECT_EQ(File("b.jpg"), cover);
    EXPECT_STREQ("Holiday", title);
    EXPECT_EQ(6, orientation);
    char small[4];
    EXPECT_EQ(1, PeekZubFile(File("peek.zub").c_str(), nullptr, small, sizeof small, nullptr));
    EXPECT_STREQ("Hol", small);

    album.SetCoverIndex(3);  // beyond the page count
    ASSERT_EQ(1, album.SaveFile(nullptr));
    EXPECT_EQ(0, PeekZubFile(File("peek.zub").c_str(), cover, nullptr, 0, nullptr));
}

TEST_F(ZubFileTest, PeekTakesAMissingOrientationAsZero) {
    ZubDocument document;  // pages without orientation records
    document.AddPage(File("a.jpg").c_str());
    document.AddPage(File("b.jpg").c_str());
    document.SetCoverIndex(1);
    ASSERT_EQ(1, document.SaveFile(File("doc.zub").c_str()));
    char cover[MAX_PATH];
    int orientation = -1;
    EXPECT_EQ(1, PeekZubFile(File("doc.zub").c_str(), cover, nullptr, 0, &orientation));
    EXPECT_EQ(0, orientation);
    EXPECT_EQ(File("b.jpg"), cover);
}

TEST_F(ZubFileTest, PeekOfAnotherFileFallsBack) {
    ASSERT_TRUE(WriteFileBytes(File("not.zub"), Bytes(40, 'q')));
    char cover[MAX_PATH];
    char title[16] = "x";
    EXPECT_EQ(1, PeekZubFile(File("not.zub").c_str(), nullptr, title, sizeof title, nullptr));
    EXPECT_STREQ("", title);
    EXPECT_EQ(0, PeekZubFile(File("not.zub").c_str(), cover, title, sizeof title, nullptr));
    EXPECT_EQ(0, PeekZubFile(File("missing.zub").c_str(), cover, nullptr, 0, nullptr));
    ASSERT_TRUE(WriteFileBytes(File("short.zub"), Bytes(5, 'q')));
    EXPECT_EQ(0, PeekZubFile(File("short.zub").c_str(), nullptr, title, sizeof title, nullptr));
}

TEST_F(ZubFileTest, LoadingGivesBackEverythingItTook) {
    long before = LiveAlbumAllocations();
    {
        ZubAlbum album;
        album.SetTitle("t");
        for (int i = 0; i < 30; ++i) album.AddPage(File("p" + std::to_string(i) + ".jpg").c_str());
        album.SetPageComment(3, "c");
        ASSERT_EQ(1, album.SaveFile(File("mem.zub").c_str()));
        ZubAlbum loaded;
        ASSERT_EQ(1, loaded.LoadFile(File("mem.zub").c_str()));
        ASSERT_EQ(1, loaded.LoadFile(File("mem.zub").c_str()));
        ZubDocument copy;
        ASSERT_EQ(1, copy.CopyFrom(loaded));
    }
    EXPECT_EQ(before, LiveAlbumAllocations());
}
