// The .zub reader's core: the walk over a whole album, each record read with
// the body its keyword has in the album, and the quick look at a cover page;
// once from memory and once through a source that hands the file over in
// pieces, as a file read in buffers does.
#include "album/zub_core.h"
#include "fuzz/fuzz_support.h"

namespace {
// The record kinds of the album's header and page fields; other keywords
// are kept whole, as the catch-all params keep them.
enum class Kind { kInt, kText, kPath, kSkipped, kKept };

Kind HeaderKind(uint32_t keyword) {
    switch (keyword) {
        case 1:
            return Kind::kInt;
        case 2:
            return Kind::kText;
        case 3:
            return Kind::kPath;
        case 127:
            return Kind::kSkipped;
    }
    return Kind::kKept;
}

Kind PageKind(uint32_t keyword) {
    switch (keyword) {
        case kKeywordPagePath:
            return Kind::kPath;
        case kKeywordPageComment:
        case kKeywordPageNote:
            return Kind::kText;
        case kKeywordPageMark:
        case kKeywordPageOrientation:
            return Kind::kInt;
        case 255:
            return Kind::kSkipped;
    }
    return Kind::kKept;
}

bool ReadBody(RecordReader& file, Kind kind) {
    uint32_t value = 0;
    std::string text;
    switch (kind) {
        case Kind::kInt:
            return ReadIntRecord(file, &value);
        case Kind::kText:
            if (!ReadTextRecord(file, &text)) return false;
            FUZZ_ASSERT(text.size() <= kTextRecordLimit);
            return true;
        case Kind::kPath:
            if (!ReadPathRecord(file, &value, &text)) return false;
            FUZZ_ASSERT(text.size() <= kPathRecordLimit);
            return true;
        case Kind::kSkipped:
            return SkipRecord(file);
        case Kind::kKept: {
            uint32_t size = 0;
            if (!ReadKeptRecordSize(file, &size)) return false;
            std::vector<uint8_t> kept(size_t(size) + 8);
            return file.Read(kept.data() + 8, size);
        }
    }
    return false;
}

class Records : public ZubRecordVisitor {
public:
    bool HeaderRecord(RecordReader& file, uint32_t word) override {
        return ReadBody(file, HeaderKind(word & 0x00FFFFFF));
    }
    void HeaderEnd() override { ++headerEnds; }
    bool NewPage() override { return ++pages < 100000; }
    bool PageRecord(RecordReader& file, uint32_t word) override {
        FUZZ_ASSERT(pages > 0);
        return ReadBody(file, PageKind(word & 0x00FFFFFF));
    }
    int pages = 0;
    int headerEnds = 0;
};

void Read(RecordReader& walked, RecordReader& peeked) {
    Records records;
    const int whole = WalkZub(walked, records);
    FUZZ_ASSERT(records.headerEnds <= 1);
    FUZZ_ASSERT(!whole || records.headerEnds == 1);
    ZubPeek peek;
    if (PeekZub(peeked, true, true, 63, &peek) == ZubPeekResult::kDone) FUZZ_ASSERT(peek.hasCoverPath);
    FUZZ_ASSERT(peek.title.size() <= 63 && peek.coverText.size() <= kPathRecordLimit);
}

const uint32_t kPath = kKeywordPagePath, kComment = kKeywordPageComment, kTurn = kKeywordPageOrientation;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RecordReader walked(data, size), peeked(data, size);
    Read(walked, peeked);
    SlicedSource source(data, size, 7);
    RecordReader walkedInPieces(&source, 0, size), peekedInPieces(&source, 0, size);
    Read(walkedInPieces, peekedInPieces);
    return 0;
}

std::vector<Bytes> FuzzSeeds() {
    const Bytes header = Cat({Rec(1, Words({1})), Rec(2, TextBody("旅行")),
                              Rec(0x80000003, PathBody(1, "C:\\a.zub")), Rec(0x9000, Words({7, 8}))});
    const Bytes first = Cat({Rec(kPath, PathBody(0, "a.jpg")), Rec(kComment, TextBody("note")),
                             Rec(kKeywordPageMark, Words({2}))});
    const Bytes second =
        Cat({Rec(kPath, PathBody(1, "D:\\b.bmp")), Rec(kTurn, Words({5})), Rec(300, Chars("kept"))});
    return {
        ZubBytes(header, {first, second}),
        ZubBytes(header, {first, second}, false),
        ZubBytes(Rec(2, TextBody("empty")), {}),
        ZubBytes({}, {Rec(kPath, PathBody(0, "only.png"))}),
    };
}
