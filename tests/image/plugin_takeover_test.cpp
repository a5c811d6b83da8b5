#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "image/dib_image.h"
#include "image/plugin_picture.h"
#include "image/plugin_protocol.h"
#include "tests/support/test_files.h"

namespace {

TEST(PluginTakeOver, OnlyPicturesTheirBlocksHoldAreTakenWithA40ByteHeader) {
    // The bytes after biSize in the header block, the rows missing from the pixel block.
    // clang-format off
    struct Case { const char* what; DWORD biSize; int bits; DWORD clrUsed, compression; size_t tableBytes;
                  int pixelRowsShort; bool taken; };
    const Case cases[] = {
        {"24-bit", 40, 24, 0, BI_RGB, 0, 0, true}, {"8-bit, full table", 40, 8, 0, BI_RGB, 1024, 0, true},
        {"8-bit, short table as biClrUsed says", 40, 8, 15, BI_RGB, 60, 0, true},
        {"8-bit, table shorter than biClrUsed", 40, 8, 15, BI_RGB, 56, 0, false},
        {"8-bit, biClrUsed beyond the depth", 40, 8, 257, BI_RGB, 1028, 0, false},
        {"version 5 header, table after it", 124, 8, 0, BI_RGB, 1024, 0, true},
        {"version 5 header, table cut short", 124, 8, 0, BI_RGB, 64, 0, false},
        {"4-bit, version 4 header", 108, 4, 0, BI_RGB, 64, 0, true},
        {"bit fields after a 40-byte header", 40, 16, 0, BI_BITFIELDS, 12, 0, true},
        {"bit fields missing", 40, 32, 0, BI_BITFIELDS, 8, 0, false},
        {"bit fields inside a version 5 header", 124, 32, 0, BI_BITFIELDS, 0, 0, true},
        {"pixel block a row short", 40, 24, 0, BI_RGB, 0, 1, false},
        {"header shorter than 40", 12, 24, 0, BI_RGB, 28, 0, false},
        {"biSize beyond the block", 2000, 24, 0, BI_RGB, 0, 0, false},
        {"compressed", 40, 8, 0, BI_RLE8, 1024, 0, false}};
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int width = 7, height = 3;
        std::vector<uint8_t> header(std::max<size_t>(c.biSize, 40) + c.tableBytes);
        BITMAPV5HEADER v5{};
        v5.bV5Size = c.biSize, v5.bV5Width = width, v5.bV5Height = height, v5.bV5Planes = 1;
        v5.bV5BitCount = WORD(c.bits), v5.bV5Compression = c.compression, v5.bV5ClrUsed = c.clrUsed;
        v5.bV5RedMask = 0x7C00, v5.bV5GreenMask = 0x03E0, v5.bV5BlueMask = 0x001F;
        std::memcpy(header.data(), &v5, std::min(header.size(), sizeof v5));
        if (c.biSize == 2000) header.resize(40);
        for (size_t i = 0; i < c.tableBytes && c.biSize < 2000; ++i)
            header[c.biSize + i] = uint8_t(i * 3 + 1);
        const size_t stride = (size_t(width) * c.bits + 31) / 32 * 4;
        std::vector<uint8_t> pixels(stride * size_t(height - c.pixelRowsShort), 0x5A);

        // No ready block, one of the picture's size (it becomes the pixel
        // block), one of another size (given back).
        for (int ready = 0; ready < 3; ++ready) {
            SCOPED_TRACE(ready);
            const long before = LiveDibBlocks();
            const size_t readyBytes = stride * height + (ready == 2 ? 4 : 0);
            HLOCAL readyBlock = ready ? AllocDibBlock(readyBytes) : nullptr;
            HLOCAL outHeader, outPixels;
            ASSERT_EQ(TakeOverPluginPicture(header.data(), header.size(), pixels.data(), pixels.size(),
                                            &outHeader, &outPixels, readyBlock, readyBytes),
                      c.taken);
            if (!c.taken) {
                EXPECT_EQ(outHeader, nullptr);
                EXPECT_EQ(LiveDibBlocks(), before);
                continue;
            }
            EXPECT_EQ(LiveDibBlocks(), before + 2);
            if (ready == 1) {
                EXPECT_EQ(outPixels, readyBlock);
            }
            LockedDib dib(outHeader, outPixels);
            EXPECT_EQ(dib.header->biSize, 40u);
            EXPECT_GE(LocalSize(LocalHandle(dib.header)), DibHeaderBytes(*dib.header));
            const uint8_t* table = reinterpret_cast<const uint8_t*>(dib.header + 1);
            const size_t tableOffset = c.compression == BI_BITFIELDS && c.biSize >= 52 ? 40 : c.biSize;
            const size_t copied = c.compression == BI_BITFIELDS ? 12 : c.tableBytes;
            EXPECT_EQ(std::memcmp(table, header.data() + tableOffset, copied), 0);
            for (size_t i = copied; i < DibHeaderBytes(*dib.header) - 40; ++i) ASSERT_EQ(table[i], 0) << i;
            EXPECT_EQ(dib.pixels[stride * 3 - 1], 0x5A);
            dib.Reset();
            EXPECT_EQ(LiveDibBlocks(), before);
        }
    }
}

// Large pictures are copied in parts on several threads: every byte lands
// in its place whatever the size's remainder.
TEST(PluginTakeOver, LargeCopiesInPartsLandByteForByte) {
    for (size_t bytes : {size_t(8 << 20) - 1, size_t(8 << 20) + 4097, size_t(33 << 20) + 3}) {
        std::vector<uint8_t> from(bytes), to(bytes + 1, 0xEE);
        for (size_t i = 0; i < bytes; ++i) from[i] = uint8_t(i * 2654435761u >> 24);
        CopyPictureBytes(to.data(), from.data(), bytes);
        EXPECT_EQ(0, std::memcmp(to.data(), from.data(), bytes)) << bytes;
        EXPECT_EQ(0xEE, to[bytes]) << bytes;
    }
}

using namespace plugin_protocol;

// Reads every field a message of its type may carry, as both sides do.
void ReadFields(const Message& message) {
    BodyReader body(message);
    uint32_t u = 0;
    uint64_t wide = 0;
    std::string text;
    while (body.Ok() && !body.Done()) {
        if (!(body.U32(&u) && body.Text(&text) && body.U64(&wide))) break;
        ASSERT_LE(text.size(), kMaxText);
    }
}

TEST(PluginProtocol, MutatedStreamsAreCutIntoBoundedMessagesOrRefused) {
    std::vector<uint8_t> seed;
    auto add = [&](Writer& writer) { seed.insert(seed.end(), writer.Bytes().begin(), writer.Bytes().end()); };
    add(Writer(kTable).U32(2).Text("a.spi").Text("*.tpc").Text("b.spi").Text(""));
    add(Writer(kProgress).I32(3).I32(9));
    add(Writer(kPictureSize).U64(kAnnouncedPixelBytes));
    add(Writer(kPictureDone).I32(0).Text("piltrin-plugins-1-1").U64(1064).U64(1u << 20));
    add(Writer(kInfoDone).I32(1).I32(0).I32(0).I32(5).I32(3).U32(1).U32(24).Text("comment"));

    // The untouched stream, in any chunking, gives the five messages.
    for (size_t chunk : {size_t(1), size_t(7), seed.size()}) {
        StreamReader reader;
        int got = 0;
        Message message;
        for (size_t at = 0; at < seed.size(); at += chunk) {
            reader.Feed(seed.data() + at, std::min(chunk, seed.size() - at));
            while (reader.Next(&message) == StreamReader::kGotMessage) ++got;
        }
        EXPECT_EQ(got, 5) << chunk;
    }

    // Feeds that always end 3 bytes into a frame: what was read is dropped
    // all the same, so the buffer never holds much beyond the unread bytes.
    StreamReader reader;
    Message message;
    reader.Feed(seed.data(), 3);
    std::vector<uint8_t> shifted(seed.begin() + 3, seed.end());
    shifted.insert(shifted.end(), seed.begin(), seed.begin() + 3);
    for (int round = 0; round < 2000; ++round) {
        reader.Feed(shifted.data(), shifted.size());
        int got = 0;
        while (reader.Next(&message) == StreamReader::kGotMessage) ++got;
        ASSERT_EQ(got, 5);
        ASSERT_LE(reader.Held(), seed.size() + 3) << round;
    }

    std::mt19937 random(20261207);
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> bytes = seed;
        Mutate(bytes, random, 6);
        StreamReader reader;
        Message message;
        size_t at = 0;
        StreamReader::Status status = StreamReader::kNeedMore;
        while (at < bytes.size() && status != StreamReader::kCorrupt) {
            size_t chunk = std::min<size_t>(1 + random() % 64, bytes.size() - at);
            reader.Feed(bytes.data() + at, chunk);
            at += chunk;
            while ((status = reader.Next(&message)) == StreamReader::kGotMessage) {
                ASSERT_LE(message.body.size(), kMaxBody);
                ReadFields(message);
            }
        }
        if (status == StreamReader::kCorrupt) {
            EXPECT_EQ(reader.Next(&message), StreamReader::kCorrupt);
        }
    }
}

}  // namespace
