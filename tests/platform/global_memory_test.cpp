// The global memory stand-in: fixed and movable blocks, locking, finding a handle from
// an address, and failures that give null instead of an exception.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "platform/global_memory.h"
#include "platform/global_memory_testing.h"

TEST(GlobalMemory, AFixedBlockIsItsOwnHandle)
{
    void* const block = GlobalAlloc(GMEM_FIXED, 18);
    ASSERT_NE(block, nullptr);
    std::memset(block, 0x5A, 18);  // the whole size is usable
    EXPECT_EQ(GlobalLock(block), block);
    EXPECT_EQ(GlobalHandle(block), block);
    EXPECT_EQ(GlobalFree(block), nullptr);
    // An empty data chunk still loads into a block of its own.
    void* const empty = GlobalAlloc(GMEM_FIXED, 0);
    EXPECT_NE(empty, nullptr);
    EXPECT_EQ(GlobalFree(empty), nullptr);
    EXPECT_EQ(GlobalLiveBlocksForTesting(), 0u);
}

TEST(GlobalMemory, AMovableBlockIsZeroFilledAndReachedThroughLocking)
{
    const HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 1000);
    ASSERT_NE(handle, nullptr);
    auto* const bytes = static_cast<unsigned char*>(GlobalLock(handle));
    ASSERT_NE(bytes, nullptr);
    EXPECT_NE(static_cast<void*>(bytes), handle);
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(bytes[i], 0) << i;
    }
    EXPECT_EQ(GlobalHandle(bytes), handle);
    EXPECT_EQ(GlobalHandle(bytes + 1), nullptr) << "only a block's first byte finds it";
    EXPECT_EQ(GlobalLock(handle), bytes);
    EXPECT_TRUE(GlobalUnlock(handle)) << "locked twice, still locked once";
    EXPECT_FALSE(GlobalUnlock(handle));
    EXPECT_EQ(GlobalFree(handle), nullptr);
    EXPECT_EQ(GlobalHandle(bytes), nullptr);
}

TEST(GlobalMemory, AMovableBlockOfZeroBytesCannotBeLocked)
{
    const HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 0);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(GlobalLock(handle), nullptr);
    EXPECT_EQ(GlobalFree(handle), nullptr);
}

TEST(GlobalMemory, UnknownHandlesAreRefusedAndFreedBlocksAreUnknown)
{
    int notABlock = 0;
    EXPECT_EQ(GlobalFree(&notABlock), &notABlock);
    EXPECT_EQ(GlobalLock(&notABlock), nullptr);
    EXPECT_EQ(GlobalHandle(&notABlock), nullptr);
    void* const block = GlobalAlloc(GMEM_FIXED, 4);
    ASSERT_EQ(GlobalFree(block), nullptr);
    EXPECT_EQ(GlobalFree(block), block) << "a second release is refused";
    EXPECT_EQ(GlobalFree(nullptr), nullptr);
}

// A movable block's handle is never issued twice: a released one is refused even when a
// newer block's record takes its memory, and the newer block stays. Blocks come and go
// for a few rounds, as in a long run, which is when memory is taken again.
TEST(GlobalMemory, AReleasedMovableHandleIsRefusedWhileNewerBlocksLive)
{
    const HGLOBAL released = GlobalAlloc(GMEM_MOVEABLE, 16);
    ASSERT_NE(released, nullptr);
    ASSERT_EQ(GlobalFree(released), nullptr);
    for (int round = 0; round < 4; ++round) {
        const HGLOBAL newer = GlobalAlloc(GMEM_MOVEABLE, 16);
        ASSERT_NE(newer, nullptr);
        EXPECT_NE(newer, released) << round;
        EXPECT_EQ(GlobalLock(released), nullptr) << round;
        EXPECT_EQ(GlobalFree(released), released) << round;
        EXPECT_NE(GlobalLock(newer), nullptr) << "the newer block is still there, round " << round;
        GlobalUnlock(newer);
        EXPECT_EQ(GlobalFree(newer), nullptr) << round;
    }
}

TEST(GlobalMemory, AllocationsThatCannotBeMetGiveNull)
{
    EXPECT_EQ(GlobalAlloc(GMEM_FIXED, SIZE_MAX), nullptr);
    EXPECT_EQ(GlobalAlloc(GMEM_MOVEABLE, (std::size_t{1} << 32) + 1), nullptr);
    GlobalSetAllocationLimitForTesting(100);
    EXPECT_EQ(GlobalAlloc(GMEM_FIXED, 101), nullptr);
    void* const block = GlobalAlloc(GMEM_FIXED, 100);
    EXPECT_NE(block, nullptr);
    GlobalFree(block);
    GlobalSetAllocationLimitForTesting(kGlobalNoAllocationLimit);
    EXPECT_EQ(GlobalLargestRequestForTesting(), SIZE_MAX);
    EXPECT_EQ(GlobalLiveBlocksForTesting(), 0u);
}
