// What files say of themselves: EXIF orientation and ICC chunks read from
// hostile bytes, and JPEG pictures turned upright wherever they are loaded.
#include <gtest/gtest.h>

#include <array>
#include <utility>

#include "image/exif_reader.h"
#include "image/icc_reader.h"
#include "image/picture_pipeline.h"
#include "image/plugin_meta.h"
#include "image/thumbnail_prefetch.h"
#include "tests/image/dib_test_helpers.h"
#include "tests/support/jpeg_test_files.h"

namespace {
int Orientation(const Bytes& body) {
    return ExifOrientationFromApp1(body.data(), body.size());
}
Bytes Edited(Bytes bytes, size_t at, uint8_t value) {
    return bytes[at] = value, bytes;
}
// A 132-byte profile header of the declared size, padded to size bytes.
Bytes Profile(uint32_t declared, size_t size) {
    Bytes out(size, 0x11);
    for (int i = 0; i < 4; ++i) out[i] = uint8_t(declared >> (24 - 8 * i));
    std::copy_n("acsp", 4, out.begin() + 36);
    return out;
}
// A JPEG stream's head: its start, the segments given as APP2, a scan.
Bytes JpegHead(const std::vector<Bytes>& segments) {
    Bytes out = {0xFF, 0xD8};
    for (const Bytes& body : segments) {
        out.insert(out.end(), {0xFF, 0xE2, uint8_t((body.size() + 2) >> 8), uint8_t(body.size() + 2)});
        out.insert(out.end(), body.begin(), body.end());
    }
    return out.insert(out.end(), {0xFF, 0xDA}), out;
}
std::vector<uint8_t> Join(const std::vector<Bytes>& segments) {
    std::vector<ByteSpan> spans;
    for (const Bytes& s : segments) spans.push_back(ByteSpan{s.data(), s.size()});
    return JoinIccChunks(spans);
}
}  // namespace

TEST(ExifReader, BothByteOrdersAndDamagedDirectoriesReadAsAbsent) {
    for (int value = 0; value <= 9; ++value)
        for (bool big : {false, true})
            EXPECT_EQ(Orientation(ExifBody(value, big)), value % 9) << value << big;
    const Bytes six = ExifBody(6);
    // clang-format off
    const Bytes damaged[] = {Edited(six, 10, 200), Edited(six, 10, 0xFF), Edited(six, 19, 4), Edited(six, 20, 2),
                             Edited(six, 0, 'e'), Bytes(six.begin(), six.begin() + 25), Edited(six, 14, 0)};
    // clang-format on
    for (const Bytes& bytes : damaged) EXPECT_EQ(Orientation(bytes), 0);
    EXPECT_EQ(Orientation(Edited(six, 14, 0xFF)), 6);  // an absurd count is cut to what the segment holds
}

TEST(IccReader, ChunksJoinInSequenceOrderAndAnythingAmissGivesNoProfile) {
    const Bytes profile = Profile(300, 300);
    std::vector<Bytes> chunks = IccChunks(profile, 100), reversed(chunks.rbegin(), chunks.rend());
    EXPECT_EQ(Join(reversed), profile);
    EXPECT_EQ(IccProfileOfJpeg(JpegHead(reversed).data(), JpegHead(reversed).size()), profile);
    const Bytes padded = Profile(290, 300);  // the padding after the declared size is cut off
    EXPECT_EQ(Join(IccChunks(padded, 100)), Bytes(padded.begin(), padded.begin() + 290));
    // clang-format off
    const std::vector<Bytes> bad[] = {{chunks[0], chunks[2]}, {chunks[0], chunks[1], chunks[1], chunks[2]},
        {chunks[0], chunks[1], Edited(chunks[2], 12, 4)}, {chunks[0], chunks[1], Edited(chunks[2], 13, 4)},
        IccChunks(Profile(0xFFFFFFFF, 200), 100), IccChunks(Edited(profile, 36, 'x'), 100)};
    // clang-format on
    for (const auto& segments : bad) EXPECT_TRUE(Join(segments).empty());
}

// sRGB is known by its colorants and curves; anything else is converted.
TEST(IccReader, SrgbIsKnownByItsColorantsAndCurves) {
    const double srgb[3][3] = {{0.4361, 0.2225, 0.0139}, {0.3851, 0.7169, 0.0971}, {0.1431, 0.0606, 0.7141}};
    const double adobe[3][3] = {{0.6097, 0.3111, 0.0195}, {0.2053, 0.6257, 0.0609}, {0.1492, 0.0632, 0.7446}};
    const std::pair<Bytes, bool> cases[] = {{MatrixProfile(srgb, 2.4, true), true},
                                            {MatrixProfile(srgb, 2.2, false), false},
                                            {MatrixProfile(srgb, 1.0, false), false},
                                            {MatrixProfile(adobe, 2.2, false), false},
                                            {Edited(MatrixProfile(srgb, 2.4, true), 16, 'C'), false}};
    for (const auto& [profile, known] : cases)
        EXPECT_EQ(IsSrgbProfile(profile.data(), profile.size()), known);
}

TEST(PictureMetaReaders, MutatedSegmentsNeverReadOutsideOrHang) {
    std::mt19937 random(20261209);
    const double srgb[3][3] = {{0.4361, 0.2225, 0.0139}, {0.3851, 0.7169, 0.0971}, {0.1431, 0.0606, 0.7141}};
    const Bytes matrix = MatrixProfile(srgb, 2.4, true);
    const std::vector<Bytes> icc = IccChunks(Profile(400, 400), 150);
    for (int round = 0; round < 20000; ++round) {
        Bytes exif = ExifBody(round % 9, round % 2);
        Mutate(exif, random, 4);
        std::vector<Bytes> chunks = icc;
        Mutate(chunks[round % 3], random, 3);
        const std::vector<uint8_t> joined = Join(chunks);
        Bytes profile = matrix;
        Mutate(profile, random, 3);
        IsSrgbProfile(profile.data(), profile.size());
        Bytes head = JpegHead(icc);
        Mutate(head, random, 3);
        const std::vector<uint8_t> embedded = IccProfileOfJpeg(head.data(), head.size());
        ASSERT_TRUE(embedded.empty() || IsWholeIccProfile(embedded.data(), embedded.size()));
        ASSERT_TRUE(Orientation(exif) <= 8 &&
                    (joined.empty() || IsWholeIccProfile(joined.data(), joined.size())));
    }
}

// Every EXIF orientation through the full load and the thumbnail worker; the option off shows the stored
// pixels. Where a pixel of the upright picture comes from, by the EXIF definition of each value.
TEST_F(ImageTest, EveryExifOrientationIsTurnedUprightByTheLoadAndTheThumbnailWorker) {
    const int w = 32, h = 16;
    for (int exif = 0; exif <= 8; ++exif)
        for (bool on : {true, false}) {
            SCOPED_TRACE(testing::Message() << exif << on);
            PictureDisplayOptions().uprightByExif = on;
            const std::string path =
                Write("turned.jpg", WithSegment(MakeJpeg(w, h, BlockColour), 0xE1, ExifBody(exif)));
            const int shown = on ? exif : 1;
            const bool swaps = shown >= 5;
            HLOCAL hd, px;
            ASSERT_TRUE(LoadDisplayPicture(path.c_str(), nullptr, 0, &hd, &px));
            LockedDib dib(hd, px);
            ASSERT_EQ(dib.header->biWidth, swaps ? h : w);
            for (int y = 4; y < DibRows(*dib.header); y += 8)
                for (int x = 4; x < dib.header->biWidth; x += 8) {
                    const POINT from[9] = {{x, y},         {x, y}, {w - 1 - x, y}, {w - 1 - x, h - 1 - y},
                                           {x, h - 1 - y}, {y, x}, {y, h - 1 - x}, {w - 1 - y, h - 1 - x},
                                           {w - 1 - y, x}};
                    EXPECT_TRUE(Near(PixelAt(dib, x, y), BlockColour(from[shown].x, from[shown].y)))
                        << x << "," << y;
                }
            PreparedThumbnail worker;
            ASSERT_TRUE(PrepareJpegThumbnail(path.c_str(), 8, PictureDisplayOptions(), &worker));
            EXPECT_EQ(worker.width, swaps ? 4 : 8);
        }
    ResetPictureDisplayOptions();
}

// What a plug-in's version 5 header carries: the profile behind it and the
// orientation in its last field; anything out of place is not read.
TEST(PluginHeaderMeta, ProfileAndOrientationOfAVersion5Header) {
    // Header size, colour space, profile offset and size, last field; then what is read.
    const std::array<uint32_t, 7> cases[] = {
        {124, 0x4D424544, 124, 200, 0x4F520006, 6, 200}, {124, 0x73524742, 124, 200, 0x4F520003, 3, 0},
        {124, 0x4D424544, 124, 201, 0x4F520009, 0, 0},   {124, 0x4D424544, 40, 200, 6, 0, 0},
        {108, 0x4D424544, 124, 200, 0x4F520006, 0, 0},   {124, 0x4D424544, 0xFFFFFFF0, 200, 0, 0, 0}};
    for (const auto& c : cases) {
        Bytes header(124, 0);
        for (auto [at, field] : {std::pair{0, 0}, {56, 1}, {112, 2}, {116, 3}, {120, 4}})
            for (int i = 0; i < 4; ++i) header[at + i] = uint8_t(c[field] >> 8 * i);
        const Bytes profile = Profile(200, 200);
        header.insert(header.end(), profile.begin(), profile.end());
        PictureMeta meta;
        ReadPluginHeaderMeta(header.data(), header.size(), &meta);
        EXPECT_EQ(std::make_pair(uint32_t(meta.exifOrientation), uint32_t(meta.iccProfile.size())),
                  std::make_pair(c[5], c[6]));
    }
}
