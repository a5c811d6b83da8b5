#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "image/bmp_reader.h"
#include "image/transforms.h"
#include "image/picture_loader.h"
#include "tests/image/dib_test_helpers.h"

namespace {

// What MakeBmp puts at (x, y) below 16 bits: a grey ramp indexed by
// (x + y * width) modulo the table size.
Rgb GreyRampPixel(int x, int y, int width, int bits) {
    const int colours = 1 << bits;
    const int index = (x + y * width) % colours;
    const uint8_t grey = uint8_t(index * 255 / (colours - 1));
    return Rgb{grey, grey, grey};
}

Rgb ExpectedPixel(int x, int y, int width, int bits) {
    if (bits < 16) return GreyRampPixel(x, y, width, bits);
    if (bits == 16) return Quantise555(DistinctPixel(x, y));
    return DistinctPixel(x, y);
}

void SetU32(Bytes& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = uint8_t(value >> (8 * i));
}
void SetU16(Bytes& bytes, size_t at, uint32_t value) {
    bytes[at] = uint8_t(value);
    bytes[at + 1] = uint8_t(value >> 8);
}

class BmpDepths : public ::testing::TestWithParam<std::tuple<int, bool>> {};

TEST_P(BmpDepths, EveryPixelArrivesInItsPlace) {
    const auto [bits, topDown] = GetParam();
    TempDir dir;
    const std::string path = dir.File("picture.bmp");
    const int width = 7, height = 5;  // odd sizes exercise the row padding
    ASSERT_TRUE(WriteBmp(path, width, height, bits, topDown));
    LockedDib dib = LoadDib(path);
    ASSERT_TRUE(dib) << LastLoadError;
    EXPECT_EQ(dib.header->biBitCount, bits);
    EXPECT_EQ(dib.header->biWidth, width);
    EXPECT_EQ(dib.header->biHeight, topDown ? -height : height);
    EXPECT_EQ(LocalSize(LocalHandle(dib.pixels)), DibStride(bits, width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            ASSERT_EQ(PixelAt(dib.header, dib.pixels, x, y), ExpectedPixel(x, y, width, bits))
                << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(AllDepths, BmpDepths,
                         ::testing::Combine(::testing::Values(1, 4, 8, 16, 24, 32), ::testing::Bool()));

TEST(BmpReader, EightBitFileWithSixteenColoursUsedStillReadsTheWholeTable) {
    // The file holds 16 table entries; the reader takes 256 entries from
    // behind the header all the same, which include the pixel bytes.
    Bytes file;
    const int width = 4, height = 2;
    PutU16(file, 0x4D42);
    PutU32(file, 54 + 64 + 8);
    PutU32(file, 0);
    PutU32(file, 54 + 64);
    PutU32(file, 40);
    PutU32(file, width);
    PutU32(file, height);
    PutU16(file, 1);
    PutU16(file, 8);
    PutU32(file, 0);
    PutU32(file, 8);
    PutU32(file, 0);
    PutU32(file, 0);
    PutU32(file, 16);
    PutU32(file, 0);
    for (int i = 0; i < 16; ++i) PutU32(file, 0x00010203u * i);
    const uint8_t rows[8] = {0, 1, 2, 3, 15, 14, 13, 12};
    PutBytes(file, rows, sizeof rows);
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("sixteen.bmp"), file));
    HLOCAL header, pixels;
    ASSERT_EQ(ReadBmpFile(dir.File("sixteen.bmp").c_str(), &header, &pixels), 1);
    LockedDib dib(header, pixels);
    EXPECT_EQ(LocalSize(header), 40u + 1024u);
    EXPECT_EQ(dib.header->biClrUsed, 16u);
    const auto* table = reinterpret_cast<const uint32_t*>(dib.header + 1);
    EXPECT_EQ(table[5], 0x00010203u * 5);
    EXPECT_EQ(table[16], 0x03020100u);  // the pixel bytes, read as entries
    EXPECT_EQ(table[17], 0x0C0D0E0Fu);
    EXPECT_EQ(table[18], 0u);  // past the end of the file: zero
    EXPECT_EQ(std::memcmp(dib.pixels, rows, 8), 0);
}

TEST(BmpReader, FileShorterThanItsRowsLoadsWithTheMissingRowsZero) {
    TempDir dir;
    Bytes file = MakeBmp(4, 4, 24);
    file.resize(54 + 12 * 2);  // two of four rows
    ASSERT_TRUE(WriteFileBytes(dir.File("short.bmp"), file));
    LockedDib dib = LoadDib(dir.File("short.bmp"));
    ASSERT_TRUE(dib);
    EXPECT_EQ(PixelAt(dib.header, dib.pixels, 1, 3), DistinctPixel(1, 3));  // stored first
    EXPECT_EQ(PixelAt(dib.header, dib.pixels, 1, 0), (Rgb{0, 0, 0}));
}

TEST(BmpReader, HostileHeadersFailWithTheirCodes) {
    struct Case {
        const char* what;
        std::function<void(Bytes&)> spoil;
        int code;
    };
    const Case cases[] = {
        {"bad magic", [](Bytes& b) { b[0] = 'X'; }, kLoadNotThisFormat},
        {"bit count 3", [](Bytes& b) { SetU16(b, 28, 3); }, kLoadNotThisFormat},
        {"bit count 0", [](Bytes& b) { SetU16(b, 28, 0); }, kLoadNotThisFormat},
        {"two planes", [](Bytes& b) { SetU16(b, 26, 2); }, kLoadNotThisFormat},
        {"zero width", [](Bytes& b) { SetU32(b, 18, 0); }, kLoadNotThisFormat},
        {"negative width", [](Bytes& b) { SetU32(b, 18, uint32_t(-5)); }, kLoadNotThisFormat},
        {"zero height", [](Bytes& b) { SetU32(b, 22, 0); }, kLoadNotThisFormat},
        {"4-bit runs at 8 bits", [](Bytes& b) { SetU32(b, 30, BI_RLE4); }, kLoadNotThisFormat},
        {"top-down runs", [](Bytes& b) { SetU32(b, 30, BI_RLE8), SetU32(b, 22, uint32_t(-3)); },
         kLoadNotThisFormat},
        {"embedded JPEG", [](Bytes& b) { SetU32(b, 30, BI_JPEG); }, kLoadNotThisFormat},
        {"200 MB of runs promised by 80 bytes",
         [](Bytes& b) { SetU32(b, 30, BI_RLE8), SetU32(b, 18, 10000), SetU32(b, 22, 20000); },
         kLoadNotThisFormat},
        {"header size 12", [](Bytes& b) { SetU32(b, 14, 12); }, kLoadNotThisFormat},
        {"header size huge", [](Bytes& b) { SetU32(b, 14, 0x7FFFFFFF); }, kLoadNotThisFormat},
        {"pixels before the header", [](Bytes& b) { SetU32(b, 10, 20); }, kLoadNotThisFormat},
        {"pixels past the end", [](Bytes& b) { SetU32(b, 10, 1000000); }, kLoadNotThisFormat},
        {"only a file header", [](Bytes& b) { b.resize(14); }, kLoadNotThisFormat},
        {"empty file", [](Bytes& b) { b.clear(); }, kLoadNotThisFormat},
        {"2^31 rows", [](Bytes& b) { SetU32(b, 22, 0x80000000u); }, kLoadOutOfMemory},
        {"300 MB promised by 80 bytes", [](Bytes& b) { SetU32(b, 18, 10000), SetU32(b, 22, 30000); },
         kLoadNotThisFormat},
        {"65536 x 65536", [](Bytes& b) { SetU32(b, 18, 65536), SetU32(b, 22, 65536); }, kLoadOutOfMemory},
        {"stride wraps 32 bits", [](Bytes& b) { SetU32(b, 18, 0x7FFFFFFF), SetU32(b, 22, 3); },
         kLoadOutOfMemory},
    };
    TempDir dir;
    const long blocksBefore = LiveDibBlocks();
    for (const Case& c : cases) {
        Bytes file = MakeBmp(4, 3, 8);
        c.spoil(file);
        ASSERT_TRUE(WriteFileBytes(dir.File("bad.bmp"), file));
        HLOCAL header = nullptr, pixels = nullptr;
        EXPECT_EQ(LoadPicture(dir.File("bad.bmp").c_str(), nullptr, 0, &header, &pixels), 0) << c.what;
        EXPECT_EQ(LastLoadError, c.code) << c.what;
        EXPECT_EQ(header, nullptr) << c.what;
    }
    EXPECT_EQ(LiveDibBlocks(), blocksBefore);
}

TEST(BmpReader, ColourCountsBeyondTheTableAreDropped) {
    // Left in place, the graphics layer would read that many entries past
    // the header block.
    TempDir dir;
    Bytes file = MakeBmp(4, 3, 8);
    SetU32(file, 46, 100000);
    ASSERT_TRUE(WriteFileBytes(dir.File("many.bmp"), file));
    Bytes truecolour = MakeBmp(4, 3, 24);
    SetU32(truecolour, 46, 7);
    ASSERT_TRUE(WriteFileBytes(dir.File("tc.bmp"), truecolour));
    LockedDib eight = LoadDib(dir.File("many.bmp"));
    LockedDib twentyFour = LoadDib(dir.File("tc.bmp"));
    ASSERT_TRUE(eight);
    ASSERT_TRUE(twentyFour);
    EXPECT_EQ(eight.header->biClrUsed, 0u);
    EXPECT_EQ(twentyFour.header->biClrUsed, 0u);
}

// A BMP file laid out field by field: a header of headerSize bytes whose
// first 40 are the classic fields (the rest 0x77), the masks right behind
// those 40 (inside a longer header, after a 40-byte one), the colour table
// after the whole header, then data.
Bytes BmpFile(uint32_t headerSize, int width, int height, int bits, uint32_t compression,
              const std::vector<uint32_t>& masks, const std::vector<uint32_t>& table, const Bytes& data) {
    const size_t masksAfter = headerSize == 40 ? masks.size() * 4 : 0;
    const uint32_t offset = uint32_t(14 + headerSize + masksAfter + table.size() * 4);
    Bytes file;
    PutU16(file, 0x4D42);
    PutU32(file, uint32_t(offset + data.size()));
    PutU32(file, 0);
    PutU32(file, offset);
    for (uint32_t field : {headerSize, uint32_t(width), uint32_t(height)}) PutU32(file, field);
    PutU16(file, 1);
    PutU16(file, uint32_t(bits));
    for (uint32_t field : {compression, uint32_t(data.size()), 0u, 0u, 0u, 0u}) PutU32(file, field);
    for (uint32_t mask : masks) PutU32(file, mask);
    file.resize(14 + headerSize + masksAfter, 0x77);
    for (uint32_t entry : table) PutU32(file, entry);
    file.insert(file.end(), data.begin(), data.end());
    return file;
}

// The picture as the graphics layer sees it: converted to 24 bits by GDI.
std::vector<Rgb> SeenByGdi(const std::string& path, int count) {
    LockedDib dib = LoadDib(path);
    std::vector<Rgb> seen;
    if (!dib) return seen;
    EXPECT_EQ(dib.header->biSize, 40u);  // kept in the form the program reads
    HDC dc = GetDC(nullptr);
    EXPECT_EQ(1, ConvertDibTo24(dc, dib.header, dib.pixels));
    ReleaseDC(nullptr, dc);
    for (int x = 0; x < count; ++x) seen.push_back(PixelAt(dib.header, dib.pixels, x, 0));
    return seen;
}

// Bit-field masks are read where every header version keeps them, so that
// 16- and 32-bit pictures of any editor show their colours.
TEST(BmpReader, BitFieldMasksAreReadWhereEveryHeaderVersionKeepsThem) {
    const std::vector<uint32_t> m565 = {0xF800, 0x07E0, 0x001F};
    const std::vector<uint32_t> rgba = {0x000000FF, 0x0000FF00, 0x00FF0000};  // red in the first byte
    const Bytes pixels565 = {0x00, 0xF8, 0xE0, 0x07};                         // red, green
    const Bytes pixelsRgba = {0x11, 0x22, 0x33, 0xFF, 0xC0, 0x80, 0x40, 0x00};
    const std::vector<Rgb> red_green = {{255, 0, 0}, {0, 255, 0}};
    const std::vector<Rgb> rgbaSeen = {{0x11, 0x22, 0x33}, {0xC0, 0x80, 0x40}};
    TempDir dir;
    for (uint32_t headerSize : {40u, 52u, 56u, 108u, 124u}) {
        ASSERT_TRUE(WriteFileBytes(dir.File("565.bmp"),
                                   BmpFile(headerSize, 2, 1, 16, BI_BITFIELDS, m565, {}, pixels565)));
        EXPECT_EQ(SeenByGdi(dir.File("565.bmp"), 2), red_green) << headerSize;
        ASSERT_TRUE(WriteFileBytes(dir.File("rgba.bmp"),
                                   BmpFile(headerSize, 2, 1, 32, BI_BITFIELDS, rgba, {}, pixelsRgba)));
        EXPECT_EQ(SeenByGdi(dir.File("rgba.bmp"), 2), rgbaSeen) << headerSize;
    }
    // A palette picture with a longer header has its table behind the header.
    ASSERT_TRUE(WriteFileBytes(dir.File("v4.bmp"),
                               BmpFile(108, 2, 1, 1, BI_RGB, {}, {0x00102030, 0x00405060}, {0x40, 0, 0, 0})));
    EXPECT_EQ(SeenByGdi(dir.File("v4.bmp"), 2), (std::vector<Rgb>{{0x10, 0x20, 0x30}, {0x40, 0x50, 0x60}}));
}

// Run-length pictures decode to plain rows: runs, absolute runs (padded to
// a word), end of line, delta moves and end of picture; what the data skips
// is index 0, and nothing outside the picture is written.
TEST(BmpReader, RunLengthPicturesDecodeWithinThePicture) {
    const std::vector<uint32_t> table = {0x000000, 0xFF0000, 0x00FF00,
                                         0x0000FF};  // 0 black, 1 red, 2 green, 3 blue
    const Rgb k{0, 0, 0}, r{255, 0, 0}, g{0, 255, 0}, b{0, 0, 255};
    struct Case {
        const char* what;
        int bits;
        Bytes data;
        std::vector<std::vector<Rgb>> rows;  // top row first, 4 x 2
    };
    const Case cases[] = {
        {"rle8 runs and end of line", 8, {2, 1, 2, 2, 0, 0, 4, 3, 0, 1}, {{b, b, b, b}, {r, r, g, g}}},
        {"rle8 absolute run, padded",
         8,
         {0, 3, 1, 2, 3, 0xEE, 1, 1, 0, 0, 1, 2, 0, 1},
         {{g, k, k, k}, {r, g, b, r}}},
        {"rle8 delta to the next row", 8, {1, 1, 0, 2, 2, 1, 1, 3, 0, 1}, {{k, k, k, b}, {r, k, k, k}}},
        {"rle8 run past the row end is cut", 8, {9, 2, 0, 0, 1, 3, 0, 1}, {{b, k, k, k}, {g, g, g, g}}},
        {"rle8 delta out of the picture", 8, {1, 1, 0, 2, 200, 200, 1, 3}, {{k, k, k, k}, {r, k, k, k}}},
        {"rle8 data ends early", 8, {3, 2, 0}, {{k, k, k, k}, {g, g, g, k}}},
        {"rle4 alternating nibbles", 4, {4, 0x12, 0, 0, 3, 0x30, 0, 1}, {{b, k, b, k}, {r, g, r, g}}},
        {"rle4 absolute run", 4, {0, 3, 0x31, 0x20, 0, 1}, {{k, k, k, k}, {b, r, g, k}}},
    };
    TempDir dir;
    const long blocks = LiveDibBlocks();
    for (const Case& c : cases) {
        const uint32_t compression = c.bits == 8 ? BI_RLE8 : BI_RLE4;
        std::vector<uint32_t> full = table;
        full.resize(size_t(1) << c.bits, 0);
        ASSERT_TRUE(
            WriteFileBytes(dir.File("rle.bmp"), BmpFile(40, 4, 2, c.bits, compression, {}, full, c.data)));
        LockedDib dib = LoadDib(dir.File("rle.bmp"));
        ASSERT_TRUE(dib) << c.what;
        EXPECT_EQ(dib.header->biCompression, DWORD(BI_RGB)) << c.what;
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 4; ++x)
                EXPECT_EQ(PixelAt(dib.header, dib.pixels, x, y), c.rows[y][x])
                    << c.what << " " << x << "," << y;
        }
    }
    EXPECT_EQ(LiveDibBlocks(), blocks);
}

TEST(BmpReader, SavingATopDownPictureWritesItBottomUp) {
    TempDir dir;
    const int width = 3, height = 4;
    ASSERT_TRUE(WriteBmp(dir.File("top.bmp"), width, height, 24, true));
    ASSERT_NE(SavePictureAsBmp(dir.File("top.bmp").c_str(), dir.File("out.bmp").c_str()), 0);
    const Bytes expected = MakeBmp(width, height, 24, false);
    Bytes written = ReadFileBytes(dir.File("out.bmp"));
    ASSERT_EQ(written.size(), expected.size());
    // The writer leaves biSizeImage as the source had it and writes no
    // densities of its own; compare the fields it owns and every pixel.
    EXPECT_EQ(std::memcmp(written.data(), expected.data(), 14), 0);            // file header
    EXPECT_EQ(std::memcmp(written.data() + 14, expected.data() + 14, 12), 0);  // size, width, height
    EXPECT_EQ(std::memcmp(written.data() + 54, expected.data() + 54, expected.size() - 54), 0);
}

TEST(BmpReader, SavingAPalettePictureKeepsTheTable) {
    TempDir dir;
    ASSERT_TRUE(WriteBmp(dir.File("four.bmp"), 5, 3, 4, true));
    ASSERT_NE(SavePictureAsBmp(dir.File("four.bmp").c_str(), dir.File("out.bmp").c_str()), 0);
    const Bytes expected = MakeBmp(5, 3, 4, false);
    EXPECT_EQ(ReadFileBytes(dir.File("out.bmp")), expected);
}

TEST(BmpReader, SavingFailsWithoutTouchingTheDestinationWhenTheSourceFails) {
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("keep.bmp"), Bytes{1, 2, 3}));
    EXPECT_EQ(SavePictureAsBmp(dir.File("missing.bmp").c_str(), dir.File("keep.bmp").c_str()), 0);
    EXPECT_EQ(ReadFileBytes(dir.File("keep.bmp")), (Bytes{1, 2, 3}));
}

TEST(BmpReader, FlipRowsInPlaceReversesTheRowOrder) {
    BYTE rows[] = {1, 1, 2, 2, 3, 3};
    FlipRowsInPlace(rows, 2, 3);
    const BYTE expected[] = {3, 3, 2, 2, 1, 1};
    EXPECT_EQ(std::memcmp(rows, expected, 6), 0);
}

// Thousands of mutated files: none may crash, hang or leak a block or a
// GDI object, and every success must be a picture the graphics layer takes.
TEST(BmpReader, MutatedFilesNeverCrashOrLeak) {
    TempDir dir;
    const std::string path = dir.File("fuzz.bmp");
    std::vector<uint32_t> grey(256);
    for (uint32_t i = 0; i < 256; ++i) grey[i] = i * 0x010101u;
    const Bytes seeds[] = {
        MakeBmp(5, 3, 1),
        MakeBmp(6, 4, 4, true),
        MakeBmp(7, 2, 8),
        MakeBmp(3, 3, 16),
        MakeBmp(4, 5, 24, true),
        MakeBmp(3, 2, 32),
        BmpFile(124, 2, 2, 32, BI_BITFIELDS, {0xFF, 0xFF00, 0xFF0000}, {}, Bytes(16, 0x5A)),
        BmpFile(40, 9, 4, 8, BI_RLE8, {}, grey,
                {3, 7, 0, 4, 1, 2, 3, 0, 0, 0, 0, 2, 1, 1, 200, 9, 0, 0, 4, 4, 0, 1}),
        BmpFile(40, 7, 3, 4, BI_RLE4, {}, std::vector<uint32_t>(grey.begin(), grey.begin() + 16),
                {5, 0x12, 0, 0, 0, 5, 0x12, 0x34, 0x50, 0, 0, 2, 1, 1, 3, 0xAB, 0, 1}),
    };
    const size_t seedCount = sizeof seeds / sizeof seeds[0];
    std::mt19937 random(20261206);
    const long blocksBefore = LiveDibBlocks();
    const DWORD gdiBefore = GdiObjectCount();
    int loaded = 0;
    for (int round = 0; round < 2000; ++round) {
        Bytes file = seeds[round % seedCount];
        const int edits = 1 + int(random() % 4);
        for (int e = 0; e < edits; ++e) {
            const size_t at = random() % (random() % 2 ? 60 : file.size());
            switch (random() % 4) {
                case 0:
                    file[at] ^= uint8_t(1u << (random() % 8));
                    break;
                case 1:
                    file[at] = uint8_t(random());
                    break;
                case 2:
                    file[at] = random() % 2 ? 0xFF : 0x00;
                    break;
                case 3:
                    file.resize(random() % file.size() + 1);
                    break;
            }
        }
        ASSERT_TRUE(WriteFileBytes(path, file));
        HBITMAP bitmap = LoadPictureBitmap(GetDesktopWindow(), path.c_str(), nullptr, 0);
        if (bitmap) {
            ++loaded;
            DeletePictureBitmap(nullptr, bitmap);
        }
    }
    EXPECT_GT(loaded, 100);
    EXPECT_EQ(LiveDibBlocks(), blocksBefore);
    EXPECT_EQ(GdiObjectCount(), gdiBefore);
    EXPECT_TRUE(DeleteFileA(path.c_str()));  // no handle left open
}

}  // namespace
