#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "image/bmp_reader.h"
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
        {"run-length data", [](Bytes& b) { SetU32(b, 30, BI_RLE8); }, kLoadNotThisFormat},
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

TEST(BmpReader, BitFieldMasksTravelWithTheHeader) {
    // 16 bits in 5-6-5 layout, as the graphics layer writes them.
    Bytes file;
    PutU16(file, 0x4D42);
    PutU32(file, 66 + 4);
    PutU32(file, 0);
    PutU32(file, 66);
    PutU32(file, 40);
    PutU32(file, 2);
    PutU32(file, 1);
    PutU16(file, 1);
    PutU16(file, 16);
    PutU32(file, BI_BITFIELDS);
    PutU32(file, 4);
    PutU32(file, 0);
    PutU32(file, 0);
    PutU32(file, 0);
    PutU32(file, 0);
    PutU32(file, 0xF800);
    PutU32(file, 0x07E0);
    PutU32(file, 0x001F);
    PutU16(file, 0xF800);  // red
    PutU16(file, 0x07E0);  // green
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("565.bmp"), file));
    LockedDib dib = LoadDib(dir.File("565.bmp"));
    ASSERT_TRUE(dib);
    const auto* masks = reinterpret_cast<const uint32_t*>(dib.header + 1);
    EXPECT_EQ(masks[0], 0xF800u);
    EXPECT_EQ(masks[2], 0x001Fu);
    HLOCAL header, pixels;
    dib.Release(&header, &pixels);
    HBITMAP bitmap = MakePictureBitmap(GetDesktopWindow(), header, pixels);
    ASSERT_NE(bitmap, nullptr);
    DeletePictureBitmap(nullptr, bitmap);
}

TEST(BmpReader, LongerHeadersHaveTheirTableReadFromBehindThem) {
    // A version-4 header is 108 bytes; the table follows it, not byte 54.
    Bytes file;
    PutU16(file, 0x4D42);
    PutU32(file, 14 + 108 + 8 + 4);
    PutU32(file, 0);
    PutU32(file, 14 + 108 + 8);
    PutU32(file, 108);
    PutU32(file, 2);
    PutU32(file, 1);
    PutU16(file, 1);
    PutU16(file, 1);
    for (int i = 0; i < 6; ++i) PutU32(file, 0);
    file.resize(14 + 108, 0x77);  // the rest of the longer header
    PutU32(file, 0x00102030);     // entry 0
    PutU32(file, 0x00405060);     // entry 1
    PutU8(file, 0x40);            // pixels 0 and 1: indexes 0 and 1
    PutU8(file, 0);
    PutU8(file, 0);
    PutU8(file, 0);
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("v4.bmp"), file));
    LockedDib dib = LoadDib(dir.File("v4.bmp"));
    ASSERT_TRUE(dib) << LastLoadError;
    EXPECT_EQ(dib.header->biSize, 40u);  // kept in the form the program reads
    EXPECT_EQ(PixelAt(dib.header, dib.pixels, 0, 0), (Rgb{0x10, 0x20, 0x30}));
    EXPECT_EQ(PixelAt(dib.header, dib.pixels, 1, 0), (Rgb{0x40, 0x50, 0x60}));
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
    const Bytes seeds[] = {MakeBmp(5, 3, 1),  MakeBmp(6, 4, 4, true),  MakeBmp(7, 2, 8),
                           MakeBmp(3, 3, 16), MakeBmp(4, 5, 24, true), MakeBmp(3, 2, 32)};
    std::mt19937 random(20261206);
    const long blocksBefore = LiveDibBlocks();
    const DWORD gdiBefore = GdiObjectCount();
    int loaded = 0;
    for (int round = 0; round < 2000; ++round) {
        Bytes file = seeds[round % 6];
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
