#include "album/param_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "album/album_memory.h"
#include "album/relative_path.h"
#include "tests/album/album_test_support.h"

namespace {
// A small stream like a page template: path, comment, catch-all, mark.
struct TestStream {
    TestStream() {
        auto offset = std::make_unique<IntParam>();
        nameOffset = offset.get();
        path = stream.Register<PathParam>(128, nameOffset);
        stream.Add(std::move(offset));
        comment = stream.Register<StringParam>(130);
        auto size = std::make_unique<IntParam>();
        catchAllSize = size.get();
        catchAll = stream.Register<BlockParam>(255, catchAllSize);
        stream.Add(std::move(size));
        mark = stream.Register<IntParam>(132);
        block = AllocAlbumBlock(stream.TotalSize());
        stream.InitAll(block);
    }
    ~TestStream() {
        stream.ReleaseAll(block);
        FreeAlbumBlock(block);
    }
    ParamStream stream;
    PathParam* path;
    IntParam* nameOffset;
    StringParam* comment;
    BlockParam* catchAll;
    IntParam* catchAllSize;
    IntParam* mark;
    void* block;
};

// Memory records of a stream, as bytes (end word included).
Bytes SaveMemBytes(ParamStream& stream, void* block, uint32_t& error, uint32_t* counted = nullptr) {
    HGLOBAL handle = nullptr;
    uint32_t size = 0;
    stream.SaveMem(handle, size, block, error);
    if (counted) *counted = size;
    Bytes bytes(size + 4);
    std::memcpy(bytes.data(), GlobalLock(handle), size + 4);
    GlobalUnlock(handle);
    FreeMovableBlock(handle);
    return bytes;
}

// Reads one file record (keyword word first) from bytes into the stream.
void ReadOneRecord(ParamStream& stream, void* block, const Bytes& record, uint32_t& error) {
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("r.bin"), record));
    ScopedFile file(OpenForReading(dir.File("r.bin").c_str()));
    RecordReader reader(file.Get());
    uint32_t keywordWord = 0;
    ASSERT_TRUE(reader.ReadU32(keywordWord));
    stream.ReadRecord(reader, block, keywordWord, error);
}

// What WriteRecord writes for the whole stream.
Bytes WriteBytes(ParamStream& stream, void* block, uint32_t& error) {
    TempDir dir;
    {
        ScopedFile file(
            CreateFileA(dir.File("w.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        RecordWriter writer(file.Get());
        stream.WriteRecord(writer, block, error);
        writer.Flush();
    }
    return ReadFileBytes(dir.File("w.bin"));
}

// A catch-all that cannot keep anything, for the catch-all messages.
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

TEST(ParamStream, OffsetsFollowRegistrationOrder) {
    // One pointer-sized word per field, in the build's word size.
    TestStream s;
    const int w = kBlockWordSize;
    EXPECT_EQ(0, s.path->offset);
    EXPECT_EQ(w, s.nameOffset->offset);
    EXPECT_EQ(2 * w, s.comment->offset);
    EXPECT_EQ(5 * w, s.mark->offset);
    EXPECT_EQ(6u * w, s.stream.TotalSize());
    EXPECT_STREQ("", s.comment->GetString(s.block, nullptr));
}

// A handle given a keyword travels in memory records and never in a file: a
// file would hold a pointer of the writing process, meaningless on reading.
TEST(HandleParam, HandlesStayOutOfFilesWhateverTheirKeyword) {
    ParamStream stream;
    HandleParam* handle = stream.Register<HandleParam>(140);
    void* block = AllocAlbumBlock(stream.TotalSize());
    stream.InitAll(block);
    handle->SetHandle(block, 0x12345678);
    uint32_t error = 0;
    EXPECT_EQ(0u, stream.StoredSizeAll(block));
    EXPECT_EQ(Bytes{}, WriteBytes(stream, block, error));
    Bytes record;
    PutRecord(record, 140, U32Body(0x0BADF00D));
    ReadOneRecord(stream, block, record, error);
    EXPECT_EQ(0u, error);
    EXPECT_EQ(BlockWord{0x12345678}, handle->GetHandle(block, nullptr));
    const Bytes memory = SaveMemBytes(stream, block, error);
    EXPECT_EQ(8 + sizeof(BlockWord) + 4, memory.size());  // the record and the end word
    stream.ReleaseAll(block);
    FreeAlbumBlock(block);
}

TEST(StringParam, CopiesIntoAPathBufferStopAtItsEnd) {
    TestStream s;
    s.comment->SetString(s.block, std::string(400, 'c').c_str());
    char out[MAX_PATH + 16];
    std::memset(out, 'x', sizeof out);
    s.comment->GetString(s.block, out);
    EXPECT_EQ(static_cast<size_t>(MAX_PATH - 1), std::strlen(out));
    EXPECT_EQ('x', out[MAX_PATH]);
}

TEST(StringParam, FileSkipsEmptyTextWhileMemoryKeepsIt) {
    TestStream s;
    EXPECT_EQ(0u, s.comment->StoredSize(s.block));
    uint32_t error = 0;
    Bytes memory = SaveMemBytes(s.stream, s.block, error);
    Bytes emptyComment;
    PutU32(emptyComment, 130);
    PutU32(emptyComment, 4);
    PutU32(emptyComment, 0);
    EXPECT_NE(std::string::npos, FindBytes(memory, emptyComment));
    s.comment->SetString(s.block, "hello");
    EXPECT_EQ(14u, s.comment->StoredSize(s.block));
    Bytes file = WriteBytes(s.stream, s.block, error);
    Bytes expected;
    PutRecord(expected, 130, TextBody("hello"));
    EXPECT_NE(std::string::npos, FindBytes(file, expected));
    EXPECT_EQ(0u, error);
}

TEST(ParamStream, MemoryRecordsRoundTripAndEndWithTheEndWord) {
    TestStream source, target;
    source.path->SetPath(source.block, "C:\\pics\\a.jpg");
    source.comment->SetString(source.block, "abc");
    source.mark->SetInt(source.block, 7);
    uint32_t error = 0, counted = 0;
    Bytes records = SaveMemBytes(source.stream, source.block, error, &counted);
    EXPECT_EQ(0u, error);
    // path: 8 + 4 + 16 ("C:\pics\a.jpg" + terminator padded), comment 8 + 4, mark 12.
    EXPECT_EQ(28u + 12u + 12u, counted);
    uint32_t end;
    std::memcpy(&end, records.data() + counted, 4);
    EXPECT_EQ(0xFFFFFFFFu, end);
    target.stream.LoadMem(records.data(), target.block, error);
    EXPECT_EQ(0u, error);
    EXPECT_STREQ("C:\\pics\\a.jpg", target.path->GetString(target.block, nullptr));
    EXPECT_EQ(8, target.nameOffset->GetInt(target.block, nullptr));
    EXPECT_STREQ("abc", target.comment->GetString(target.block, nullptr));
    EXPECT_EQ(7, target.mark->GetInt(target.block, nullptr));
}

TEST(ParamStream, AnEndWordAloneLoadsNothing) {
    TestStream s;
    Bytes records;
    PutU32(records, 0xFFFFFFFF);
    uint32_t error = 0;
    s.stream.LoadMem(records.data(), s.block, error);
    EXPECT_EQ(0u, error);
    EXPECT_EQ(0, s.catchAllSize->GetInt(s.block, nullptr));
}

TEST(ParamStream, MemoryRecordsWithBit31AreSkippedWhileFilesMatchTheirLowBits) {
    TestStream s;
    Bytes records;
    PutRecord(records, 0x80000000 | 132, U32Body(5));
    PutRecord(records, 0x80000000 | 200, U32Body(6));
    PutU32(records, 0xFFFFFFFF);
    uint32_t error = 0;
    s.stream.LoadMem(records.data(), s.block, error);
    EXPECT_EQ(0, s.mark->GetInt(s.block, nullptr));
    EXPECT_EQ(0, s.catchAllSize->GetInt(s.block, nullptr));
    Bytes record;
    PutRecord(record, 0x80000000 | 132, U32Body(5));
    ReadOneRecord(s.stream, s.block, record, error);
    EXPECT_EQ(5, s.mark->GetInt(s.block, nullptr));
    EXPECT_EQ(0u, error);
}

TEST(ParamStream, CatchAllKeywordsInFilesAreSkippedBySize) {
    TestStream s;
    uint32_t error = 0;
    for (uint32_t keyword : {127u, 255u}) {
        Bytes record;
        PutRecord(record, keyword, Bytes{1, 2, 3, 4, 5, 6});
        PutU32(record, 0xABCDEF01);
        TempDir dir;
        ASSERT_TRUE(WriteFileBytes(dir.File("r.bin"), record));
        ScopedFile file(OpenForReading(dir.File("r.bin").c_str()));
        RecordReader reader(file.Get());
        uint32_t word = 0, next = 0;
        reader.ReadU32(word);
        s.stream.ReadRecord(reader, s.block, word, error);
        ASSERT_TRUE(reader.ReadU32(next));
        EXPECT_EQ(0xABCDEF01u, next);
    }
    EXPECT_EQ(0, s.catchAllSize->GetInt(s.block, nullptr));
    EXPECT_EQ(0u, error);
}

TEST(ParamStream, UnknownFileRecordsAreKeptAndWrittenBackUnchanged) {
    TestStream s;
    uint32_t error = 0;
    Bytes first, second;
    PutRecord(first, 0x000000C8, Bytes{9, 8, 7});
    PutRecord(second, 0x800000C9, TextBody("note"));
    ReadOneRecord(s.stream, s.block, first, error);
    ReadOneRecord(s.stream, s.block, second, error);
    EXPECT_EQ(0u, error);
    EXPECT_EQ(static_cast<int>(first.size() + second.size()), s.catchAllSize->GetInt(s.block, nullptr));
    s.path->SetPath(s.block, "C:\\a.jpg");
    Bytes written = WriteBytes(s.stream, s.block, error);
    Bytes both = first;
    PutBytes(both, second.data(), second.size());
    size_t at = FindBytes(written, both);
    ASSERT_NE(std::string::npos, at);
    // After the path record, before the mark record.
    Bytes mark;
    PutRecord(mark, 132, U32Body(0));
    EXPECT_EQ(at + both.size(), FindBytes(written, mark));
}

TEST(ParamStream, AStreamWithoutCatchAllStepsOverUnknownRecords) {
    ParamStream stream;
    IntParam* value = stream.Register<IntParam>(1);
    void* block = AllocAlbumBlock(stream.TotalSize());
    Bytes bytes;
    PutRecord(bytes, 9, Bytes{1, 2, 3, 4, 5});
    PutRecord(bytes, 1, U32Body(42));
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("r.bin"), bytes));
    ScopedFile file(OpenForReading(dir.File("r.bin").c_str()));
    RecordReader reader(file.Get());
    uint32_t error = 0, word = 0;
    for (int i = 0; i < 2 && reader.ReadU32(word); ++i) stream.ReadRecord(reader, block, word, error);
    EXPECT_EQ(42, value->GetInt(block, nullptr));
    FreeAlbumBlock(block);
}

TEST(PathParam, RecordSizesOutsideFourTo264AreRefused) {
    TestStream s;
    MessageCatcher messages;
    for (uint32_t size : {3u, 265u, 0u}) {
        Bytes record;
        PutU32(record, 128);
        PutU32(record, size);
        Bytes body(300, 'a');
        PutBytes(record, body.data(), body.size());
        uint32_t error = 0;
        ReadOneRecord(s.stream, s.block, record, error);
        EXPECT_EQ(1u, error) << size;
    }
    EXPECT_STREQ("", s.path->GetString(s.block, nullptr));
}

TEST(PathParam, TextsWrittenRelativeOrAbsolute) {
    TestStream s;
    s.path->SetBaseDirectory("C:\\A\\B\\");
    struct Case {
        const char* path;
        const char* text;
        uint32_t flag;
    };
    const Case cases[] = {
        {"C:\\A\\B\\x.jpg", "x.jpg", 0},           {"C:\\A\\C\\y.jpg", "..\\C\\y.jpg", 0},
        {"C:\\x.jpg", "..\\..\\x.jpg", 0},         {"D:\\A\\B\\x.jpg", "D:\\A\\B\\x.jpg", 1},
        {"c:\\A\\B\\x.jpg", "c:\\A\\B\\x.jpg", 1},  // case matters
        {"C:\\A\\表\\z.jpg", "..\\表\\z.jpg", 0},
    };
    for (const Case& c : cases) {
        s.path->SetString(s.block, c.path);
        uint32_t flag = 9;
        EXPECT_EQ(c.text, s.path->StoredText(s.block, flag)) << c.path;
        EXPECT_EQ(c.flag, flag) << c.path;
        EXPECT_EQ(strlen(c.text) + 13, s.path->StoredSize(s.block));
    }
}

TEST(RelativePath, CountsCommonLevelsMultibyteAware) {
    EXPECT_EQ(0, CommonPrefixCount("C:\\x", ""));
    EXPECT_EQ(3, CommonPrefixCount("C:\\A\\B\\x.jpg", "C:\\A\\B\\"));
    EXPECT_EQ(1, CommonPrefixCount("C:\\AB\\x", "C:\\A\\"));
    EXPECT_EQ("..\\AB\\x", RelativeText("C:\\AB\\x", "C:\\A\\", 1));
    // The trail byte of 表 is no level of its own.
    EXPECT_EQ(2, CountSeparators("C:\\表\\"));
    EXPECT_EQ(2, CommonPrefixCount("C:\\表\\x", "C:\\表\\"));
}

TEST(PathParam, ARelativeTextTooLongToExpandIsRefused) {
    TestStream s;
    std::string base = "C:\\" + std::string(200, 'b') + "\\";
    s.path->SetBaseDirectory(base.c_str());
    Bytes record;
    PutRecord(record, 128, PathBody(0, std::string(100, 'n') + ".jpg"));
    uint32_t error = 0;
    MessageCatcher messages;
    ReadOneRecord(s.stream, s.block, record, error);
    EXPECT_EQ(1u, error);
    EXPECT_STREQ("", s.path->GetString(s.block, nullptr));
}

TEST(PathParam, AbsolutePathsAreWrittenWhenRelativeOnesCouldNotBeReadBack) {
    TestStream s;
    std::string base = "C:\\";
    for (int i = 0; i < 60; ++i) base += "d\\";  // 60 levels deep
    s.path->SetBaseDirectory(base.c_str());
    s.path->SetString(s.block, "C:\\x.jpg");
    uint32_t flag = 0;
    EXPECT_EQ("C:\\x.jpg", s.path->StoredText(s.block, flag));
    EXPECT_EQ(1u, flag);
}

TEST(StringParam, RecordsWithoutTerminatorEndAtTheRecordsEnd) {
    TestStream s;
    Bytes record;
    PutRecord(record, 130, Bytes{'a', 'b', 'c'});
    PutU32(record, 0x41414141);  // bytes that must not join the text
    uint32_t error = 0;
    ReadOneRecord(s.stream, s.block, record, error);
    EXPECT_EQ(0u, error);
    EXPECT_STREQ("abc", s.comment->GetString(s.block, nullptr));
}

TEST(StringParam, SizesBeyondTheFileAreRefusedBeforeAllocating) {
    TestStream s;
    Bytes record;
    PutU32(record, 130);
    PutU32(record, 0x7FFFFFF0);
    PutText(record, "short");
    uint32_t error = 0;
    MessageCatcher messages;
    long before = LiveAlbumAllocations();
    ReadOneRecord(s.stream, s.block, record, error);
    EXPECT_EQ(1u, error);
    EXPECT_EQ(before, LiveAlbumAllocations());
}

TEST(RecordMessages, FileReadOfAMatchingParamShowsHexKeyword) {
    ParamStream stream;
    for (uint32_t keyword : {1u, 2u, 3u}) stream.Register<IntParam>(keyword);
    stream.Register<IntParam>(133);
    void* block = AllocAlbumBlock(stream.TotalSize());
    MessageCatcher messages;
    Bytes record;
    PutRecord(record, 133, Bytes(8, 0));
    uint32_t error = 0;
    ReadOneRecord(stream, block, record, error);
    ReadOneRecord(stream, block, record, error);  // a second failure shows nothing
    EXPECT_EQ(1u, error);
    ASSERT_EQ(1u, messages.shown.size());
    EXPECT_EQ("ズブのロードでエラーが発生しました。 ParamNo:3  Keyword:85", messages.shown[0].text);
    EXPECT_EQ("Save Error Contetns", messages.shown[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_OK), messages.shown[0].type);
    FreeAlbumBlock(block);
}

TEST(RecordMessages, MemoryLoadOfAMatchingParamShowsTheRecordsKeywordWordInHex) {
    TestStream s;
    MessageCatcher messages;
    Bytes records;
    PutRecord(records, 0x00000084, Bytes(8, 0));  // mark with a wrong size
    PutRecord(records, 130, TextBody("still read"));
    PutU32(records, 0xFFFFFFFF);
    uint32_t error = 0;
    s.stream.LoadMem(records.data(), s.block, error);
    EXPECT_EQ(1u, error);
    ASSERT_EQ(1u, messages.shown.size());
    EXPECT_EQ("ズブのメモリロードでエラーが発生しました。 ParamNo:5  Keyword:84", messages.shown[0].text);
    EXPECT_EQ("LoadMem Error Contetns", messages.shown[0].caption);
    EXPECT_STREQ("still read", s.comment->GetString(s.block, nullptr));  // records go on after an error
}

TEST(RecordMessages, CatchAllFailuresShowDecimalKeywords) {
    ParamStream stream;
    stream.Register<IntParam>(1);
    auto size = std::make_unique<IntParam>();
    stream.Register<FailingCatchAll>(255, size.get());
    stream.Add(std::move(size));
    void* block = AllocAlbumBlock(stream.TotalSize());
    stream.InitAll(block);
    MessageCatcher messages;
    Bytes records;
    PutRecord(records, 200, U32Body(1));
    PutU32(records, 0xFFFFFFFF);
    uint32_t error = 0;
    stream.LoadMem(records.data(), block, error);
    Bytes record;
    PutRecord(record, 0x800000C9, U32Body(1));
    error = 0;
    ReadOneRecord(stream, block, record, error);
    ASSERT_EQ(2u, messages.shown.size());
    EXPECT_EQ("ズブのメモリロードでエラーが発生しました。 ParamNo:1  Keyword:200", messages.shown[0].text);
    EXPECT_EQ("Save Error Contetns", messages.shown[0].caption);
    EXPECT_EQ("ズブのロードでエラーが発生しました。 ParamNo:1  Keyword:201", messages.shown[1].text);
    EXPECT_EQ("Save Error Contetns", messages.shown[1].caption);
    stream.ReleaseAll(block);
    FreeAlbumBlock(block);
}

TEST(RecordMessages, SaveFailuresShowDecimalKeywords) {
    ParamStream stream;
    stream.Register<IntParam>(1);
    stream.Register<FailingInt>(300);
    void* block = AllocAlbumBlock(stream.TotalSize());
    MessageCatcher messages;
    uint32_t error = 0;
    SaveMemBytes(stream, block, error);
    EXPECT_EQ(1u, error);
    error = 0;
    WriteBytes(stream, block, error);
    EXPECT_EQ(1u, error);
    ASSERT_EQ(2u, messages.shown.size());
    EXPECT_EQ("ズブのメモリセーブでエラーが発生しました。 ParamNo:1  Keyword:300", messages.shown[0].text);
    EXPECT_EQ("Save Error Contetns", messages.shown[0].caption);
    EXPECT_EQ("ズブのセーブでエラーが発生しました。 ParamNo:1  Keyword:300", messages.shown[1].text);
    EXPECT_EQ("Save Error Contetns", messages.shown[1].caption);
    FreeAlbumBlock(block);
}

TEST(RecordMessages, AFullDiskFailsTheWrite) {
    TestStream s;
    s.comment->SetString(s.block, std::string(70000, 'c').c_str());
    MessageCatcher messages;
    TempDir dir;
    ScopedFile file(
        CreateFileA(dir.File("w.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    RecordWriter writer(file.Get(), 1000);
    uint32_t error = 0;
    s.stream.WriteRecord(writer, s.block, error);
    EXPECT_EQ(1u, error);
    EXPECT_FALSE(writer.Flush());
    ASSERT_EQ(1u, messages.shown.size());
    EXPECT_EQ("ズブのセーブでエラーが発生しました。 ParamNo:2  Keyword:130", messages.shown[0].text);
}
