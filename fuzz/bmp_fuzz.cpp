// The BMP reader's core over a whole file: the headers, the colour table or
// masks, and the plain or run-length rows, placed into blocks of exactly the
// sizes the Windows reader allocates, so that AddressSanitizer sees any read
// or write outside them.
#include "fuzz/fuzz_support.h"
#include "image/bmp_core.h"

namespace {
// Larger pictures are checked but not decoded: each run would spend its time
// clearing memory instead of exploring the format.
constexpr uint64_t kLargestDecoded = 64u << 10;

// The bytes of the file from offset on, at most size of them.
std::vector<uint8_t> Part(const uint8_t* data, size_t size, uint64_t offset, uint64_t wanted) {
    if (offset >= size) return {};
    const size_t take = size_t(std::min<uint64_t>(wanted, size - offset));
    return std::vector<uint8_t>(data + offset, data + offset + take);
}

// Run-length data of a picture width x 2: one encoded run, an absolute run,
// a delta move, the end of a line, the end of the picture.
Bytes RunLengthRows(int bits) {
    Bytes data = {3, 0x12, 0, 3, 0x21, 0x43, 0x05, 0, 0, 2, 1, 0, 0, 0, 2, 0x35, 0, 1};
    if (bits == 4) data[5] = 0x21;
    return data;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DibInfo shown{};
    ReadBmpInfoHeader(data, size, &shown);
    BmpLayout layout;
    if (ReadBmpHeaders(data, size, size, &layout) != BmpVerdict::kUsable) return 0;
    // What comes out must be a picture every later stage accepts.
    FUZZ_ASSERT(IsUsableDibHeader(layout.info));
    FUZZ_ASSERT(sizeof layout.info + layout.tableBytes == DibHeaderBytes(layout.info));
    if (layout.pixelBytes > kLargestDecoded) return 0;

    std::vector<uint8_t> header(sizeof layout.info + layout.tableBytes);
    std::memcpy(header.data(), &layout.info, sizeof layout.info);
    const std::vector<uint8_t> table = Part(data, size, layout.tableOffset, layout.tableBytes);
    std::copy(table.begin(), table.end(), header.begin() + sizeof layout.info);

    std::vector<uint8_t> pixels(size_t(layout.pixelBytes));
    if (layout.runLength) {
        const std::vector<uint8_t> coded = Part(data, size, layout.pixelOffset, layout.codedBytes);
        DecodeRunLength(coded.data(), coded.size(), layout.runBits, layout.info.biWidth, DibRows(layout.info),
                        size_t(DibStride(layout.info.biBitCount, layout.info.biWidth)), pixels.data());
    } else {
        const std::vector<uint8_t> rows = Part(data, size, layout.pixelOffset, layout.pixelBytes);
        std::copy(rows.begin(), rows.end(), pixels.begin());
    }
    return 0;
}

std::vector<Bytes> FuzzSeeds() {
    std::vector<Bytes> seeds;
    for (int bits : {1, 4, 8, 16, 24, 32}) {
        seeds.push_back(MakeBmp(5, 3, bits));
        seeds.push_back(MakeBmp(3, 2, bits, true));
    }
    const std::vector<uint32_t> masks = {0xF800, 0x07E0, 0x001F};
    seeds.push_back(BmpFile(40, 2, 2, 16, kDibBitFields, masks, {}, Bytes(8, 0x5A)));
    seeds.push_back(BmpFile(124, 2, 2, 32, kDibBitFields, {0xFF0000, 0xFF00, 0xFF}, {}, Bytes(16, 0xA5)));
    seeds.push_back(BmpFile(108, 2, 2, 24, kDibRgb, {}, {}, Bytes(16, 0x33)));
    seeds.push_back(
        BmpFile(40, 4, 2, 8, kDibRle8, {}, std::vector<uint32_t>(6, 0x00808080), RunLengthRows(8)));
    seeds.push_back(
        BmpFile(40, 4, 2, 4, kDibRle4, {}, std::vector<uint32_t>(16, 0x00404040), RunLengthRows(4)));
    return seeds;
}
