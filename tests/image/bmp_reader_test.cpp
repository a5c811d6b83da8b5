#include <cstring>

#include "image/bmp_reader.h"
#include "image/transforms.h"
#include "tests/image/dib_test_helpers.h"
#include "tests/support/jpeg_test_files.h"

namespace {

void SetU32(Bytes& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = uint8_t(value >> (8 * i));
}

using BmpReader = ImageTest;

// Every depth in either row order: header, block size and every pixel as
// stored; the conversion to 24 bits keeps every pixel; a save writes the
// picture bottom-up, byte for byte as a bottom-up file of it.
class BmpDepths : public ImageTest, public ::testing::WithParamInterface<std::tuple<int, bool>> {};

TEST_P(BmpDepths, PixelsSurviveLoadConversionAndSave) {
    const auto [bits, topDown] = GetParam();
    const int width = 7, height = 5;  // odd sizes exercise the row padding
    const std::string path = Write("picture.bmp", MakeBmp(width, height, bits, topDown));
    LockedDib dib = LoadDib(path), converted = LoadDib(path);
    ASSERT_TRUE(dib) << LastLoadError;
    // size, width, height, planes, bits and compression
    const BITMAPINFOHEADER want{40, width, topDown ? -height : height, 1, WORD(bits), BI_RGB, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(dib.header, &want, 20), 0);
    EXPECT_EQ(LocalSize(LocalHandle(dib.pixels)), DibStride(bits, width) * height);
    for (int i = 0; i < width * height; ++i)
        ASSERT_EQ(PixelAt(dib, i % width, i / width), BmpPixel(i % width, i / width, width, bits)) << i;
    ASSERT_EQ(ConvertDibTo24(nullptr, converted.header, converted.pixels), 1);
    EXPECT_EQ(converted.header->biBitCount, 24);
    EXPECT_EQ(converted.header->biHeight,
              bits == 24 && topDown ? -height : height);  // 24 bits left as they were
    EXPECT_TRUE(SamePixels(converted, dib));
    ASSERT_NE(SavePictureAsBmp(path.c_str(), dir_.File("out.bmp").c_str()), 0);
    EXPECT_EQ(ReadFileBytes(dir_.File("out.bmp")), MakeBmp(width, height, bits, false));
}

INSTANTIATE_TEST_SUITE_P(AllDepths, BmpDepths,
                         ::testing::Combine(::testing::Values(1, 4, 8, 16, 24, 32), ::testing::Bool()));

// Files that are damaged but readable: what the file lacks reads as zero,
// and counts that promise more table than there is are dropped.
TEST_F(BmpReader, DamagedButReadableFiles) {
    std::vector<uint32_t> entries(16);
    for (uint32_t i = 0; i < 16; ++i) entries[i] = 0x00010203u * i;
    const Bytes rows = {0, 1, 2, 3, 15, 14, 13, 12};
    Bytes sixteen = BmpFile(40, 4, 2, 8, BI_RGB, {}, entries, rows);
    SetU32(sixteen, 46, 16);  // 16 entries used; the reader takes 256 all the same
    HLOCAL h, p;
    ASSERT_EQ(ReadBmpFile(Write("sixteen.bmp", sixteen).c_str(), &h, &p), 1);
    LockedDib dib(h, p);
    EXPECT_EQ(LocalSize(h), 40u + 1024u);
    EXPECT_EQ(dib.header->biClrUsed, 16u);
    const auto* table = reinterpret_cast<const uint32_t*>(dib.header + 1);
    // Entry 16 on are the pixel bytes read as entries, then zero past the end of the file.
    EXPECT_EQ(std::vector<uint32_t>(table + 15, table + 19),
              (std::vector<uint32_t>{0x00010203u * 15, 0x03020100u, 0x0C0D0E0Fu, 0u}));
    EXPECT_EQ(std::memcmp(dib.pixels, rows.data(), 8), 0);

    Bytes half = MakeBmp(4, 4, 24);
    half.resize(54 + 12 * 2);  // two of four rows
    LockedDib shortFile = Load("short.bmp", half);
    ASSERT_TRUE(shortFile);
    EXPECT_EQ(PixelAt(shortFile, 1, 3), DistinctPixel(1, 3));  // stored first
    EXPECT_EQ(PixelAt(shortFile, 1, 0), (Rgb{0, 0, 0}));
    // Left in place, the graphics layer would read that many entries past the header.
    for (const auto& [bits, used] : {std::make_pair(8, 100000u), std::make_pair(24, 7u)}) {
        Bytes many = MakeBmp(4, 3, bits);
        SetU32(many, 46, used);
        LockedDib loaded = Load("many.bmp", many);
        ASSERT_TRUE(loaded) << bits;
        EXPECT_EQ(loaded.header->biClrUsed, 0u) << bits;
    }
    EXPECT_EQ(SavePictureAsBmp(dir_.File("missing.bmp").c_str(), Write("keep.bmp", {1, 2, 3}).c_str()), 0);
    EXPECT_EQ(ReadFileBytes(dir_.File("keep.bmp")), (Bytes{1, 2, 3}));  // a failed save leaves it alone
}

TEST_F(BmpReader, HostileHeadersFailWithTheirCodesAndNothingAllocated) {
    const int notBmp = kLoadNotThisFormat, noMemory = kLoadOutOfMemory;
    // clang-format off
    // (offset, value): a 16-bit field at 0, 26 or 28; value ~0 cuts the file there.
    const struct { const char* what; std::vector<std::pair<size_t, uint32_t>> fields; int code; } cases[] = {
        {"bad magic", {{0, 0x4D58}}, notBmp}, {"bit count 3", {{28, 3}}, notBmp},
        {"bit count 0", {{28, 0}}, notBmp}, {"two planes", {{26, 2}}, notBmp},
        {"zero width", {{18, 0}}, notBmp}, {"negative width", {{18, uint32_t(-5)}}, notBmp},
        {"zero height", {{22, 0}}, notBmp}, {"4-bit runs at 8 bits", {{30, BI_RLE4}}, notBmp},
        {"top-down runs", {{30, BI_RLE8}, {22, uint32_t(-3)}}, notBmp},
        {"embedded JPEG", {{30, BI_JPEG}}, notBmp},
        {"200 MB of runs promised by 80 bytes", {{30, BI_RLE8}, {18, 10000}, {22, 20000}}, notBmp},
        {"header size 12", {{14, 12}}, notBmp}, {"header size huge", {{14, 0x7FFFFFFF}}, notBmp},
        {"pixels before the header", {{10, 20}}, notBmp}, {"pixels past the end", {{10, 1000000}}, notBmp},
        {"only a file header", {{14, 0xFFFFFFFF}}, notBmp}, {"empty file", {{0, 0xFFFFFFFF}}, notBmp},
        {"2^31 rows", {{22, 0x80000000u}}, noMemory},
        {"300 MB promised by 80 bytes", {{18, 10000}, {22, 30000}}, notBmp},
        {"65536 x 65536", {{18, 65536}, {22, 65536}}, noMemory},
        {"stride wraps 32 bits", {{18, 0x7FFFFFFF}, {22, 3}}, noMemory}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes file = MakeBmp(4, 3, 8);
        for (const auto& [at, value] : c.fields) {
            if (value == 0xFFFFFFFF)
                file.resize(at);
            else if (at == 0 || at == 26 || at == 28)
                file[at] = uint8_t(value), file[at + 1] = uint8_t(value >> 8);
            else
                SetU32(file, at, value);
        }
        HLOCAL header = nullptr, pixels = nullptr;
        EXPECT_EQ(LoadPicture(Write("bad.bmp", file).c_str(), nullptr, 0, &header, &pixels), 0);
        EXPECT_EQ(LastLoadError, c.code);
        EXPECT_EQ(header, nullptr);
    }
}

// Bit-field masks are read where every header version keeps them, so that
// 16- and 32-bit pictures of any editor show their colours; a palette
// picture with a longer header has its table behind the header.
TEST_F(BmpReader, BitFieldMasksAndTablesAreReadWhereEveryHeaderVersionKeepsThem) {
    const std::vector<uint32_t> all = {40, 52, 56, 108, 124};
    // clang-format off
    struct Case { std::vector<uint32_t> headerSizes; int bits; uint32_t compression; std::vector<uint32_t> masks, table;
                  Bytes data; std::vector<Rgb> seen; };
    const Case cases[] = {
        {all, 16, BI_BITFIELDS, {0xF800, 0x07E0, 0x001F}, {}, {0, 0xF8, 0xE0, 7}, {{255, 0, 0}, {0, 255, 0}}},
        {all, 32, BI_BITFIELDS, {0xFF, 0xFF00, 0xFF0000}, {}, {0x11, 0x22, 0x33, 0xFF, 0xC0, 0x80, 0x40, 0},
         {{0x11, 0x22, 0x33}, {0xC0, 0x80, 0x40}}},
        {{108}, 1, BI_RGB, {}, {0x102030, 0x405060}, {0x40, 0, 0, 0}, {{0x10, 0x20, 0x30}, {0x40, 0x50, 0x60}}},
    };
    // clang-format on
    HDC dc = GetDC(nullptr);
    for (const auto& c : cases)
        for (const uint32_t size : c.headerSizes) {
            SCOPED_TRACE(size);
            LockedDib dib =
                Load("f.bmp", BmpFile(size, 2, 1, c.bits, c.compression, c.masks, c.table, c.data));
            ASSERT_TRUE(dib);
            EXPECT_EQ(dib.header->biSize, 40u);                        // kept in the form the program reads
            ASSERT_EQ(ConvertDibTo24(dc, dib.header, dib.pixels), 1);  // as the graphics layer sees it
            EXPECT_EQ((std::vector<Rgb>{PixelAt(dib, 0, 0), PixelAt(dib, 1, 0)}), c.seen);
        }
    ReleaseDC(nullptr, dc);
}

// Runs, absolute runs (padded to a word), end of line, delta moves and end
// of picture; what the data skips is index 0, nothing outside is written.
TEST_F(BmpReader, RunLengthPicturesDecodeWithinThePicture) {
    const Rgb k{0, 0, 0}, r{255, 0, 0}, g{0, 255, 0}, b{0, 0, 255};
    // clang-format off
    struct Case { const char* what; int bits; Bytes data; std::vector<Rgb> pixels; /* 4 x 2, top row first */ };
    const Case cases[] = {
        {"rle8 runs and end of line", 8, {2, 1, 2, 2, 0, 0, 4, 3, 0, 1}, {b, b, b, b, r, r, g, g}},
        {"rle8 absolute run, padded", 8, {0, 3, 1, 2, 3, 0xEE, 1, 1, 0, 0, 1, 2, 0, 1}, {g, k, k, k, r, g, b, r}},
        {"rle8 delta to the next row", 8, {1, 1, 0, 2, 2, 1, 1, 3, 0, 1}, {k, k, k, b, r, k, k, k}},
        {"rle8 run past the row end is cut", 8, {9, 2, 0, 0, 1, 3, 0, 1}, {b, k, k, k, g, g, g, g}},
        {"rle8 delta out of the picture", 8, {1, 1, 0, 2, 200, 200, 1, 3}, {k, k, k, k, r, k, k, k}},
        {"rle8 data ends early", 8, {3, 2, 0}, {k, k, k, k, g, g, g, k}},
        {"rle4 alternating nibbles", 4, {4, 0x12, 0, 0, 3, 0x30, 0, 1}, {b, k, b, k, r, g, r, g}},
        {"rle4 absolute run", 4, {0, 3, 0x31, 0x20, 0, 1}, {k, k, k, k, b, r, g, k}}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint32_t> table = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};  // black, red, green, blue
        table.resize(size_t(1) << c.bits, 0);
        const uint32_t compression = c.bits == 8 ? BI_RLE8 : BI_RLE4;
        LockedDib dib = Load("rle.bmp", BmpFile(40, 4, 2, c.bits, compression, {}, table, c.data));
        ASSERT_TRUE(dib);
        EXPECT_EQ(dib.header->biCompression, DWORD(BI_RGB));
        std::vector<Rgb> pixels;
        for (int i = 0; i < 8; ++i) pixels.push_back(PixelAt(dib, i % 4, i / 4));
        EXPECT_EQ(pixels, c.pixels);
    }
}

// Mutated files through the dispatch, as pictures, previews, bitmaps and
// information: none may crash, hang or leave a block, a GDI object or an
// open file behind.
// clang-format off
struct FuzzTarget { const char* name; std::vector<Bytes> (*seeds)(); int rounds; uint32_t randomSeed;
                    int pmpEvery; /* every so many rounds the stream goes inside a pmp file */ };
// clang-format on

class MutatedFiles : public ImageTest, public ::testing::WithParamInterface<FuzzTarget> {};

TEST_P(MutatedFiles, NeverCrashOrLeak) {
    const FuzzTarget& target = GetParam();
    const std::vector<Bytes> seeds = target.seeds();
    std::mt19937 random(target.randomSeed);
    int shown = 0;
    for (int round = 0; round < target.rounds; ++round) {
        Bytes file = seeds[round % seeds.size()];
        Mutate(file, random, 4);
        const bool asPmp = target.pmpEvery && round % target.pmpEvery == target.pmpEvery - 1;
        const std::string path =
            Write(asPmp ? "fuzz.pmp" : target.name, asPmp ? MakePmp(file, 21 + random() % 40) : file);
        HLOCAL h, p;
        HBITMAP bitmap = nullptr;
        if (round % 3 == 1) {
            shown += (bitmap = LoadPictureBitmap(GetDesktopWindow(), path.c_str(), nullptr, 0)) != nullptr;
        } else if (round % 3 ? LoadPicture(path.c_str(), nullptr, 0, &h, &p)
                             : LoadPreview(path.c_str(), nullptr, 0, &h, &p, 5)) {
            ++shown;
            if (round % 7)
                LockedDib(h, p).Reset();
            else
                bitmap = MakePictureBitmap(GetDesktopWindow(), h, p);
        }
        DeletePictureBitmap(nullptr, bitmap);
        PictureInfo info{};
        if (ReadPictureInfo(path.c_str(), &info)) FreePictureInfo(&info);
    }
    for (const char* name : {target.name, "fuzz.pmp"})
        EXPECT_TRUE(!FileExists(dir_.File(name)) || DeleteFileA(dir_.File(name).c_str()))
            << "a handle was left open";
    EXPECT_GT(shown, 100);
}

std::vector<Bytes> BmpSeeds() {
    std::vector<uint32_t> grey(256);
    for (uint32_t i = 0; i < 256; ++i) grey[i] = i * 0x010101u;
    const std::vector<uint32_t> grey16(grey.begin(), grey.begin() + 16);
    // clang-format off
    return {MakeBmp(5, 3, 1), MakeBmp(6, 4, 4, true), MakeBmp(7, 2, 8), MakeBmp(3, 3, 16), MakeBmp(4, 5, 24, true),
            MakeBmp(3, 2, 32),
            BmpFile(124, 2, 2, 32, BI_BITFIELDS, {0xFF, 0xFF00, 0xFF0000}, {}, Bytes(16, 0x5A)),
            BmpFile(40, 9, 4, 8, BI_RLE8, {}, grey,
                    {3, 7, 0, 4, 1, 2, 3, 0, 0, 0, 0, 2, 1, 1, 200, 9, 0, 0, 4, 4, 0, 1}),
            BmpFile(40, 7, 3, 4, BI_RLE4, {}, grey16,
                    {5, 0x12, 0, 0, 0, 5, 0x12, 0x34, 0x50, 0, 0, 2, 1, 1, 3, 0xAB, 0, 1})};
    // clang-format on
}

std::vector<Bytes> JpegSeeds() {
    const JpegOptions grey{JpegKind::Grey}, progressive{JpegKind::Colour, 95, true},
        subsampled{JpegKind::Colour, 95, false, false};
    return {MakeJpeg(24, 16, BlockColour), MakeJpeg(17, 9, BlockColour, grey),
            MakeJpeg(20, 20, BlockColour, progressive), MakeJpeg(40, 8, BlockColour, subsampled)};
}

INSTANTIATE_TEST_SUITE_P(Readers, MutatedFiles,
                         ::testing::Values(FuzzTarget{"fuzz.bmp", BmpSeeds, 2000, 20261206, 0},
                                           FuzzTarget{"fuzz.jpg", JpegSeeds, 1000, 6122026, 5}),
                         [](const auto& info) { return std::string(info.param.name).substr(5); });

}  // namespace
