#include "album/mem_array.h"

#include <gtest/gtest.h>

#include <cstring>

#include "album/album_memory.h"

TEST(MemArray, AddGivesZeroFilledElementsInOrder) {
    MemArray array;
    EXPECT_EQ(10u, array.Capacity());
    for (int i = 0; i < 25; ++i) {
        ASSERT_EQ(i, array.Add(16));
        auto element = static_cast<unsigned char*>(array.Get(i));
        ASSERT_NE(nullptr, element);
        for (int b = 0; b < 16; ++b) EXPECT_EQ(0, element[b]);
        element[0] = static_cast<unsigned char>(i);
    }
    EXPECT_EQ(30u, array.Capacity());  // grows by 10 slots
    for (int i = 0; i < 25; ++i) EXPECT_EQ(i, *static_cast<unsigned char*>(array.Get(i)));
}

TEST(MemArray, BadIndexesChangeNothing) {
    MemArray array;
    EXPECT_EQ(nullptr, array.Get(0));
    EXPECT_EQ(0, array.Remove(0));
    array.Add(4);
    EXPECT_EQ(nullptr, array.Get(1));  // index = count
    EXPECT_EQ(0, array.Remove(1));
    EXPECT_EQ(0, array.Swap(0, 1));
    EXPECT_EQ(1u, array.Count());
}

TEST(MemArray, RemovingTheLastOfAFullArrayKeepsTheOthers) {
    MemArray array;
    for (int i = 0; i < 10; ++i) {
        array.Add(4);
        *static_cast<int*>(array.Get(i)) = i + 100;
    }
    ASSERT_EQ(array.Capacity(), array.Count());
    EXPECT_EQ(1, array.Remove(9));
    ASSERT_EQ(9u, array.Count());
    for (int i = 0; i < 9; ++i) EXPECT_EQ(i + 100, *static_cast<int*>(array.Get(i)));
    EXPECT_EQ(1, array.Remove(3));
    EXPECT_EQ(104, *static_cast<int*>(array.Get(3)));
}

TEST(MemArray, SwapExchangesElements) {
    MemArray array;
    for (int i = 0; i < 3; ++i) {
        array.Add(4);
        *static_cast<int*>(array.Get(i)) = i;
    }
    EXPECT_EQ(1, array.Swap(0, 2));
    EXPECT_EQ(2, *static_cast<int*>(array.Get(0)));
    EXPECT_EQ(0, *static_cast<int*>(array.Get(2)));
}

TEST(MemArray, GivesBackEveryBlock) {
    long before = LiveAlbumAllocations();
    {
        MemArray array;
        for (int i = 0; i < 35; ++i) array.Add(8);
        array.Remove(0);
        EXPECT_GT(LiveAlbumAllocations(), before);
    }
    EXPECT_EQ(before, LiveAlbumAllocations());
}
