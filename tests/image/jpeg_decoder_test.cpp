#include <algorithm>
#include <cstring>
#include <tuple>

#include "image/bmp_reader.h"
#include "image/jpeg_decoder.h"
#include "tests/image/dib_test_helpers.h"
#include "tests/support/jpeg_test_files.h"

namespace {

using JpegDecoder = ImageTest;

Rgb GreyRamp(int x, int y) {
    const uint8_t v = uint8_t(x * 4 + y);
    return Rgb{v, v, v};
}

// Colour arrives top-down as blue-green-red in 24 bits, grey as 8 bits with
// a grey table, a progressive stream like any other; a stream that lacks
// only its end marker (or half of it) opens with every row.
TEST_F(JpegDecoder, EveryKindArrivesTopDownWithItsPixels) {
    const JpegOptions grey{JpegKind::Grey, 100}, progressive{JpegKind::Colour, 95, true};
    // clang-format off
    struct Case { JpegOptions options; Rgb (*pattern)(int, int); int width, height, bits, tolerance, cut; };
    const Case cases[] = {
        {{}, BlockColour, 40, 24, 24, 6, 0}, {grey, GreyRamp, 50, 30, 8, 2, 0},
        {progressive, BlockColour, 33, 17, 24, 6, 0}, {{}, BlockColour, 32, 32, 24, 6, 1},
        {{}, BlockColour, 32, 32, 24, 6, 2}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.width << "x" << c.height << ", " << c.bits << " bits, cut " << c.cut);
        const Bytes jpeg = MakeJpeg(c.width, c.height, c.pattern, c.options);
        LockedDib dib = Load("kind.jpg", Bytes(jpeg.begin(), jpeg.end() - c.cut));
        ASSERT_TRUE(dib) << LastLoadError;
        // size, width, height, planes, bits and compression
        const BITMAPINFOHEADER expected{40, c.width, -c.height, 1, WORD(c.bits), BI_RGB, 0, 0, 0, 0, 0};
        EXPECT_EQ(std::memcmp(dib.header, &expected, 20), 0);
        EXPECT_EQ(LocalSize(LocalHandle(dib.header)), c.bits == 8 ? 40u + 1024u : 40u);
        EXPECT_EQ(LocalSize(LocalHandle(dib.pixels)), DibStride(c.bits, c.width) * c.height);
        const auto* table = reinterpret_cast<const uint32_t*>(dib.header + 1);
        for (uint32_t i = 0; c.bits == 8 && i < 256; ++i) ASSERT_EQ(table[i], i * 0x010101u) << i;
        for (int i = 0; i < c.width * c.height; ++i) {
            const int x = i % c.width, y = i / c.width;
            ASSERT_TRUE(Near(PixelAt(dib, x, y), c.pattern(x, y), c.tolerance)) << x << "," << y;
        }
    }
}

// The scale for a target size, and the size a scaled load gives: rounded up.
TEST_F(JpegDecoder, ScaledLoadsRoundTheSizeUp) {
    // clang-format off
    const struct { int width, height, target, scale; bool decode; } cases[] = {
        {1600, 1200, 300, 8, true}, {1600, 1200, 180, 8, true}, {640, 480, 300, 4, true},
        {300, 200, 300, 1, true},   {65, 49, 65, 1, true},      {65, 49, 64, 2, true},
        {65, 49, 32, 4, true},      {65, 49, 16, 8, true},      {601, 100, 300, 4, false},
        {600, 100, 300, 2, false},  {301, 301, 300, 2, false},  {300, 300, 300, 1, false},
        {1201, 10, 300, 8, false},  {1200, 10, 300, 4, false}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " to " << c.target);
        EXPECT_EQ(JpegScaleFor(c.width, c.height, c.target), c.scale);
        if (!c.decode) continue;
        const std::string path =
            Write("scaled.jpg", MakeJpeg(c.width, c.height, BlockColour, JpegOptions{JpegKind::Colour, 75}));
        const int width = (c.width + c.scale - 1) / c.scale, height = (c.height + c.scale - 1) / c.scale;
        HLOCAL h, p;
        ASSERT_EQ(LoadPreview(path.c_str(), nullptr, 0, &h, &p, c.target), 1);
        LockedDib preview(h, p);
        ASSERT_EQ(LoadJpeg(path.c_str(), nullptr, 0, c.scale, 0, &h, &p), 1);
        LockedDib scaled(h, p);
        PictureInfo info{};
        ASSERT_EQ(ReadJpegInfo(path.c_str(), c.scale, &info, 0), 1);
        for (const BITMAPINFOHEADER* header : {preview.header, scaled.header})
            EXPECT_EQ(std::make_pair(header->biWidth, header->biHeight),
                      std::make_pair(LONG(width), LONG(-height)));
        EXPECT_EQ(std::make_tuple(info.width, info.height, info.colorDepth),
                  std::make_tuple(width, height, 24));
        EXPECT_TRUE(Near(PixelAt(scaled, 0, 0), BlockColour(0, 0), 12));
    }
}

TEST_F(JpegDecoder, ProgressIsReportedAboutTwentyTimesAndOnceForShortPictures) {
    const std::string tall = Write("tall.jpg", MakeJpeg(16, 107, BlockColour));
    const std::string low = Write("low.jpg", MakeJpeg(64, 19, BlockColour));
    ProgressLog log, once, stopper(0);
    HLOCAL h, p;
    for (auto& [path, record] :
         {std::make_pair(tall, &log), std::make_pair(low, &once), std::make_pair(low, &stopper)}) {
        ASSERT_EQ(LoadJpeg(path.c_str(), ProgressLog::Record, record->Data(), 1, 0, &h, &p), 1);
        LockedDib(h, p).Reset();
    }
    EXPECT_TRUE(log.calls.size() >= 18u && log.calls.size() <= 23u)
        << log.calls.size();  // every fifth row of 107, and the end
    EXPECT_EQ(std::make_tuple(log.calls.front().done, log.calls.back().done, log.calls.back().total),
              std::make_tuple(0, 107, 107));
    ASSERT_EQ(once.calls.size(), 1u);
    EXPECT_EQ(std::make_pair(once.calls[0].done, once.calls[0].total), std::make_pair(19, 19));
    // A stop after the last row changes nothing, and a load leaves no
    // callback registered: its user data may be gone by the next decode.
    EXPECT_EQ(JpegProgressHook(1, 2), 0);
    EXPECT_EQ(stopper.calls.size(), 1u);
}

TEST_F(JpegDecoder, ACallbackThatStopsLeavesNothingAllocated) {
    const std::string path = Write("stop.jpg", MakeJpeg(16, 100, BlockColour));
    for (const int answer : {1, -1}) {
        // Through the dispatch: a stop by a positive answer ends the load
        // without asking the other readers, so its code stays.
        ProgressLog log(3, answer), direct(2, answer);
        HLOCAL h = nullptr, p = nullptr;
        EXPECT_EQ(LoadPicture(path.c_str(), ProgressLog::Record, log.Data(), &h, &p), 0);
        EXPECT_EQ(h, nullptr);
        EXPECT_EQ(log.calls.size(), 4u);
        if (answer > 0) {
            EXPECT_EQ(LastLoadError, kLoadStopped);
        }
        EXPECT_EQ(LoadJpeg(path.c_str(), ProgressLog::Record, direct.Data(), 1, 0, &h, &p), 0);
        EXPECT_EQ(LastLoadError, answer > 0 ? kLoadStopped : kLoadFailed);
    }
}

TEST_F(JpegDecoder, PmpFilesDecodeFromTheirBigEndianOffset) {
    const Bytes jpeg = MakeJpeg(24, 16, BlockColour);
    for (const uint32_t offset : {21u, 300u, 0x00011170u}) {
        SCOPED_TRACE(offset);
        const std::string path = Write("inner.pmp", MakePmp(jpeg, offset));
        uint32_t read = 0;
        ASSERT_EQ(ReadPmpOffset(path.c_str(), &read), 1);
        EXPECT_EQ(read, offset);
        LockedDib dib = LoadDib(path);
        ASSERT_TRUE(dib);
        EXPECT_EQ(dib.header->biWidth, 24);
        EXPECT_TRUE(Near(PixelAt(dib, 9, 1), BlockColour(9, 1)));
        PictureInfo info{};
        ASSERT_EQ(ReadPictureInfo(path.c_str(), &info), 1);
        EXPECT_EQ(std::make_tuple(info.width, info.height), std::make_tuple(24, 16));
        HLOCAL h, p;
        ASSERT_EQ(LoadPreview(path.c_str(), nullptr, 0, &h, &p, 6), 1);
        EXPECT_EQ(LockedDib(h, p).header->biWidth, 6);  // q = 3: a quarter
    }
}

// The head may promise more than the stream or any process holds: refused
// quickly, before its pixel block is taken.
TEST_F(JpegDecoder, HeadsNoProcessCanHoldOrTheStreamCannotFillFailBeforeAllocating) {
    auto withSize = [](int width, int height) {  // the frame header's height and width patched
        Bytes jpeg = MakeJpeg(16, 16, BlockColour);
        const BYTE frame[] = {0xFF, 0xC0},
                   size[] = {BYTE(height >> 8), BYTE(height), BYTE(width >> 8), BYTE(width)};
        const auto at = std::search(jpeg.begin(), jpeg.end(), frame, frame + 2);
        EXPECT_LT(at + 8, jpeg.end());
        std::copy(size, size + 4, at + 5);
        return jpeg;
    };
    // clang-format off
    const struct { int width, height, code; } cases[] = {
        {65500, 65500, kLoadOutOfMemory}, {65500, 3000, kLoadOutOfMemory}, {20000, 20000, kLoadOutOfMemory},
        {12000, 12000, kLoadFailed}};
    // clang-format on
    const DWORD start = GetTickCount();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.width);
        const std::string path = Write("huge.jpg", withSize(c.width, c.height));
        const uint64_t requested = DibBytesRequested();
        HLOCAL h, p;
        EXPECT_EQ(LoadJpeg(path.c_str(), nullptr, 0, 1, 0, &h, &p), 0);
        EXPECT_EQ(LastLoadError, c.code);
        EXPECT_EQ(DibBytesRequested(), requested);
    }
    EXPECT_LT(GetTickCount() - start, 2000u);
}

TEST_F(JpegDecoder, CmykIsRefusedAtTheHeadWithItsFactsFilled) {
    const std::string path = Write("cmyk.jpg", MakeJpeg(16, 16, BlockColour, JpegOptions{JpegKind::Cmyk}));
    PictureInfo info{};
    EXPECT_EQ(ReadJpegInfo(path.c_str(), 1, &info, 0), 0);
    EXPECT_EQ(std::make_tuple(info.colorDepth, info.width), std::make_tuple(32, 16));
}

// The file may change between reading its head and decoding it.
TEST_F(JpegDecoder, DecodingNeverWritesPastTheBlockItWasGiven) {
    const std::string path = Write("grown.jpg", MakeJpeg(16, 16, [](int, int) { return Rgb{1, 2, 3}; }));
    std::vector<BYTE> block(16 * 48 + 8, 0xEE);
    EXPECT_EQ(DecodeJpeg(path.c_str(), 1, block.data(), 16 * 48 - 1, 0), kJpegFailed);
    EXPECT_EQ(block[0], 0xEE);
    EXPECT_EQ(DecodeJpeg(path.c_str(), 1, block.data(), 16 * 48, 0), kJpegDone);
    EXPECT_EQ(block[16 * 48], 0xEE);
    EXPECT_EQ(DecodeJpeg(dir_.File("none.jpg").c_str(), 1, block.data(), block.size(), 0), kJpegCannotOpen);
}

}  // namespace
