#include <gtest/gtest.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "image/bmp_reader.h"
#include "image/jpeg_decoder.h"
#include "image/picture_loader.h"
#include "image/transforms.h"
#include "tests/image/dib_test_helpers.h"
#include "tests/support/jpeg_test_files.h"

namespace {

// Flat 8 x 8 blocks of strong colours: a JPEG keeps them within a level or
// two, so that byte order and placement can be checked exactly enough.
Rgb BlockColour(int x, int y) {
    static const Rgb colours[] = {{250, 10, 10}, {10, 250, 10}, {10, 10, 250}, {240, 240, 20}, {30, 30, 30}};
    return colours[(x / 8 + 2 * (y / 8)) % 5];
}

bool Near(Rgb a, Rgb b, int tolerance = 6) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}

// Silences the library's message output for tests that feed it damage on
// purpose; restores the error stream afterwards.
class QuietErrors {
public:
    QuietErrors() {
        std::fflush(stderr);
        saved_ = _dup(_fileno(stderr));
        const int nul = _open("NUL", _O_WRONLY);
        _dup2(nul, _fileno(stderr));
        _close(nul);
    }
    ~QuietErrors() {
        std::fflush(stderr);
        _dup2(saved_, _fileno(stderr));
        _close(saved_);
    }

private:
    int saved_;
};

struct ProgressLog {
    std::vector<std::pair<int, int>> calls;
    int stopAt = -1;  // answer non-zero at this call
    int stopAnswer = 1;
};

int __stdcall RecordProgress(int done, int total, intptr_t userData) {
    auto* log = reinterpret_cast<ProgressLog*>(userData);
    log->calls.emplace_back(done, total);
    return int(log->calls.size()) - 1 == log->stopAt ? log->stopAnswer : 0;
}

class JpegDecoder : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const Bytes& bytes) {
        const std::string path = dir_.File(name);
        EXPECT_TRUE(WriteFileBytes(path, bytes));
        return path;
    }
    TempDir dir_;
};

TEST_F(JpegDecoder, ColourPicturesArriveTopDownInBlueGreenRedOrder) {
    const std::string path = Write("colour.jpg", MakeJpeg(40, 24, BlockColour));
    LockedDib dib = LoadDib(path);
    ASSERT_TRUE(dib) << LastLoadError;
    EXPECT_EQ(dib.header->biSize, 40u);
    EXPECT_EQ(dib.header->biBitCount, 24);
    EXPECT_EQ(dib.header->biWidth, 40);
    EXPECT_EQ(dib.header->biHeight, -24);
    EXPECT_EQ(dib.header->biPlanes, 1);
    EXPECT_EQ(dib.header->biCompression, 0u);
    EXPECT_EQ(LocalSize(LocalHandle(dib.header)), 40u);
    EXPECT_EQ(LocalSize(LocalHandle(dib.pixels)), 120u * 24);
    // The first stored row is the top row; its first pixel is red, so the
    // third byte carries the red.
    EXPECT_GT(dib.pixels[2], 230);
    EXPECT_LT(dib.pixels[0], 30);
    for (int y = 0; y < 24; y += 3)
        for (int x = 0; x < 40; x += 3)
            ASSERT_TRUE(Near(PixelAt(dib.header, dib.pixels, x, y), BlockColour(x, y))) << x << "," << y;
}

TEST_F(JpegDecoder, ColourPicturesShowInTheirColours) {
    const std::string path = Write("shown.jpg", MakeJpeg(40, 24, BlockColour));
    HBITMAP bitmap = LoadPictureBitmap(GetDesktopWindow(), path.c_str(), nullptr, 0);
    ASSERT_NE(bitmap, nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    for (const auto& [x, y] :
         {std::make_pair(2, 2), std::make_pair(10, 2), std::make_pair(18, 3), std::make_pair(3, 12)}) {
        const COLORREF c = GetPixel(dc, x, y);
        EXPECT_TRUE(Near(Rgb{GetRValue(c), GetGValue(c), GetBValue(c)}, BlockColour(x, y))) << x << "," << y;
    }
    SelectObject(dc, old);
    DeleteDC(dc);
    DeletePictureBitmap(nullptr, bitmap);
}

TEST_F(JpegDecoder, GreyPicturesGetEightBitsAndAGreyTable) {
    auto ramp = [](int x, int y) { return Rgb{0, uint8_t(x * 4 + y), 0}; };
    JpegOptions grey;
    grey.kind = JpegKind::Grey;
    grey.quality = 100;
    const std::string path = Write("grey.jpg", MakeJpeg(50, 30, ramp, grey));
    LockedDib dib = LoadDib(path);
    ASSERT_TRUE(dib);
    EXPECT_EQ(dib.header->biBitCount, 8);
    EXPECT_EQ(dib.header->biHeight, -30);
    EXPECT_EQ(LocalSize(LocalHandle(dib.header)), 40u + 1024u);
    const auto* table = reinterpret_cast<const RGBQUAD*>(dib.header + 1);
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(table[i].rgbBlue, i);
        ASSERT_EQ(table[i].rgbGreen, i);
        ASSERT_EQ(table[i].rgbRed, i);
        ASSERT_EQ(table[i].rgbReserved, 0);
    }
    EXPECT_EQ(DibStride(8, 50), 52u);
    for (int y = 0; y < 30; y += 7)
        for (int x = 0; x < 50; x += 7) EXPECT_NEAR(dib.pixels[52 * y + x], x * 4 + y, 2) << x << "," << y;
}

TEST_F(JpegDecoder, EveryScaleRoundsTheSizeUp) {
    const std::string path = Write("odd.jpg", MakeJpeg(65, 49, BlockColour));
    const int expected[4][3] = {{1, 65, 49}, {2, 33, 25}, {4, 17, 13}, {8, 9, 7}};
    for (const auto& e : expected) {
        HLOCAL h, p;
        ASSERT_EQ(LoadJpeg(path.c_str(), nullptr, 0, e[0], 0, &h, &p), 1);
        LockedDib dib(h, p);
        EXPECT_EQ(dib.header->biWidth, e[1]) << e[0];
        EXPECT_EQ(dib.header->biHeight, -e[2]) << e[0];
        EXPECT_TRUE(Near(PixelAt(dib.header, dib.pixels, 0, 0), BlockColour(0, 0), 12));
        PictureInfo info{};
        ASSERT_EQ(ReadJpegInfo(path.c_str(), e[0], &info, 0), 1);
        EXPECT_EQ(info.width, e[1]);
        EXPECT_EQ(info.height, e[2]);
        EXPECT_EQ(info.colorDepth, 24);
    }
}

TEST_F(JpegDecoder, ScaleChoiceForATargetSize) {
    EXPECT_EQ(JpegScaleFor(1600, 1200, 300), 8);
    EXPECT_EQ(JpegScaleFor(1600, 1200, 180), 8);
    EXPECT_EQ(JpegScaleFor(640, 480, 300), 4);
    EXPECT_EQ(JpegScaleFor(601, 100, 300), 4);  // q = 2
    EXPECT_EQ(JpegScaleFor(600, 100, 300), 2);  // q = 1
    EXPECT_EQ(JpegScaleFor(301, 301, 300), 2);
    EXPECT_EQ(JpegScaleFor(300, 300, 300), 1);  // longer side at most T
    EXPECT_EQ(JpegScaleFor(1201, 10, 300), 8);  // q = 4
    EXPECT_EQ(JpegScaleFor(1200, 10, 300), 4);  // q = 3
}

TEST_F(JpegDecoder, ScaledLoadsDecodeAtTheChosenReduction) {
    const std::string big =
        Write("big.jpg", MakeJpeg(1600, 1200, BlockColour, JpegOptions{JpegKind::Colour, 75}));
    const std::string vga =
        Write("vga.jpg", MakeJpeg(640, 480, BlockColour, JpegOptions{JpegKind::Colour, 75}));
    const std::string small =
        Write("small.jpg", MakeJpeg(300, 200, BlockColour, JpegOptions{JpegKind::Colour, 75}));
    struct Case {
        std::string path;
        int target, width, height;
    } cases[] = {{big, 300, 200, 150}, {big, 180, 200, 150}, {vga, 300, 160, 120}, {small, 300, 300, 200}};
    for (const Case& c : cases) {
        HLOCAL h, p;
        ASSERT_EQ(LoadPreview(c.path.c_str(), nullptr, 0, &h, &p, c.target), 1);
        LockedDib dib(h, p);
        EXPECT_EQ(dib.header->biWidth, c.width) << c.path << " " << c.target;
        EXPECT_EQ(dib.header->biHeight, -c.height) << c.path << " " << c.target;
    }
}

TEST_F(JpegDecoder, ProgressIsReportedAboutTwentyTimesAndOnceForShortPictures) {
    const std::string tall = Write("tall.jpg", MakeJpeg(16, 107, BlockColour));
    ProgressLog log;
    HLOCAL h, p;
    ASSERT_EQ(LoadJpeg(tall.c_str(), RecordProgress, reinterpret_cast<intptr_t>(&log), 1, 0, &h, &p), 1);
    LockedDib(h, p).Reset();
    EXPECT_GE(log.calls.size(), 18u);
    EXPECT_LE(log.calls.size(), 23u);  // every fifth row of 107, and the end
    EXPECT_EQ(log.calls.front(), std::make_pair(0, 107));
    EXPECT_EQ(log.calls.back(), std::make_pair(107, 107));

    const std::string low = Write("low.jpg", MakeJpeg(64, 19, BlockColour));
    ProgressLog once;
    ASSERT_EQ(LoadJpeg(low.c_str(), RecordProgress, reinterpret_cast<intptr_t>(&once), 1, 0, &h, &p), 1);
    LockedDib(h, p).Reset();
    ASSERT_EQ(once.calls.size(), 1u);
    EXPECT_EQ(once.calls[0], std::make_pair(19, 19));
    // The hook answers 0 when no callback is registered, and a load leaves
    // none registered: its user data may be gone by the next decode.
    ProgressLog stopper;
    stopper.stopAt = 0;
    ASSERT_EQ(LoadJpeg(low.c_str(), RecordProgress, reinterpret_cast<intptr_t>(&stopper), 1, 0, &h, &p), 1);
    LockedDib(h, p).Reset();
    EXPECT_EQ(JpegProgressHook(1, 2), 0);
    EXPECT_EQ(stopper.calls.size(), 1u);
}

TEST_F(JpegDecoder, ACallbackThatStopsLeavesNothingAllocated) {
    const std::string path = Write("stop.jpg", MakeJpeg(16, 100, BlockColour));
    const long blocks = LiveDibBlocks();
    for (const int answer : {1, -1}) {
        ProgressLog log;
        log.stopAt = 3;
        log.stopAnswer = answer;
        HLOCAL h = nullptr, p = nullptr;
        // Through the dispatch: a stop by a positive answer ends the load
        // without asking the other readers, so code 1 stays.
        EXPECT_EQ(LoadPicture(path.c_str(), RecordProgress, reinterpret_cast<intptr_t>(&log), &h, &p), 0);
        EXPECT_EQ(h, nullptr);
        EXPECT_EQ(log.calls.size(), 4u);
        if (answer > 0) {
            EXPECT_EQ(LastLoadError, kLoadStopped);
        }
        EXPECT_EQ(LoadJpeg(path.c_str(), RecordProgress,
                           reinterpret_cast<intptr_t>(&(log = ProgressLog{{}, 2, answer})), 1, 0, &h, &p),
                  0);
        EXPECT_EQ(LastLoadError, answer > 0 ? kLoadStopped : kLoadFailed);
    }
    EXPECT_EQ(LiveDibBlocks(), blocks);
}

TEST_F(JpegDecoder, PmpFilesDecodeFromTheirBigEndianOffset) {
    const Bytes jpeg = MakeJpeg(24, 16, BlockColour);
    for (const uint32_t offset : {21u, 300u, 0x00011170u}) {
        const std::string path = Write("inner.pmp", MakePmp(jpeg, offset));
        uint32_t read = 0;
        ASSERT_EQ(ReadPmpOffset(path.c_str(), &read), 1);
        EXPECT_EQ(read, offset);
        LockedDib dib = LoadDib(path);
        ASSERT_TRUE(dib) << offset;
        EXPECT_EQ(dib.header->biWidth, 24);
        EXPECT_TRUE(Near(PixelAt(dib.header, dib.pixels, 9, 1), BlockColour(9, 1)));
        PictureInfo info{};
        ASSERT_EQ(ReadPictureInfo(path.c_str(), &info), 1);
        EXPECT_EQ(info.width, 24);
        EXPECT_EQ(info.height, 16);
        HLOCAL h, p;
        ASSERT_EQ(LoadPreview(path.c_str(), nullptr, 0, &h, &p, 6), 1);
        LockedDib reduced(h, p);
        EXPECT_EQ(reduced.header->biWidth, 6);  // q = 3: a quarter
    }
}

TEST_F(JpegDecoder, PmpWithAnotherFirstByteIsNotThisFormat) {
    const std::string path = Write("wrong.pmp", MakePmp(MakeJpeg(8, 8, BlockColour), 64, 0x11));
    HLOCAL h, p;
    EXPECT_EQ(LoadPmp(path.c_str(), nullptr, 0, &h, &p), 0);
    EXPECT_EQ(LastLoadError, kLoadNotThisFormat);
    EXPECT_EQ(LoadPicture(path.c_str(), nullptr, 0, &h, &p), 0);
    EXPECT_EQ(LastLoadError, kLoadNotThisFormat);
    const std::string stub = Write("stub.pmp", Bytes{0x10, 0, 0});
    EXPECT_EQ(LoadPmp(stub.c_str(), nullptr, 0, &h, &p), 0);
    EXPECT_EQ(LastLoadError, kLoadNotThisFormat);
}

TEST_F(JpegDecoder, CmykIsRefusedAtTheHead) {
    JpegOptions cmyk;
    cmyk.kind = JpegKind::Cmyk;
    const std::string path = Write("cmyk.jpg", MakeJpeg(16, 16, BlockColour, cmyk));
    PictureInfo info{};
    EXPECT_EQ(ReadJpegInfo(path.c_str(), 1, &info, 0), 0);
    EXPECT_EQ(info.colorDepth, 32);  // filled all the same
    EXPECT_EQ(info.width, 16);
    HLOCAL h, p;
    EXPECT_EQ(LoadJpeg(path.c_str(), nullptr, 0, 1, 0, &h, &p), 0);
    EXPECT_EQ(LastLoadError, kLoadNotThisFormat);
}

TEST_F(JpegDecoder, ProgressiveStreamsDecode) {
    JpegOptions progressive;
    progressive.progressive = true;
    const std::string path = Write("prog.jpg", MakeJpeg(33, 17, BlockColour, progressive));
    LockedDib dib = LoadDib(path);
    ASSERT_TRUE(dib);
    EXPECT_TRUE(Near(PixelAt(dib.header, dib.pixels, 20, 10), BlockColour(20, 10)));
}

TEST_F(JpegDecoder, DamagedStreamsFailWithTheirCodes) {
    QuietErrors quiet;
    const Bytes good = MakeJpeg(32, 32, BlockColour);
    HLOCAL h, p;
    const long blocks = LiveDibBlocks();
    // Without its end marker (or half of it) a stream whose rows are all
    // there opens; cut inside the coded data it fails.
    for (size_t cut : {1, 2, 40}) {
        const std::string path = Write("cut.jpg", Bytes(good.begin(), good.end() - cut));
        if (cut == 40) {
            EXPECT_EQ(LoadJpeg(path.c_str(), nullptr, 0, 1, 0, &h, &p), 0);
            EXPECT_EQ(LastLoadError, kLoadFailed);
        } else {
            LockedDib dib = LoadDib(path);
            ASSERT_TRUE(dib) << cut;
            EXPECT_TRUE(Near(PixelAt(dib.header, dib.pixels, 31, 31), BlockColour(31, 31))) << cut;
        }
    }
    EXPECT_EQ(LoadJpeg(Write("text.jpg", Bytes{'h', 'e', 'l', 'l', 'o'}).c_str(), nullptr, 0, 1, 0, &h, &p),
              0);
    EXPECT_EQ(LastLoadError, kLoadNotThisFormat);
    EXPECT_EQ(LoadJpeg(dir_.File("missing.jpg").c_str(), nullptr, 0, 1, 0, &h, &p), 0);
    EXPECT_EQ(LastLoadError, kLoadCannotOpen);
    EXPECT_EQ(LiveDibBlocks(), blocks);
}

// Patches the frame header's height and width.
Bytes WithSize(Bytes jpeg, int width, int height) {
    for (size_t i = 0; i + 8 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
            jpeg[i + 5] = uint8_t(height >> 8);
            jpeg[i + 6] = uint8_t(height);
            jpeg[i + 7] = uint8_t(width >> 8);
            jpeg[i + 8] = uint8_t(width);
            return jpeg;
        }
    }
    ADD_FAILURE() << "no frame header";
    return jpeg;
}

TEST_F(JpegDecoder, SizesNoProcessCanHoldFailBeforeAllocating) {
    QuietErrors quiet;
    const long blocks = LiveDibBlocks();
    HLOCAL h, p;
    const DWORD start = GetTickCount();
    for (const auto& size :
         {std::make_pair(65500, 65500), std::make_pair(65500, 3000), std::make_pair(20000, 20000)}) {
        const std::string path =
            Write("huge.jpg", WithSize(MakeJpeg(16, 16, BlockColour), size.first, size.second));
        EXPECT_EQ(LoadJpeg(path.c_str(), nullptr, 0, 1, 0, &h, &p), 0);
        EXPECT_EQ(LastLoadError, kLoadOutOfMemory);
    }
    // A head that can be held, over a stream far too short for it, is
    // refused quickly and before its 432 MB are taken.
    const std::string path = Write("huge.jpg", WithSize(MakeJpeg(16, 16, BlockColour), 12000, 12000));
    const uint64_t requested = DibBytesRequested();
    EXPECT_EQ(LoadJpeg(path.c_str(), nullptr, 0, 1, 0, &h, &p), 0);
    EXPECT_EQ(LastLoadError, kLoadFailed);
    EXPECT_EQ(DibBytesRequested(), requested);
    EXPECT_LT(GetTickCount() - start, 2000u);
    EXPECT_EQ(LiveDibBlocks(), blocks);
}

// Thousands of mutated JPEG and pmp files through the dispatch: no crash,
// no hang, no block, GDI object or file left behind.
TEST_F(JpegDecoder, MutatedStreamsNeverCrashOrLeak) {
    QuietErrors quiet;
    JpegOptions grey, progressive, subsampled;
    grey.kind = JpegKind::Grey;
    progressive.progressive = true;
    subsampled.fullChroma = false;
    const Bytes seeds[] = {MakeJpeg(24, 16, BlockColour), MakeJpeg(17, 9, BlockColour, grey),
                           MakeJpeg(20, 20, BlockColour, progressive),
                           MakeJpeg(40, 8, BlockColour, subsampled)};
    const std::string jpegPath = dir_.File("fuzz.jpg");
    const std::string pmpPath = dir_.File("fuzz.pmp");
    std::mt19937 random(6122026);
    const long blocks = LiveDibBlocks();
    const DWORD gdi = GdiObjectCount();
    int decoded = 0;
    for (int round = 0; round < 1000; ++round) {
        Bytes file = seeds[round % 4];
        const int edits = 1 + int(random() % 3);
        for (int e = 0; e < edits; ++e) {
            const size_t at = random() % file.size();
            switch (random() % 5) {
                case 0:
                    file[at] ^= uint8_t(1u << (random() % 8));
                    break;
                case 1:
                    file[at] = uint8_t(random());
                    break;
                case 2:
                    file[at] = 0xFF;
                    break;
                case 3:
                    file.resize(at + 1);
                    break;
                case 4:
                    file.insert(file.begin() + at, uint8_t(random()));
                    break;
            }
        }
        const bool asPmp = round % 5 == 4;
        const std::string& path = asPmp ? pmpPath : jpegPath;
        ASSERT_TRUE(WriteFileBytes(path, asPmp ? MakePmp(file, 21 + random() % 40) : file));
        HLOCAL h, p;
        const bool preview = round % 3 == 0;
        if (preview ? LoadPreview(path.c_str(), nullptr, 0, &h, &p, 5)
                    : LoadPicture(path.c_str(), nullptr, 0, &h, &p)) {
            ++decoded;
            if (round % 7 == 0) {
                DeletePictureBitmap(nullptr, MakePictureBitmap(GetDesktopWindow(), h, p));
            } else {
                LockedDib(h, p).Reset();
            }
        }
        PictureInfo info{};
        ReadPictureInfo(path.c_str(), &info);
    }
    EXPECT_GT(decoded, 100);
    EXPECT_EQ(LiveDibBlocks(), blocks);
    EXPECT_EQ(GdiObjectCount(), gdi);
    EXPECT_TRUE(DeleteFileA(jpegPath.c_str()));
    EXPECT_TRUE(DeleteFileA(pmpPath.c_str()));
}

}  // namespace

namespace {

TEST(JpegDecodeBounds, NeverWritesPastTheBlockItWasGiven) {
    // The file may change between reading its head and decoding it.
    TempDir dir;
    const std::string path = dir.File("grown.jpg");
    ASSERT_TRUE(WriteFileBytes(path, MakeJpeg(16, 16, [](int, int) { return Rgb{1, 2, 3}; })));
    std::vector<BYTE> block(16 * 48 + 8, 0xEE);
    EXPECT_EQ(DecodeJpeg(path.c_str(), 1, block.data(), 16 * 48 - 1, 0), kJpegFailed);
    EXPECT_EQ(block[0], 0xEE);
    EXPECT_EQ(DecodeJpeg(path.c_str(), 1, block.data(), 16 * 48, 0), kJpegDone);
    EXPECT_EQ(block[16 * 48], 0xEE);
    EXPECT_EQ(DecodeJpeg(dir.File("none.jpg").c_str(), 1, block.data(), block.size(), 0), kJpegCannotOpen);
}

}  // namespace

namespace {

TEST(JpegOrientation, ATopDownJpegTurnsLikeTheSamePictureStoredBottomUp) {
    TempDir dir;
    const std::string path = dir.File("turn.jpg");
    ASSERT_TRUE(WriteFileBytes(path, MakeJpeg(24, 16, BlockColour)));
    LockedDib topDown = LoadDib(path);
    ASSERT_TRUE(topDown);
    ASSERT_LT(topDown.header->biHeight, 0);
    LockedDib bottomUp;
    ASSERT_EQ(CopyDib(bottomUp.header, bottomUp.pixels, topDown.header, topDown.pixels), 1);
    FlipRowsInPlace(bottomUp.pixels, size_t(DibStride(24, 24)), 16);
    bottomUp.header->biHeight = 16;
    for (LockedDib* dib : {&topDown, &bottomUp})
        ASSERT_EQ(ApplyOrientation(nullptr, dib->header, dib->pixels, 1), 1);
    EXPECT_GT(topDown.header->biHeight, 0);
    ASSERT_EQ(topDown.header->biWidth, 16);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(PixelAt(topDown.header, topDown.pixels, x, y),
                      PixelAt(bottomUp.header, bottomUp.pixels, x, y));
    // The top-left pixel of the turned picture is the source's bottom-left.
    EXPECT_TRUE(Near(PixelAt(topDown.header, topDown.pixels, 0, 0), BlockColour(0, 15)));
}

}  // namespace
