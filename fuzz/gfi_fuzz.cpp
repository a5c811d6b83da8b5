// The GFI reader's core: the lines and sections of an info file, from memory
// and through a source that hands the file over in pieces.
#include "album/gfi_core.h"
#include "fuzz/fuzz_support.h"

namespace {
void Check(const GfiContent& gfi) {
    if (gfi.status != GfiContent::kRead) FUZZ_ASSERT(gfi.sections.empty());
    FUZZ_ASSERT(gfi.title.size() <= kGfiLineLimit);
    for (const GfiSection& section : gfi.sections)
        for (const GfiEntry& entry : section.entries) FUZZ_ASSERT(entry.text.size() <= kGfiLineLimit);
}

Bytes Lines(std::initializer_list<std::string> lines, const std::string& end = "\r\n") {
    Bytes out;
    for (const std::string& line : lines) PutText(out, line + end);
    return out;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RecordReader whole(data, size);
    const GfiContent fromMemory = ReadGfi(whole);
    Check(fromMemory);
    SlicedSource source(data, size, 5);
    RecordReader pieces(&source, 0, size);
    const GfiContent fromPieces = ReadGfi(pieces);
    FUZZ_ASSERT(fromPieces.status == fromMemory.status &&
                fromPieces.sections.size() == fromMemory.sections.size());
    return 0;
}

std::vector<Bytes> FuzzSeeds() {
    const std::string id = kGfiIdentification;
    return {
        Lines({id, "<Main>", "Title=山の写真", "GazouTitleNumber=2", "NumberOfFiles=2", "<File1>",
               "FileFullName=C:\\photos\\a.jpg", "Comment=first", "<File2>", "FileName=b.bmp",
               "FileFullName=D:\\b.bmp"}),
        Lines({id, "<Main>", "NumberOfFiles=1", "<Other>", "x=1", "<File7>", "FileName=c.png"}, "\n"),
        Lines({id, "<Main>", "Title=cut"}, "\r"),
        Lines({"--- GFI File Ver0.9 ---", "<Main>"}),
    };
}
