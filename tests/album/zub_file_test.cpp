#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>

#include "album/album_memory.h"
#include "album/record_file.h"
#include "tests/album/album_test_support.h"

namespace {
Bytes PageRecords(const std::string& name, uint32_t orientation) {
    return Cat({Rec(128, PathBody(0, name)), Rec(132, Words({0})), Rec(133, Words({orientation}))});
}
std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "*").c_str(), &found);
    for (bool more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &found))
        if (std::strcmp(found.cFileName, ".") && std::strcmp(found.cFileName, ".."))
            names.push_back(found.cFileName);
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

class ZubFileTest : public AlbumDirTest {
protected:
    void AddPages(ZubDocument& album, std::initializer_list<const char*> names) {
        for (const char* name : names) ASSERT_GE(album.AddPage(File(name).c_str()), 0) << name;
    }
    Bytes Save(ZubDocument& album, const std::string& name) {
        EXPECT_EQ(1, album.SaveFile(File(name).c_str())) << name;
        return ReadFileBytes(File(name));
    }
    int Load(ZubAlbum& album, const std::string& name) { return album.LoadFile(File(name).c_str()); }
};

// Thousands of pages with long comments: a save long enough for kills to
// land in every part of it.
void FillLarge(ZubAlbum& album, const std::string& folder) {
    const std::string comment(400, 'c');
    for (int i = 0; i < 4000; ++i)
        album.SetPageComment(album.AddPage((folder + "p" + std::to_string(i) + ".jpg").c_str()),
                             comment.c_str());
}
}  // namespace

TEST_F(ZubFileTest, WritesTheLayoutByteForByte) {
    const std::string zub = File("album.zub");
    const Bytes pathRecord = Rec(0x80000003, PathBody(1, zub));
    const Bytes empty = ZubBytes(Cat({Rec(1, Words({0})), pathRecord}), {});
    ZubAlbum album, loaded;
    ASSERT_EQ(1, album.SaveFile(zub.c_str()));
    EXPECT_EQ(empty, ReadFileBytes(zub));
    EXPECT_EQ(1, Load(loaded, "album.zub"));
    EXPECT_EQ(0, loaded.PageCount());
    album.SetTitle("A");
    AddPages(album, {"first.jpg", "b.jpg"});
    album.SetCoverIndex(1);
    album.SetPageOrientation(1, 3);
    ASSERT_EQ(1, album.SaveFile(nullptr));
    EXPECT_EQ(0, album.ZubModified());
    EXPECT_EQ(ZubBytes(Cat({Rec(1, Words({1})), Rec(2, TextBody("A")), pathRecord}),
                       {PageRecords("first.jpg", 0), PageRecords("b.jpg", 3)}),
              ReadFileBytes(zub));
}

TEST_F(ZubFileTest, RoundTripKeepsEveryFieldSavesTheSameBytesAndGivesEverythingBack) {
    const long before = LiveAlbumAllocations();
    {
        ZubAlbum album, loaded;
        album.SetTitle("タイトル表");
        for (int i = 0; i < 30; ++i) album.AddPage(File("p" + std::to_string(i) + ".jpg").c_str());
        album.SetPageComment(0, "コメント");
        album.SetPageNote(1, "note");
        album.SetPageOrientation(2, 7);
        album.SetPageMark(3, 1);
        album.SetCoverIndex(2);
        const Bytes first = Save(album, "a.zub");
        ASSERT_EQ(1, Load(loaded, "a.zub"));
        ASSERT_EQ(1, Load(loaded, "a.zub"));  // a second load replaces the first
        std::string expected = "タイトル表 @2";
        const char* fields[] = {" c:コメント", " n:note", " o:7", " m:1"};
        for (int i = 0; i < 30; ++i)
            expected += " | ~\\p" + std::to_string(i) + ".jpg" + (i < 4 ? fields[i] : "");
        EXPECT_EQ(expected, Describe(loaded, folder_));
        EXPECT_STREQ("p3.jpg", loaded.GetPageFileName(3));
        EXPECT_EQ(static_cast<int>(folder_.size()), loaded.GetPageFileNameOffset(3));
        EXPECT_EQ(0, loaded.ZubModified());
        ASSERT_EQ(1, loaded.SaveFile(nullptr));
        EXPECT_EQ(first, ReadFileBytes(File("a.zub")));
        ZubDocument copy;
        ASSERT_EQ(1, copy.CopyFrom(loaded));
    }
    EXPECT_EQ(before, LiveAlbumAllocations());
}

TEST_F(ZubFileTest, UnknownRecordsInAnyOrderSurviveALoadSaveRoundTrip) {
    const Bytes unknownHeader = Rec(0x32, Bytes{1, 2, 3});
    // Two unknown page records, one of them file-only (bit 31): kept together, in their order.
    const Bytes unknownPage = Cat({Rec(0xC8, TextBody("keep me")), Rec(0x800000C9, TextBody("note"))});
    const Bytes comment = Rec(130, TextBody("c")), skipped = Rec(255, Bytes{7});
    // 127 and 255: catch-all keywords, skipped.
    Write("hand.zub",
          ZubBytes(
              Cat({Rec(2, TextBody("T")), unknownHeader, Rec(127, Bytes{9, 9, 9, 9}), Rec(1, Words({0}))}),
              {Cat({Rec(133, Words({5})), unknownPage, skipped, comment, Rec(128, PathBody(0, "x.jpg"))})}));
    ZubAlbum album;
    ASSERT_EQ(1, Load(album, "hand.zub"));
    EXPECT_EQ("T @0 | ~\\x.jpg c:c o:5", Describe(album, folder_));
    ASSERT_EQ(1, album.SaveFile(nullptr));
    const Bytes saved = ReadFileBytes(File("hand.zub"));
    const size_t headerAt = FindBytes(saved, unknownHeader), commentAt = FindBytes(saved, comment);
    ASSERT_NE(std::string::npos, headerAt);
    EXPECT_LT(FindBytes(saved, Bytes{0x03, 0, 0, 0x80}), headerAt);  // after the header's own records
    ASSERT_NE(std::string::npos, commentAt);
    EXPECT_EQ(commentAt + comment.size(), FindBytes(saved, unknownPage));  // right after keyword 130
    EXPECT_EQ(commentAt + comment.size() + unknownPage.size(), FindBytes(saved, Rec(132, Words({0}))));
    EXPECT_FALSE(Holds(saved, skipped));
}

// Page paths are stored relative to the album's folder where they can be, so
// an album moved with its pictures stays valid. The path it was written under
// is remembered; the album is where it was opened.
TEST_F(ZubFileTest, PagePathsAreStoredRelativeWhereTheyCanBeSoAMovedAlbumStaysValid) {
    MakeDirs({"A", "A\\B", "A\\B\\pics"});
    std::string otherCase = File("A\\B\\w.jpg");  // differs from the album's folder in case only
    otherCase[0] = static_cast<char>(otherCase[0] == 'C' ? 'c' : 'C');
    // clang-format off
    struct Case { std::string page; uint32_t flag; std::string text, moved; };
    const Case cases[] = {{File("A\\B\\x.jpg"), 0, "x.jpg", File("M\\x.jpg")},
                          {File("A\\B\\pics\\a.jpg"), 0, "pics\\a.jpg", File("M\\pics\\a.jpg")},
                          {File("A\\C\\y.jpg"), 0, "..\\C\\y.jpg", File("C\\y.jpg")},
                          {"Z:\\elsewhere\\z.jpg", 1, "Z:\\elsewhere\\z.jpg", "Z:\\elsewhere\\z.jpg"},
                          {otherCase, 1, otherCase, otherCase}};  // clang-format on
    ZubAlbum album, moved;
    for (const Case& c : cases) EXPECT_EQ(c.page, album.GetPagePath(album.AddPage(c.page.c_str())));
    const Bytes saved = Save(album, "A\\B\\album.zub");
    for (const Case& c : cases) EXPECT_TRUE(Holds(saved, Rec(128, PathBody(c.flag, c.text)))) << c.page;
    ASSERT_TRUE(MoveFileA(File("A\\B").c_str(), File("M").c_str()));
    ASSERT_EQ(1, Load(moved, "M\\album.zub"));
    for (int i = 0; i < 5; ++i) EXPECT_EQ(cases[i].moved, moved.GetPagePath(i));
    EXPECT_EQ(File("A\\B\\album.zub"), moved.GetSavedPath());
    EXPECT_EQ(File("M\\album.zub"), moved.GetFilePath());
    EXPECT_STREQ("album.zub", moved.GetFileName());
}

// Each file fails the load with the message it shows (none for a broken
// frame), keeps the pages read before the failure, allocates nothing that
// outlives the album and cannot overrun a title buffer when peeked at. Size
// words near 2^32 would wrap 32-bit sums into a tiny block; a real 2 MiB
// title is far beyond any title.
TEST_F(ZubFileTest, BadFilesFailTheLoadWithTheirMessageAndAllocateNothing) {
    const Bytes frame = ZubBytes({}, {}, false), oneEnd = ZubBytes(Rec(1, Words({0})), {});
    Bytes wrongMagic = frame, wrongMarker = frame, beyond = frame;
    wrongMagic[3] = 'X';
    wrongMarker[16] = 0;
    beyond[23] = 0x10;  // a header of 0x10000000 bytes
    const Bytes endless = Bytes(frame.begin(), frame.end() - 4);
    const Bytes badPage = ZubBytes({}, {Cat({Rec(128, PathBody(0, "p.jpg")), Rec(133, Bytes(8, 0))})}, false);
    auto header = [](uint32_t keyword, uint32_t size, size_t body) {
        return ZubBytes(Cat({Words({keyword, size}), Bytes(body, 'x')}), {}, false);
    };
    const std::string load = "ズブのロードでエラーが発生しました。 ParamNo:";
    // clang-format off
    struct Case { const char* name; Bytes bytes; std::string message; int pages; };
    const Case cases[] = {
        {"wrong magic", wrongMagic, "", 0},
        {"one end marker", Bytes(oneEnd.begin(), oneEnd.end() - 4), "", 0},
        {"record before any page", Cat({endless, Rec(130, TextBody("orphan")), Words({0xFFFF0000})}), "", 0},
        {"header size beyond the file", beyond, "", 0},
        {"wrong header marker", wrongMarker, "", 0},
        {"truncated", Bytes(wrongMagic.begin(), wrongMagic.begin() + 10), "", 0},
        {"a record error", badPage, load + "19  Keyword:85", 1},
        {"title of 4 GiB - 1", header(2, 0xFFFFFFFF, 16), load + "1  Keyword:2", 0},
        {"unknown record of 4 GiB - 4", header(77, 0xFFFFFFFC, 16), load + "6  Keyword:77", 0},
        {"title of 2 MiB", header(2, 2 * 1024 * 1024, 2 * 1024 * 1024), load + "1  Keyword:2", 0},
    };  // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Write("bad.zub", c.bytes);
        const long before = LiveAlbumAllocations();
        {
            MessageCatcher messages;
            ZubAlbum album;
            EXPECT_EQ(0, Load(album, "bad.zub"));
            EXPECT_EQ(c.pages, album.PageCount());
            EXPECT_EQ(0, album.ZubModified());
            std::vector<MessageCatcher::Shown> shown;
            if (!c.message.empty()) shown.emplace_back(c.message, "Save Error Contetns", MB_OK);
            EXPECT_EQ(shown, messages.shown);
            char title[64] = "unchanged", cover[MAX_PATH] = "";
            int orientation = 0;
            PeekZubFile(File("bad.zub").c_str(), cover, title, sizeof title, &orientation);
            EXPECT_LT(std::strlen(title), sizeof title);
        }
        EXPECT_EQ(before, LiveAlbumAllocations());
    }
    ZubAlbum album;
    EXPECT_EQ(0, Load(album, "missing.zub"));
    EXPECT_EQ(File("missing.zub"), album.GetFilePath());
    EXPECT_EQ(1, album.ZubModified());
}

// A child that holds the album open without sharing until it is ended (no
// fixture: a killed child leaves no folder behind).
TEST(ZubFileChild, HoldsAnAlbumOpen) {
    const char* path = std::getenv("PILTRIN_ZUB_HOLD");
    if (!path) GTEST_SKIP() << "only run as the child of AFailedSaveKeepsTheOldFileByteForByteAndSaysWhy";
    ScopedFile held(CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (held.Valid()) TellParentReady();
    Sleep(INFINITE);
}

TEST_F(ZubFileTest, AFailedSaveKeepsTheOldFileByteForByteAndSaysWhy) {
    ZubAlbum album, again;
    AddPages(album, {"a.jpg"});
    const std::string zub = File("keep.zub");
    const Bytes before = Save(album, "keep.zub");
    AddPages(album, {"b.jpg", "c.jpg"});
    enum Obstacle { kHeldByAnotherProgram, kReadOnly, kDiskFull };
    const std::pair<Obstacle, DWORD> cases[] = {{kHeldByAnotherProgram, ERROR_SHARING_VIOLATION},
                                                {kReadOnly, ERROR_ACCESS_DENIED},
                                                {kDiskFull, ERROR_DISK_FULL}};
    for (const auto& [obstacle, why] : cases) {
        SCOPED_TRACE(obstacle);
        std::unique_ptr<TestChild> holder;
        if (obstacle == kHeldByAnotherProgram) {
            holder = std::make_unique<TestChild>("ZubFileChild.HoldsAnAlbumOpen", "PILTRIN_ZUB_HOLD", zub);
            ASSERT_TRUE(holder->WaitReady(30000));
        }
        if (obstacle == kReadOnly) SetFileAttributesA(zub.c_str(), FILE_ATTRIBUTE_READONLY);
        for (uint64_t limit : {0ull, 60ull, static_cast<uint64_t>(before.size() + 20)}) {
            LimitRecordWrites(obstacle == kDiskFull ? limit : UINT64_MAX);
            SetLastError(ERROR_SUCCESS);
            EXPECT_EQ(0, album.SaveFile(nullptr));
            EXPECT_EQ(why, GetLastError());
        }
        LimitRecordWrites(UINT64_MAX);
        holder.reset();
        SetFileAttributesA(zub.c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(before, ReadFileBytes(zub));
        EXPECT_EQ(1, album.ZubModified());
        EXPECT_EQ(std::vector<std::string>{"keep.zub"}, FolderNames(folder_));  // nothing half-written left
    }
    ASSERT_EQ(1, album.SaveFile(nullptr));
    ASSERT_EQ(1, Load(again, "keep.zub"));
    EXPECT_EQ(3, again.PageCount());
    EXPECT_EQ(0, ZubAlbum().SaveFile(nullptr));  // no file path at all
}

// The child of the next test: reads the large album beside the parent's
// (quicker than building it) and saves it over the parent's until it is ended.
TEST(ZubFileChild, SavesALargeAlbum) {
    const char* folder = std::getenv("PILTRIN_ZUB_SAVE");
    if (!folder) GTEST_SKIP() << "only run as the child of ASaveKilledAtAnyMomentLeavesTheOldOrTheNewAlbum";
    ZubAlbum large;
    if (!large.LoadFile((std::string(folder) + "large.zub").c_str())) return;
    TellParentReady();
    for (const std::string target = std::string(folder) + "album.zub";;) large.SaveFile(target.c_str());
}

// Ended at random moments of the save (the ready signal comes just before
// it), the child leaves the old album or the new one, never a mix or a
// stub, and the half-written files it leaves never block the next save.
TEST_F(ZubFileTest, ASaveKilledAtAnyMomentLeavesTheOldOrTheNewAlbum) {
    ZubAlbum old, large;
    AddPages(old, {"old.jpg"});
    FillLarge(large, folder_);
    Save(large, "large.zub");
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const Bytes after = Save(large, "album.zub");
    QueryPerformanceCounter(&now);
    const LONGLONG saveTicks = now.QuadPart - start.QuadPart;
    const Bytes before = Save(old, "album.zub");
    std::mt19937 random(35);
    int kept = 0, replaced = 0;
    for (int kill = 0; kill < 50; ++kill) {
        ASSERT_EQ(1, old.SaveFile(nullptr)) << kill;
        TestChild child("ZubFileChild.SavesALargeAlbum", "PILTRIN_ZUB_SAVE", folder_);
        ASSERT_TRUE(child.WaitReady(30000));
        const LONGLONG wait = std::uniform_int_distribution<LONGLONG>(0, saveTicks * 5 / 4)(random);
        for (QueryPerformanceCounter(&start);
             QueryPerformanceCounter(&now), now.QuadPart - start.QuadPart < wait;) {
        }
        child.Kill();
        const Bytes found = ReadFileBytes(File("album.zub"));
        ASSERT_TRUE(found == before || found == after) << kill << ": " << found.size() << " bytes";
        ++(found == before ? kept : replaced);
    }
    std::printf("50 kills over a %.1f ms save: %d left the old album, %d the new one\n",
                saveTicks * 1000.0 / frequency.QuadPart, kept, replaced);
    EXPECT_GT(kept, 0);
    EXPECT_GT(replaced, 0);
}

// The half-written album is named no longer than the album itself, so the
// deepest folder that can hold the album can hold it too.
TEST_F(ZubFileTest, AnAlbumSavesInAFolderAsDeepAsItsNameAllows) {
    std::string folder = folder_;  // 248 bytes with its separator: the deepest the system creates
    while (folder.size() < 248) {
        folder += std::string(248 - folder.size() > 40 ? 32 : 248 - folder.size() - 1, 'd') + "\\";
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder.size();
    }
    for (const char* name : {"z.zub", "abcdefg.zub"}) {
        std::string path = folder + name;
        path.insert(folder.size(), MAX_PATH - 1 - path.size(), 'n');  // 259 bytes in all
        ASSERT_EQ(static_cast<size_t>(MAX_PATH - 1), path.size());
        ZubAlbum album, again;
        album.AddPage((folder + "p.jpg").c_str());
        ASSERT_EQ(1, album.SaveFile(path.c_str())) << name << " " << GetLastError();
        ASSERT_EQ(1, again.LoadFile(path.c_str()));
        EXPECT_STREQ((folder + "p.jpg").c_str(), again.GetPagePath(0));
        EXPECT_EQ(std::vector<std::string>{path.substr(folder.size())}, FolderNames(folder));
        DeleteFileA(path.c_str());
    }
}

TEST_F(ZubFileTest, PeekReadsTitleCoverAndOrientationOrFallsBack) {
    ZubAlbum album;
    album.SetTitle("Holiday");
    AddPages(album, {"a.jpg", "b.jpg", "c.jpg"});
    album.SetPageOrientation(1, 6);
    album.SetCoverIndex(1);
    Save(album, "peek.zub");
    album.SetCoverIndex(3);  // beyond the page count
    Save(album, "beyond.zub");
    ZubDocument document;  // pages without orientation records
    AddPages(document, {"a.jpg", "b.jpg"});
    document.SetCoverIndex(1);
    Save(document, "doc.zub");
    Write("not.zub", Bytes(40, 'q'));
    Write("short.zub", Bytes(5, 'q'));
    // What is asked for (a cover with its orientation, a title of so many
    // bytes) and what comes back; what is not asked for stays as it was.
    // clang-format off
    struct Case { const char* file; bool cover; size_t titleSize; int result; std::string expectCover, expectTitle; int expectOrientation; };
    const Case cases[] = {{"peek.zub", true, 64, 1, File("b.jpg"), "Holiday", 6},
                          {"peek.zub", false, 4, 1, "", "Hol", -1},
                          {"beyond.zub", true, 0, 0, "", "", -1},
                          {"doc.zub", true, 0, 1, File("b.jpg"), "x", 0},  // a missing orientation is 0
                          {"not.zub", false, 16, 1, "", "", -1},
                          {"not.zub", true, 16, 0, "", "", -1},
                          {"missing.zub", true, 0, 0, "", "", -1},
                          {"short.zub", false, 16, 0, "", "", -1}};
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        char cover[MAX_PATH] = "", title[64] = "x";
        int orientation = -1;
        EXPECT_EQ(c.result,
                  PeekZubFile(File(c.file).c_str(), c.cover ? cover : nullptr, c.titleSize ? title : nullptr,
                              c.titleSize, c.cover ? &orientation : nullptr));
        if (c.result != 1) continue;
        EXPECT_EQ(std::make_tuple(c.expectCover, c.expectTitle, c.expectOrientation),
                  std::make_tuple(std::string(cover), std::string(title), orientation));
    }
}
