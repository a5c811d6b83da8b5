#include "album/param_stream.h"

#include <cstring>
#include <functional>
#include <memory>

#include "album/album_memory.h"
#include "album/relative_path.h"
#include "tests/album/album_test_support.h"

namespace {
// A stream that owns its block, with the error its record operations set;
// its records go through memory blocks and through real files.
struct Stream {
    void* Block() const { return stream.Block(); }
    // Memory records (end word included); counted gets the size SaveMem counts.
    Bytes SaveMem(uint32_t* counted = nullptr) {
        HGLOBAL handle = nullptr;
        uint32_t size = 0;
        stream.SaveMem(handle, size, Block(), error);
        if (counted) *counted = size;
        Bytes bytes(size + 4);
        std::memcpy(bytes.data(), GlobalLock(handle), size + 4);
        GlobalUnlock(handle);
        FreeMovableBlock(handle);
        return bytes;
    }
    void LoadMem(const Bytes& records) { stream.LoadMem(records.data(), Block(), error); }
    // Reads file records (keyword word first); gives the word after them, or
    // 0 at the end of the bytes.
    uint32_t Read(const Bytes& records, int count = 1) {
        TempDir dir;
        EXPECT_TRUE(WriteFileBytes(dir.File("r.bin"), records));
        ScopedFile file(OpenForReading(dir.File("r.bin").c_str()));
        FileRecordReader reader(file.Get());
        uint32_t word = 0;
        for (int i = 0; i < count && reader.ReadU32(word); ++i)
            stream.ReadRecord(reader, Block(), word, error);
        return reader.ReadU32(word) ? word : 0;
    }
    Bytes Write(uint64_t limit = ~0ull) {
        TempDir dir;
        {
            ScopedFile file(
                CreateFileA(dir.File("w.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
            RecordWriter writer(file.Get(), limit);
            stream.WriteRecord(writer, Block(), error);
            EXPECT_EQ(limit == ~0ull, writer.Flush());
        }
        return ReadFileBytes(dir.File("w.bin"));
    }
    OwnedParamStream stream;
    uint32_t error = 0;
};

// A small stream like a page template: path, comment, catch-all, mark. The
// stream owns its block, so every test gets its fields' memory back.
struct TestStream : Stream {
    TestStream() {
        auto offset = std::make_unique<IntParam>(), size = std::make_unique<IntParam>();
        nameOffset = offset.get(), catchAllSize = size.get();
        path = stream.Register<PathParam>(128, nameOffset);
        stream.Add(std::move(offset));
        comment = stream.Register<StringParam>(130);
        stream.Register<BlockParam>(255, catchAllSize);
        stream.Add(std::move(size));
        mark = stream.Register<IntParam>(132);
        block = stream.Block();
    }
    PathParam* path;
    StringParam* comment;
    IntParam *nameOffset, *catchAllSize, *mark;
    void* block;
};

// A catch-all that cannot keep anything, and a field that cannot be saved.
class FailingCatchAll : public BlockParam {
public:
    explicit FailingCatchAll(IntParam* size) : BlockParam(size) {}
    int LoadMem(const uint8_t*, void*) override { return 0; }
    int ReadRecord(RecordReader&, void*) override { return 0; }
};
class FailingInt : public IntParam {
public:
    int SaveMem(HGLOBAL&, uint32_t&, void*) override { return 0; }
    int WriteRecord(RecordWriter&, void*) override { return 0; }
};
}  // namespace

// A handle given a keyword travels in memory records and never in a file: a
// file would hold a pointer of the writing process, meaningless on reading.
TEST(HandleParam, HandlesStayOutOfFilesWhateverTheirKeyword) {
    Stream s;
    HandleParam* handle = s.stream.Register<HandleParam>(140);
    handle->SetHandle(s.Block(), 0x12345678);
    EXPECT_EQ(0u, s.stream.StoredSizeAll(s.Block()));
    EXPECT_EQ(Bytes{}, s.Write());
    s.Read(Rec(140, Words({0x0BADF00D})));
    EXPECT_EQ(0u, s.error);
    EXPECT_EQ(BlockWord{0x12345678}, handle->GetHandle(s.Block(), nullptr));
    EXPECT_EQ(8 + sizeof(BlockWord) + 4, s.SaveMem().size());  // record and end word
}

// Copies into a path buffer stop at its end; files skip empty text while memory keeps it.
TEST(StringParam, CopiesStopAtAPathBufferAndOnlyFilesSkipEmptyText) {
    TestStream s;
    EXPECT_EQ(0u, s.comment->StoredSize(s.block));
    EXPECT_TRUE(Holds(s.SaveMem(), Words({130, 4, 0})));
    s.comment->SetString(s.block, "hello");
    EXPECT_EQ(14u, s.comment->StoredSize(s.block));
    EXPECT_TRUE(Holds(s.Write(), Rec(130, TextBody("hello"))));
    EXPECT_EQ(0u, s.error);
    s.comment->SetString(s.block, std::string(400, 'c').c_str());
    char out[MAX_PATH + 16];
    std::memset(out, 'x', sizeof out);
    s.comment->GetString(s.block, out);
    EXPECT_EQ(static_cast<size_t>(MAX_PATH - 1), std::strlen(out));
    EXPECT_EQ('x', out[MAX_PATH]);
}

TEST(ParamStream, MemoryRecordsRoundTripToTheEndWord) {
    TestStream source, target;
    source.path->SetPath(source.block, "C:\\pics\\a.jpg");
    source.comment->SetString(source.block, "abc");
    source.mark->SetInt(source.block, 7);
    uint32_t counted = 0;
    Bytes records = source.SaveMem(&counted);
    EXPECT_EQ(0u, source.error);
    EXPECT_EQ(Words({0xFFFFFFFF}), Bytes(records.begin() + counted, records.end()));
    target.LoadMem(records);
    EXPECT_EQ(0u, target.error);
    EXPECT_STREQ("C:\\pics\\a.jpg", target.path->GetString(target.block, nullptr));
    EXPECT_EQ(8, target.nameOffset->GetInt(target.block, nullptr));
    EXPECT_STREQ("abc", target.comment->GetString(target.block, nullptr));
    EXPECT_EQ(7, target.mark->GetInt(target.block, nullptr));
    // An end word alone loads nothing; memory records with bit 31 are skipped.
    for (const Bytes& skipped :
         {Words({0xFFFFFFFF}),
          Cat({Rec(0x80000084, Words({5})), Rec(0x800000C8, Words({6})), Words({0xFFFFFFFF})})}) {
        TestStream s;
        s.LoadMem(skipped);
        EXPECT_EQ(0u, s.error);
        EXPECT_EQ(0, s.mark->GetInt(s.block, nullptr));
        EXPECT_EQ(0, s.catchAllSize->GetInt(s.block, nullptr));
    }
}

// One file record (or two) read into a fresh stream: the error, the word
// the reader stands before (where a record was skipped), what the fields hold
// (mark, catch-all size, comment, path) and whether anything was allocated.
TEST(ParamStream, FileRecordsAreReadOrRefused) {
    const Bytes unknown = Cat({Rec(0xC8, Bytes{9, 8, 7}), Rec(0x800000C9, TextBody("note"))});
    const std::string deepBase = "C:\\" + std::string(200, 'b') + "\\";
    const std::string kept = "0 " + std::to_string(unknown.size());
    const Bytes skip{1, 2, 3, 4, 5, 6}, after = Words({0xABCDEF01});
    // clang-format off
    struct Case { const char* name; std::string base; Bytes bytes; int records; uint32_t error, next; std::string fields; };
    const Case cases[] = {
        {"mark with bit 31: matched by its low bits", "", Rec(0x80000084, Words({5})), 1, 0, 0, "5 0 '' ''"},
        {"catch-all 127 skipped by size", "", Cat({Rec(127, skip), after}), 1, 0, 0xABCDEF01, "0 0 '' ''"},
        {"catch-all 255 skipped by size", "", Cat({Rec(255, skip), after}), 1, 0, 0xABCDEF01, "0 0 '' ''"},
        {"unknown records kept", "", unknown, 2, 0, 0, kept + " '' '' +"},
        {"path of 3", "", Cat({Words({128, 3}), Bytes(300, 'a')}), 1, 1, 0, "0 0 '' ''"},
        {"path of 265", "", Cat({Words({128, 265}), Bytes(300, 'a')}), 1, 1, 0, "0 0 '' ''"},
        {"path of 0", "", Cat({Words({128, 0}), Bytes(300, 'a')}), 1, 1, 0, "0 0 '' ''"},
        {"relative text too long to expand", deepBase, Rec(128, PathBody(0, std::string(100, 'n') + ".jpg")), 1, 1, 0, "0 0 '' ''"},
        {"text without terminator ends with its record", "", Cat({Rec(130, Bytes{'a', 'b', 'c'}), Words({0x41414141})}), 1, 0, 0x41414141, "0 0 'abc' '' +"},
        {"text size beyond the file", "", Cat({Words({130, 0x7FFFFFF0}), Chars("short")}), 1, 1, 0, "0 0 '' ''"},
    };  // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestStream s;
        if (!c.base.empty()) s.path->SetBaseDirectory(c.base.c_str());
        MessageCatcher messages;
        const long before = LiveAlbumAllocations();
        const uint32_t next = s.Read(c.bytes, c.records);
        if (c.next) {
            EXPECT_EQ(c.next, next);  // where the record was skipped, the reader stands after it
        }
        EXPECT_EQ(c.error, s.error);
        EXPECT_EQ(c.fields, std::to_string(s.mark->GetInt(s.block, nullptr)) + " " +
                                std::to_string(s.catchAllSize->GetInt(s.block, nullptr)) + " '" +
                                s.comment->GetString(s.block, nullptr) + "' '" +
                                s.path->GetString(s.block, nullptr) + "'" +
                                (before == LiveAlbumAllocations() ? "" : " +"));
    }
}

TEST(ParamStream, AStreamWithoutCatchAllStepsOverUnknownRecords) {
    Stream s;
    IntParam* value = s.stream.Register<IntParam>(1);
    s.Read(Cat({Rec(9, Bytes{1, 2, 3, 4, 5}), Rec(1, Words({42}))}), 2);
    EXPECT_EQ(42, value->GetInt(s.Block(), nullptr));
}

TEST(PathParam, TextsWrittenRelativeOrAbsolute) {
    std::string deep = "C:\\";
    for (int i = 0; i < 60; ++i) deep += "d\\";  // relative texts from here could not be read back
    // The album's file tests see the other relative and absolute texts in the bytes.
    // clang-format off
    struct Case { std::string base; const char *path, *text; uint32_t flag; };
    const Case cases[] = {
        {"C:\\A\\B\\", "C:\\x.jpg", "..\\..\\x.jpg", 0},
        {"C:\\A\\B\\", "C:\\A\\表\\z.jpg", "..\\表\\z.jpg", 0},
        {deep, "C:\\x.jpg", "C:\\x.jpg", 1},
    };  // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        TestStream s;
        s.path->SetBaseDirectory(c.base.c_str());
        s.path->SetString(s.block, c.path);
        uint32_t flag = 9;
        EXPECT_EQ(c.text, s.path->StoredText(s.block, flag));
        EXPECT_EQ(c.flag, flag);
    }
}

TEST(RelativePath, CountsCommonLevelsMultibyteAware) {
    EXPECT_EQ(0, CommonPrefixCount("C:\\x", ""));
    EXPECT_EQ(3, CommonPrefixCount("C:\\A\\B\\x.jpg", "C:\\A\\B\\"));
    EXPECT_EQ(1, CommonPrefixCount("C:\\AB\\x", "C:\\A\\"));
    EXPECT_EQ("..\\AB\\x", RelativeText("C:\\AB\\x", "C:\\A\\", 1));
    EXPECT_EQ(2, CountSeparators("C:\\表\\"));  // the trail byte of 表 is no level of its own
    EXPECT_EQ(2, CommonPrefixCount("C:\\表\\x", "C:\\表\\"));
}

// Each failure shows its message (keyword in hex for a matching field read
// back, in decimal otherwise) once per operation, and records go on after it.
TEST(RecordMessages, EachFailureShowsItsMessage) {
    const std::string load = "ズブのロードでエラーが発生しました。 ParamNo:", save = "Save Error Contetns";
    const std::string memLoad = "ズブのメモリロードでエラーが発生しました。 ParamNo:";
    // clang-format off
    struct Case { const char* name; std::function<uint32_t()> run; std::vector<MessageCatcher::Shown> shown; };
    const Case cases[] = {
        {"file read of a matching field, twice",
         [] {
             Stream s;
             for (uint32_t keyword : {1u, 2u, 3u, 133u}) s.stream.Register<IntParam>(keyword);
             for (int i = 0; i < 2; ++i) s.Read(Rec(133, Bytes(8, 0)));
             return s.error;
         },
         {{load + "3  Keyword:85", save, MB_OK}}},
        {"memory load of a matching field",
         [] {
             TestStream s;
             s.LoadMem(Cat({Rec(0x84, Bytes(8, 0)), Rec(130, TextBody("still read")), Words({0xFFFFFFFF})}));
             EXPECT_STREQ("still read", s.comment->GetString(s.block, nullptr));
             return s.error;
         },
         {{memLoad + "5  Keyword:84", "LoadMem Error Contetns", MB_OK}}},
        {"catch-all in memory and in a file",
         [] {
             Stream s;
             s.stream.Register<IntParam>(1);
             auto size = std::make_unique<IntParam>();
             s.stream.Register<FailingCatchAll>(255, size.get());
             s.stream.Add(std::move(size));
             s.LoadMem(Cat({Rec(200, Words({1})), Words({0xFFFFFFFF})}));
             s.error = 0;
             s.Read(Rec(0x800000C9, Words({1})));
             return s.error;
         },
         {{memLoad + "1  Keyword:200", save, MB_OK}, {load + "1  Keyword:201", save, MB_OK}}},
        {"saves in memory and to a file",
         [] {
             Stream s;
             s.stream.Register<IntParam>(1);
             s.stream.Register<FailingInt>(300);
             s.SaveMem();
             EXPECT_EQ(1u, s.error);
             s.error = 0;
             s.Write();
             return s.error;
         },
         {{"ズブのメモリセーブでエラーが発生しました。 ParamNo:1  Keyword:300", save, MB_OK},
          {"ズブのセーブでエラーが発生しました。 ParamNo:1  Keyword:300", save, MB_OK}}},
        {"a full disk",
         [] {
             TestStream s;
             s.comment->SetString(s.block, std::string(70000, 'c').c_str());
             s.Write(1000);
             return s.error;
         },
         {{"ズブのセーブでエラーが発生しました。 ParamNo:2  Keyword:130", save, MB_OK}}},
    };  // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MessageCatcher messages;
        EXPECT_EQ(1u, c.run());
        EXPECT_EQ(c.shown, messages.shown);
    }
}
