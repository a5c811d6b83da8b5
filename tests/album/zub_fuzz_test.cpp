// Bounded mutation fuzzing of the .zub reader: thousands of damaged files
// made from valid ones with a fixed seed. No crash, no hang, nothing leaked,
// and the album stays usable after every failed load.
#include <gtest/gtest.h>

#include <string>

#include "album/album_memory.h"
#include "album/zub_album.h"
#include "tests/album/album_test_support.h"

namespace {

Bytes Mutate(const Bytes& seed, Random& random) {
    static const uint32_t interesting[] = {
        0,   1,   3,   4,          8,          127,        128,        130,        131,        133,       255,
        260, 261, 265, 0x7FFFFFFF, 0x80000003, 0xFFFF0000, 0xFFFF0001, 0xFFFFFFFF, 0xFFFFFFFC, 0x00010000};
    Bytes bytes = seed;
    int mutations = 1 + static_cast<int>(random.Below(4));
    for (int m = 0; m < mutations && !bytes.empty(); ++m) {
        uint32_t at = random.Below(static_cast<uint32_t>(bytes.size()));
        switch (random.Below(6)) {
            case 0:
                bytes[at] ^= static_cast<uint8_t>(1u << random.Below(8));
                break;
            case 1: {
                at &= ~3u;
                uint32_t value = interesting[random.Below(sizeof interesting / sizeof interesting[0])];
                for (int b = 0; b < 4 && at + b < bytes.size(); ++b)
                    bytes[at + b] = static_cast<uint8_t>(value >> (8 * b));
                break;
            }
            case 2:
                bytes.resize(at);
                break;
            case 3: {
                uint32_t length = random.Below(16);
                Bytes chunk(bytes.begin() + at, bytes.begin() + std::min<size_t>(bytes.size(), at + length));
                bytes.insert(bytes.begin() + random.Below(static_cast<uint32_t>(bytes.size())), chunk.begin(),
                             chunk.end());
                break;
            }
            case 4:
                bytes.erase(bytes.begin() + at,
                            bytes.begin() + std::min<size_t>(bytes.size(), at + 1 + random.Below(12)));
                break;
            default:
                bytes[at] = static_cast<uint8_t>(random.Next());
                break;
        }
    }
    return bytes;
}

Bytes SeedAlbum(const std::string& folder) {
    ZubAlbum album;
    album.SetTitle("種 seed");
    for (int i = 0; i < 4; ++i) album.AddPage((folder + "pic" + std::to_string(i) + ".jpg").c_str());
    album.AddPage("Z:\\other\\表.jpg");
    album.SetPageComment(1, "comment");
    album.SetPageNote(2, "note");
    album.SetPageOrientation(3, 5);
    album.SetPageMark(0, 1);
    album.SetCoverIndex(2);
    album.SaveFile((folder + "seed.zub").c_str());
    Bytes bytes = ReadFileBytes(folder + "seed.zub");
    // An unknown header record and an unknown page record before the end.
    Bytes extra;
    PutRecord(extra, 0x44, Bytes{1, 2, 3, 4, 5});
    bytes.insert(bytes.begin() + 24, extra.begin(), extra.end());
    Bytes page;
    PutRecord(page, 0xC8, TextBody("kept"));
    bytes.insert(bytes.end() - 8, page.begin(), page.end());
    return bytes;
}
}  // namespace

TEST(ZubFuzz, DamagedAlbumFilesNeitherCrashNorLeak) {
    TempDir dir;
    std::string folder = StoredFolder(dir.Path());
    MessageCatcher messages;
    const Bytes seeds[] = {SeedAlbum(folder), [&] {
                               ZubAlbum empty;
                               empty.SaveFile((folder + "empty.zub").c_str());
                               return ReadFileBytes(folder + "empty.zub");
                           }()};
    Random random(0x5EED2u);
    std::string path = folder + "fuzz.zub";
    long before = LiveAlbumAllocations();
    int loaded = 0;
    for (int i = 0; i < 2000; ++i) {
        Bytes bytes = Mutate(seeds[i % 2], random);
        ASSERT_TRUE(WriteFileBytes(path, bytes));
        {
            ZubAlbum album;
            if (album.LoadFile(path.c_str())) ++loaded;
            for (int page = 0; page < album.PageCount(); ++page) {
                ASSERT_NE(nullptr, album.GetPagePath(page));
                ASSERT_NE(nullptr, album.GetPageFileName(page));
                int orientation = album.GetPageOrientation(page);
                ASSERT_TRUE(orientation >= 0 && orientation <= 7);
            }
            // Still usable after whatever happened.
            int added = album.AddPage((folder + "after.jpg").c_str());
            ASSERT_GE(added, 0);
            ASSERT_EQ(added, album.FindPage((folder + "AFTER.JPG").c_str()));
            if (i % 100 == 0) {
                ASSERT_EQ(1, album.SaveFile((folder + "resave.zub").c_str()));
                ZubAlbum again;
                ASSERT_EQ(1, again.LoadFile((folder + "resave.zub").c_str()));
                ASSERT_EQ(album.PageCount(), again.PageCount());
            }
            char cover[MAX_PATH], title[32];
            int orientation = 0;
            PeekZubFile(path.c_str(), cover, title, sizeof title, &orientation);
            PeekZubFile(path.c_str(), nullptr, title, sizeof title, nullptr);
        }
        ASSERT_EQ(before, LiveAlbumAllocations()) << "iteration " << i;
    }
    // The mutations must leave some files loadable and break others.
    EXPECT_GT(loaded, 50);
    EXPECT_LT(loaded, 1950);
    RecordProperty("loaded", loaded);
}
