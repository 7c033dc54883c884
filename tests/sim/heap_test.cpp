// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated heap hands freed blocks out again: a reused block must look
// like a fresh one, and a block freed twice must still be caught.
#include <cstring>

#include <gtest/gtest.h>

#include "platform/sim/sim.h"
#include "platform/system.h"

namespace {

class HeapTest : public ::testing::Test {
protected:
    void SetUp() override { SimReset(); }
    void TearDown() override { SimReset(); }
};

TEST_F(HeapTest, ABlockHandedOutAgainIsZeroedWhenAskedAndCountedAsLive)
{
    for (std::size_t bytes : {std::size_t{48}, std::size_t{4096}}) {
        for (int round = 0; round < 20; ++round) {
            auto* dirty = static_cast<unsigned char*>(LocalAlloc(LMEM_FIXED, bytes));
            ASSERT_NE(dirty, nullptr);
            std::memset(dirty, 0xAB, bytes);
            EXPECT_EQ(LocalFree(dirty), nullptr);
            auto* clean = static_cast<unsigned char*>(LocalAlloc(LPTR, bytes));
            ASSERT_NE(clean, nullptr);
            for (std::size_t i = 0; i < bytes; ++i)
                ASSERT_EQ(clean[i], 0) << bytes << " bytes, round " << round << ", at " << i;
            EXPECT_EQ(SimHeapLiveBlocks(), 1);
            EXPECT_EQ(LocalFree(clean), nullptr);
            EXPECT_EQ(SimHeapLiveBlocks(), 0);
        }
    }
    // A block of another size is never handed out for a request.
    void* small = LocalAlloc(LMEM_FIXED, 16);
    EXPECT_EQ(LocalFree(small), nullptr);
    auto* large = static_cast<unsigned char*>(LocalAlloc(LPTR, 100000));
    ASSERT_NE(large, nullptr);
    std::memset(large, 1, 100000); // AddressSanitizer: all of it is ours
    EXPECT_EQ(LocalFree(large), nullptr);
    EXPECT_EQ(SimFaults(), 0);
}

TEST_F(HeapTest, FreeingTwiceIsAFaultEvenWhenTheBlockWasHandedOutAgain)
{
    void* first = LocalAlloc(LMEM_FIXED, 4096);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(LocalFree(first), nullptr);
    EXPECT_EQ(LocalFree(first), first);
    EXPECT_EQ(SimFaults(), 1);
    EXPECT_EQ(SimLastFault(), "block freed twice or never allocated");

    // Whether or not the next block is the same memory, it is live once
    // and freed once.
    void* second = LocalAlloc(LMEM_FIXED, 4096);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(SimHeapLiveBlocks(), 1);
    EXPECT_EQ(LocalFree(second), nullptr);
    EXPECT_EQ(LocalFree(second), second);
    EXPECT_EQ(SimFaults(), 2);
    EXPECT_EQ(SimHeapLiveBlocks(), 0);
}

TEST_F(HeapTest, TheNthAllocationStillFailsWhenSpareBlocksAreKept)
{
    void* kept = LocalAlloc(LMEM_FIXED, 4096);
    EXPECT_EQ(LocalFree(kept), nullptr);
    SimHeapFailNth(1);
    EXPECT_EQ(LocalAlloc(LMEM_FIXED, 4096), nullptr);
    void* next = LocalAlloc(LMEM_FIXED, 4096);
    EXPECT_NE(next, nullptr);
    EXPECT_EQ(LocalFree(next), nullptr);
    EXPECT_EQ(SimHeapLiveBlocks(), 0);
}

} // namespace
