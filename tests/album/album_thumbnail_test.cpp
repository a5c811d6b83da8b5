// Thumbnails of album pages: their sizes from every kind of page, the facts
// recorded in the page, bad files, the worker's decode and the memory held.
#include "album/album_thumbnail.h"

#include <cstring>
#include <functional>
#include <thread>
#include <tuple>
#include <utility>

#include "album/album_memory.h"
#include "browse/scoped_handles.h"
#include "image/thumbnail_cache.h"
#include "image/thumbnail_prefetch.h"
#include "tests/album/album_test_support.h"
#include "tests/support/jpeg_test_files.h"

namespace {
const PixelPattern kGreen = Flat(Rgb{30, 160, 90});

class ThumbnailTest : public AlbumDirTest {
protected:
    void SetUp() override { album_.ThumbSizeParam = 90; }
    // A page for the file that make writes (nothing is written for null).
    int Page(const std::string& name, const std::function<void(const std::string&)>& make) {
        const std::string path = File(name);
        if (make) make(path);
        return album_.AddPage(path.c_str());
    }
    const BITMAPINFOHEADER* Header(int page) const {
        return reinterpret_cast<const BITMAPINFOHEADER*>(
            album_.ThumbHeader->GetHandle(album_.PageBlock(page), nullptr));
    }
    ZubAlbum album_;
};

Bytes Bmp(int w, int h) {
    return MakeBmp(w, h, 24, false, kGreen);
}
auto Raw(Bytes bytes) {
    return [=](const std::string& path) { WriteFileBytes(path, bytes); };
}
Bytes Truncated(const Bytes& bytes, size_t keep) {
    return Bytes(bytes.begin(), bytes.begin() + keep);
}
}  // namespace

TEST_F(ThumbnailTest, SizesNeverEnlargeBadFilesGetTheFailureMarkAndTheFactsAreRecorded) {
    // A width and height of 0: the failure mark.
    // clang-format off
    struct Case { const char* name; std::function<void(const std::string&)> make; int width, height; };
    const Case cases[] = {
        {"portrait.bmp", Raw(Bmp(600, 900)), 60, 90},
        {"portrait.jpg", Raw(MakeJpeg(600, 900, kGreen)), 59, 90},  // decoded at 1/8: 75 x 113
        {"lying.jpg", Raw(WithSegment(MakeJpeg(600, 900, kGreen), 0xE1, ExifBody(6))), 90, 59},  // turned upright
        {"square.bmp", Raw(Bmp(90, 90)), 90, 90},
        {"bigsquare.jpg", Raw(MakeJpeg(1000, 1000, kGreen)), 90, 90},
        {"small.bmp", Raw(Bmp(40, 20)), 40, 20},
        {"wide.jpg", Raw(MakeJpeg(1600, 1200, kGreen)), 90, 67},
        {"thin.bmp", Raw(Bmp(2000, 3)), 90, 1},
        {"deleted.bmp", nullptr, 0, 0},
        {"empty.jpg", Raw({}), 0, 0},
        {"cut.jpg", Raw(Truncated(MakeJpeg(300, 200, kGreen), 40)), 0, 0},
        {"cut.bmp", Raw(Truncated(Bmp(300, 200), 30)), 0, 0},
        {"noise.bmp", Raw(Bytes(5000, 0x42)), 0, 0},
    };  // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int page = Page(c.name, c.make);
        ASSERT_EQ(1, BuildThumbnail(&album_, page, nullptr, 0));
        ASSERT_EQ(1, album_.HasThumbnail(page));
        const BITMAPINFOHEADER* header = Header(page);
        if (c.width == 0) {
            EXPECT_EQ(kThumbnailFailed, reinterpret_cast<BlockWord>(header));
            continue;
        }
        // A positive height: bottom row first.
        EXPECT_EQ(std::make_tuple(c.width, c.height, 24),
                  std::make_tuple(header->biWidth, header->biHeight, header->biBitCount));
    }
    EXPECT_EQ(0, BuildThumbnail(&album_, album_.PageCount(), nullptr, 0));
    EXPECT_EQ(0, BuildThumbnail(&album_, -1, nullptr, 0));
    // The build records the file and picture facts in the page; none for a missing file.
    void* block = album_.PageBlock(0);
    EXPECT_EQ(kInfoPicture | kInfoFileSize | kInfoWriteTime, album_.InfoMask->GetInt(block, nullptr));
    EXPECT_EQ(int(ReadFileBytes(File("portrait.bmp")).size()), album_.FileSizeLow->GetInt(block, nullptr));
    EXPECT_NE(0, album_.WriteTimeHigh->GetInt(block, nullptr));
    EXPECT_EQ(
        std::make_tuple(600, 900, 24),
        std::make_tuple(album_.GetPictureWidth(0), album_.GetPictureHeight(0), album_.GetPictureBitCount(0)));
    EXPECT_EQ(0, album_.InfoMask->GetInt(album_.PageBlock(8), nullptr));  // deleted.bmp
}

TEST_F(ThumbnailTest, AnAlbumPageShowsItsCoverAndAnAlbumThatIsItsOwnCoverDoesNotRecurse) {
    const std::string cover = File("cover.bmp"), inner = File("inner.zub"), self = File("self.zub");
    WriteBmp(cover, 200, 100, 24, false, kGreen);
    {
        ZubAlbum saved;
        saved.SetTitle("旅の本");
        saved.AddPage(File("other.bmp").c_str());
        saved.AddPage(cover.c_str());
        saved.SetCoverIndex(1);
        ASSERT_EQ(1, saved.SaveFile(inner.c_str()));
        ZubAlbum itself;
        itself.AddPage(self.c_str());
        ASSERT_EQ(1, itself.SaveFile(self.c_str()));
    }
    const int page = album_.AddPage(inner.c_str()), loop = album_.AddPage(self.c_str());
    const int gone = album_.AddPage(File("gone.zub").c_str());
    album_.SetPageComment(gone, "mine");
    for (const int built : {page, loop, gone}) ASSERT_EQ(1, BuildThumbnail(&album_, built, nullptr, 0));
    EXPECT_STREQ("mine", album_.GetPageComment(gone));  // an album that cannot be read
    EXPECT_EQ(std::make_pair(90L, 45L), std::make_pair(Header(page)->biWidth, Header(page)->biHeight));
    EXPECT_STREQ("旅の本", album_.GetPageComment(page));
    EXPECT_EQ(kThumbnailFailed, reinterpret_cast<BlockWord>(Header(loop)));
}

TEST_F(ThumbnailTest, AWorkersDecodeGivesTheSamePixelsAsTheBuildOfTheInterfaceThread) {
    const PixelPattern ramp = [](int x, int y) { return Rgb{uint8_t(x), uint8_t(y), uint8_t(x ^ y)}; };
    // Pictures as stored, and turned upright by their EXIF orientation.
    for (const auto& [kind, exif] : {std::pair{JpegKind::Colour, 0},
                                     {JpegKind::Grey, 0},
                                     {JpegKind::Colour, 6},
                                     {JpegKind::Grey, 7},
                                     {JpegKind::Colour, 3}}) {
        JpegOptions options;
        options.kind = kind;
        const Bytes jpeg = MakeJpeg(700, 500, ramp, options);
        const int page = Page("a.jpg", Raw(exif ? WithSegment(jpeg, 0xE1, ExifBody(exif)) : jpeg));
        ASSERT_EQ(1, BuildThumbnail(&album_, page, nullptr, 0));
        PreparedThumbnail prepared;
        ASSERT_TRUE(PrepareJpegThumbnail(album_.GetPagePath(page), 90, PictureDisplayOptions(), &prepared));
        const BITMAPINFOHEADER* built = Header(page);
        ASSERT_EQ(std::make_tuple(built->biWidth, built->biHeight, built->biSizeImage),
                  std::make_tuple(prepared.width, prepared.height, prepared.pixels.size()));
        const BYTE* bits =
            reinterpret_cast<const BYTE*>(album_.ThumbBits->GetHandle(album_.PageBlock(page), nullptr));
        EXPECT_EQ(0, std::memcmp(bits, prepared.pixels.data(), prepared.pixels.size()));
        EXPECT_EQ(album_.GetPictureBitCount(page), prepared.bitCount);
        // A result taken for another file is refused; the caller decodes.
        ThumbnailPrefetch workers(1);
        workers.Queue({{page, "other.jpg"}}, 90);
        EXPECT_FALSE(workers.Take(page, album_.GetPagePath(page), &prepared));
        EXPECT_EQ(0, workers.Pending());
        // Memory that runs out for a later buffer on a worker fails the decode, never the program.
        for (const int nth : {2, 3}) {
            FailThumbnailAllocation(nth);
            bool made = true;
            std::thread([&] {
                made = PrepareJpegThumbnail(album_.GetPagePath(page), 90, PictureDisplayOptions(), &prepared);
            }).join();
            FailThumbnailAllocation(0);
            // Buffers: the decode, a grey picture's colour rows, the upright copy, the result.
            const int buffers = 2 + (kind == JpegKind::Grey) + (exif != 0);
            EXPECT_EQ(nth > buffers, made) << nth;
        }
        album_.ClearAll();
    }
}

TEST_F(ThumbnailTest, ThumbnailsAreSmallAndAClearedAlbumGivesEveryBlockBack) {
    const long before = LiveAlbumAllocations();
    const std::string path = File("p.bmp");
    WriteBmp(path, 300, 300, 24, false, kGreen);
    for (int i = 0; i < 200; ++i) {
        const int page = album_.AddBlankPage();
        album_.SetPagePath(page, path.c_str());
        ASSERT_EQ(1, BuildThumbnail(&album_, page, nullptr, 0));
        ASSERT_EQ(1, BuildThumbnail(&album_, page, nullptr, 0));  // a rebuild frees the old blocks
    }
    const BITMAPINFOHEADER* header = Header(199);
    EXPECT_LE(sizeof *header + header->biSizeImage, 30u * 1024);
    album_.ClearAll();
    EXPECT_EQ(before, LiveAlbumAllocations());
}

// The disk cache: a second run reads every cell from it, a touched file is
// built again, a damaged or foreign entry is never trusted (the cell is
// built and the entry replaced), and the cap deletes the least used.
TEST_F(ThumbnailTest, TheDiskCacheServesTheNextRunAndTrustsNothingItReads) {
    const std::string cache = File("cache\\");
    SetThumbnailCache(cache, 1 << 30);
    Page("a.jpg", Raw(MakeJpeg(497, 300, kGreen)));
    Page("b.bmp", Raw(Bmp(498, 300)));
    Page("c.jpg", Raw(MakeJpeg(499, 300, kGreen)));
    auto run = [&](long hits) {
        const long before = ThumbnailCacheHits();
        for (int page = 0; page < 3; ++page) BuildThumbnail(&album_, page, nullptr, 0);
        EXPECT_EQ(ThumbnailCacheHits() - before, hits);
        for (int page = 0; page < 3; ++page) EXPECT_EQ(Header(page)->biWidth, 90) << page;
        EXPECT_EQ(album_.GetPictureWidth(0), 497);
    };
    run(0);
    run(3);
    // A touched file misses; so does every kind of damaged entry.
    const FILETIME later{0x12345678u, 0x01DA0000u};
    FileHandle touched(
        CreateFileA(File("b.bmp").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    SetFileTime(touched.get(), nullptr, nullptr, &later);
    touched.reset();
    run(2);
    // Thumbnails made under other display options are other thumbnails.
    PictureDisplayOptions().uprightByExif = false;
    run(0);
    ResetPictureDisplayOptions();
    run(3);
    auto entryOf = [&](const char* name, uint32_t size) {
        ThumbnailCacheKey key;
        EXPECT_TRUE(ThumbnailCacheKeyFor(File(name).c_str(), size, &key));
        return cache + CachedThumbnailName(key);
    };
    const std::string entry = entryOf("a.jpg", 90);
    const Bytes foreign = ReadFileBytes(entryOf("b.bmp", 90));
    const Bytes sound = ReadFileBytes(entry);
    for (const Bytes& damaged :
         {Truncated(sound, sound.size() - 1), Truncated(sound, 20), Bytes{}, foreign, Bmp(30, 30)}) {
        WriteFileBytes(entry, damaged);
        run(2);
        EXPECT_EQ(ReadFileBytes(entry), sound);
    }
    // Room for two and a half entries: a new one deletes the one used
    // longest ago (b, since a was just used again).
    SetThumbnailCache(cache, sound.size() * 5 / 2);
    BuildThumbnail(&album_, 0, nullptr, 0);
    album_.ThumbSizeParam = 45;
    BuildThumbnail(&album_, 2, nullptr, 0);
    for (const auto& [name, size, kept] :
         {std::tuple{"a.jpg", 90, true}, std::tuple{"b.bmp", 90, false}, std::tuple{"c.jpg", 45, true}})
        EXPECT_EQ(GetFileAttributesA(entryOf(name, size).c_str()) != INVALID_FILE_ATTRIBUTES, kept) << name;
    SetThumbnailCache("", 0);
}
