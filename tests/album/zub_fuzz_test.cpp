// Bounded mutation fuzzing of the .zub reader: thousands of damaged files
// made from valid ones with a fixed seed. No crash, no hang, nothing leaked,
// and the album stays usable after every failed load.
#include <random>

#include "album/album_memory.h"
#include "tests/album/album_test_support.h"

namespace {

// Words that mean something in a .zub file: keywords, sizes at the edges,
// block markers.
std::vector<Bytes> ZubWords() {
    std::vector<Bytes> words;
    for (uint32_t word :
         {0u,          1u,          3u,          4u,          8u,          127u,        128u,
          130u,        131u,        133u,        255u,        260u,        261u,        265u,
          0x7FFFFFFFu, 0x80000003u, 0xFFFF0000u, 0xFFFF0001u, 0xFFFFFFFFu, 0xFFFFFFFCu, 0x00010000u})
        words.push_back(Words({word}));
    return words;
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
    const Bytes extra = Rec(0x44, Bytes{1, 2, 3, 4, 5}), page = Rec(0xC8, TextBody("kept"));
    bytes.insert(bytes.begin() + 24, extra.begin(), extra.end());
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
    std::mt19937 random(0x5EED2u);  // a fixed seed: every run damages the same files
    const std::vector<Bytes> dictionary = ZubWords();
    std::string path = folder + "fuzz.zub";
    long before = LiveAlbumAllocations();
    int loaded = 0;
    for (int i = 0; i < 2000; ++i) {
        Bytes bytes = seeds[i % 2];
        Mutate(bytes, random, 4, dictionary);
        ASSERT_TRUE(WriteFileBytes(path, bytes));
        {
            ZubAlbum album;
            if (album.LoadFile(path.c_str())) ++loaded;
            for (int page = 0; page < album.PageCount(); ++page) {
                ASSERT_NE(nullptr, album.GetPagePath(page));
                ASSERT_NE(nullptr, album.GetPageFileName(page));
                ASSERT_LE(static_cast<unsigned>(album.GetPageOrientation(page)), 7u);
            }
            const int added = album.AddPage((folder + "after.jpg").c_str());  // still usable
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
