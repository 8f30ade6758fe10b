#include <gtest/gtest.h>

#include "flash.h"
#include "mem_flash.h"

using bsp_upgrade::copy_partition;

namespace {

bool same_block(MemFlash &a, uint32_t ia, MemFlash &b, uint32_t ib)
{
    return memcmp(a.block(ia), b.block(ib), a.erase_size()) == 0;
}

} // namespace

TEST(PartitionCopy, CopiesEveryBlockAndErasesStaleContent)
{
    MemFlash src(6);
    MemFlash dst(6);
    for (uint32_t i = 0; i < 4; i++) {
        src.fill_block(i, static_cast<uint8_t>(i + 1));
    }
    for (uint32_t i = 0; i < 6; i++) {
        dst.fill_block(i, 0x55); // old content everywhere
    }
    ASSERT_TRUE(copy_partition(src, dst).ok());
    for (uint32_t i = 0; i < 6; i++) {
        EXPECT_TRUE(same_block(src, i, dst, i)) << "block " << i;
    }
}

TEST(PartitionCopy, SkipsBadBlocksOnBothSides)
{
    MemFlash src(6);
    MemFlash dst(6);
    src.mark_bad(1);
    dst.mark_bad(0);
    dst.mark_bad(3);
    src.fill_block(0, 10);
    src.fill_block(2, 20);
    src.fill_block(3, 30);
    // Good source blocks 0, 2, 3 land on good destination blocks 1, 2, 4.
    ASSERT_TRUE(copy_partition(src, dst).ok());
    EXPECT_TRUE(same_block(src, 0, dst, 1));
    EXPECT_TRUE(same_block(src, 2, dst, 2));
    EXPECT_TRUE(same_block(src, 3, dst, 4));
    EXPECT_EQ(dst.block(5)[0], 0xFF);
}

TEST(PartitionCopy, TwinWithFewerGoodBlocksTakesOnlyErasedLeftovers)
{
    MemFlash src(4);
    MemFlash dst(4);
    dst.mark_bad(2);
    src.fill_block(0, 1);
    src.fill_block(1, 2);
    EXPECT_TRUE(copy_partition(src, dst).ok()) << "the source's last blocks are erased";

    src.fill_block(3, 4);
    EXPECT_FALSE(copy_partition(src, dst).ok()) << "data that does not fit is a failure";
}

TEST(PartitionCopy, ErasedPagesAreNotProgrammed)
{
    MemFlash src(2);
    MemFlash dst(2);
    src.block(0)[0] = 0x12; // one page with data, the rest erased
    ASSERT_TRUE(copy_partition(src, dst).ok());
    EXPECT_EQ(dst.pages_written, 1);
    EXPECT_TRUE(same_block(src, 0, dst, 0));
}

TEST(PartitionCopy, FailuresAreReported)
{
    MemFlash src(2);
    src.fill_block(0, 3);
    {
        MemFlash dst(2);
        dst.fail_erase(true);
        EXPECT_FALSE(copy_partition(src, dst).ok());
    }
    {
        MemFlash dst(2);
        dst.cut_after(100);
        EXPECT_FALSE(copy_partition(src, dst).ok());
    }
    {
        MemFlash dst(2, 16384, 512);
        EXPECT_FALSE(copy_partition(src, dst).ok()) << "geometries differ";
    }
}
