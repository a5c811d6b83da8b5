#include "album/mem_array.h"

#include <gtest/gtest.h>

#include "album/album_memory.h"

namespace {
int& At(MemArray& array, int index) {
    return *static_cast<int*>(array.Get(index));
}
}  // namespace

TEST(MemArray, AddGivesZeroFilledElementsInOrderAndGrowsByTenSlots) {
    const long before = LiveAlbumAllocations();
    {
        MemArray array;
        for (int i = 0; i < 25; ++i) {
            ASSERT_EQ(i, array.Add(16));
            auto element = static_cast<unsigned char*>(array.Get(i));
            ASSERT_NE(nullptr, element);
            for (int b = 0; b < 16; ++b) EXPECT_EQ(0, element[b]);
            element[0] = static_cast<unsigned char>(i);
        }
        EXPECT_EQ(30u, array.Capacity());
        for (int i = 0; i < 25; ++i) EXPECT_EQ(i, *static_cast<unsigned char*>(array.Get(i)));
        array.Remove(0);
        EXPECT_GT(LiveAlbumAllocations(), before);
    }
    EXPECT_EQ(before, LiveAlbumAllocations());  // every block given back
}

TEST(MemArray, RemoveAndSwapKeepTheOthersAndBadIndexesChangeNothing) {
    MemArray array;
    EXPECT_EQ(nullptr, array.Get(0));
    EXPECT_EQ(0, array.Remove(0));
    for (int i = 0; i < 10; ++i) {
        array.Add(4);
        At(array, i) = i + 100;
    }
    ASSERT_EQ(array.Capacity(), array.Count());
    EXPECT_EQ(1, array.Remove(9));  // the last of a full array
    ASSERT_EQ(9u, array.Count());
    for (int i = 0; i < 9; ++i) EXPECT_EQ(i + 100, At(array, i));
    EXPECT_EQ(1, array.Remove(3));
    EXPECT_EQ(104, At(array, 3));
    EXPECT_EQ(1, array.Swap(0, 2));
    EXPECT_EQ(102, At(array, 0));
    EXPECT_EQ(100, At(array, 2));
    EXPECT_EQ(nullptr, array.Get(8));  // index = count
    EXPECT_EQ(0, array.Remove(8));
    EXPECT_EQ(0, array.Swap(0, 8));
    EXPECT_EQ(8u, array.Count());
}
