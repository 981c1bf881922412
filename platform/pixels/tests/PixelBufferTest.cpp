#include "PixelBuffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>

using namespace pravix;

// Memory taken from elsewhere goes back through its own release, once, whether the buffer ends, is
// replaced or is moved on; copies of it are memory of their own.
TEST(PixelBufferTest, AdoptedMemoryGoesBackThroughItsRelease)
{
    uint8_t outside[64];
    std::memset(outside, 7, sizeof outside);
    int released = 0;
    auto release = [&](uint8_t* memory, size_t bytes)
    {
        EXPECT_EQ(memory, outside);
        EXPECT_EQ(bytes, sizeof outside);
        ++released;
    };
    {
        PixelBuffer adopted = PixelBuffer::adopt(outside, sizeof outside, release);
        PixelBuffer copy = adopted;
        EXPECT_NE(copy.data(), outside);
        EXPECT_EQ(copy, adopted);
        PixelBuffer moved = std::move(adopted);
        EXPECT_EQ(moved.data(), outside);
        EXPECT_TRUE(adopted.empty());
        EXPECT_EQ(released, 0);
        copy[0] = 1;
        EXPECT_NE(copy, moved);
    }
    EXPECT_EQ(released, 1);

    PixelBuffer replaced = PixelBuffer::adopt(outside, sizeof outside, release);
    replaced.resize(100);  // now memory of its own: the adopted bytes went back, their values kept
    EXPECT_EQ(released, 2);
    EXPECT_EQ(replaced[63], 7);
    EXPECT_EQ(replaced[64], 0);
    EXPECT_EQ(replaced.size(), 100u);
}

// Grown, a buffer keeps its bytes and adds zeros, small (allocated) or large (mapped on its own).
TEST(PixelBufferTest, GrowsKeepingItsBytes)
{
    for (size_t bytes : {size_t(10), size_t(5) << 20})
    {
        PixelBuffer b(bytes);
        EXPECT_EQ(b.size(), bytes);
        EXPECT_EQ(b[0], 0);
        EXPECT_EQ(b.back(), 0);
        b[0] = 5;
        b.back() = 6;
        b.resize(bytes * 2);
        EXPECT_EQ(b[0], 5);
        EXPECT_EQ(b[bytes - 1], 6);
        EXPECT_EQ(b.back(), 0);
        b.assign(3, 9);
        EXPECT_EQ(b.size(), 3u);
        EXPECT_EQ(b[2], 9);
        b.clear();
        EXPECT_TRUE(b.empty());
    }
}
