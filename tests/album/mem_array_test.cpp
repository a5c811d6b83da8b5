#include "album/mem_array.h"

#include <gtest/gtest.h>

#include <vector>

#include "album/album_memory.h"

namespace {
int& At(MemArray& array, int index) {
    return *static_cast<int*>(array.Get(index));
}
}  // namespace

TEST(MemArray, GrowsByTenZeroFilledSlotsAndRemoveAndSwapKeepTheOthers) {
    const long before = LiveAlbumAllocations();
    {
        MemArray array;
        EXPECT_EQ(nullptr, array.Get(0));
        EXPECT_EQ(0, array.Remove(0));
        for (int i = 0; i < 30; ++i) {
            if (i == 25) {
                EXPECT_EQ(30u, array.Capacity());
            }
            ASSERT_EQ(i, array.Add(16));
            const auto* element = static_cast<unsigned char*>(array.Get(i));
            ASSERT_NE(nullptr, element);
            EXPECT_EQ(std::vector<unsigned char>(16, 0), std::vector<unsigned char>(element, element + 16));
            At(array, i) = i + 100;
        }
        ASSERT_EQ(array.Capacity(), array.Count());
        EXPECT_EQ(1, array.Remove(29));  // the last of a full array
        ASSERT_EQ(29u, array.Count());
        for (int i = 0; i < 29; ++i) EXPECT_EQ(i + 100, At(array, i));
        EXPECT_EQ(1, array.Remove(3));
        EXPECT_EQ(104, At(array, 3));
        EXPECT_EQ(1, array.Swap(0, 2));
        EXPECT_EQ(std::make_pair(102, 100), std::make_pair(At(array, 0), At(array, 2)));
        EXPECT_EQ(nullptr, array.Get(28));  // index = count
        EXPECT_EQ(std::make_tuple(0, 0, 28u),
                  std::make_tuple(array.Remove(28), array.Swap(0, 28), array.Count()));
        EXPECT_GT(LiveAlbumAllocations(), before);
    }
    EXPECT_EQ(before, LiveAlbumAllocations());  // every block given back
}
