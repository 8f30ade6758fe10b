// The upgrade service as the guides see it, built with a file store.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "bsp_upgrade_inner.h"

namespace {

BOOT_INFO_S patterned_record(uint8_t seed)
{
    BOOT_INFO_S r;
    auto *bytes = reinterpret_cast<uint8_t *>(&r);
    for (size_t i = 0; i < sizeof(r); i++) {
        bytes[i] = static_cast<uint8_t>(seed + i * 3);
    }
    return r;
}

void corrupt_byte(long offset)
{
    FILE *f = fopen(STORE_PATH, "r+b");
    ASSERT_NE(f, nullptr);
    fseek(f, offset, SEEK_SET);
    int c = fgetc(f);
    fseek(f, offset, SEEK_SET);
    fputc(c ^ 0xFF, f);
    fclose(f);
}

} // namespace

class BspUpgradeTest : public ::testing::Test {
protected:
    void SetUp() override { unlink(STORE_PATH); }
    void TearDown() override { unlink(STORE_PATH); }
};

TEST_F(BspUpgradeTest, StoredRecordComesBackByteForByte)
{
    for (uint8_t seed : {1, 2, 3}) {
        BOOT_INFO_S in = patterned_record(seed);
        ASSERT_EQ(BSP_SetBootMode(&in), 0);
        BOOT_INFO_S out;
        memset(&out, 0, sizeof(out));
        ASSERT_EQ(BSP_GetBootMode(&out), 0);
        EXPECT_EQ(memcmp(&in, &out, sizeof(in)), 0);
    }
}

TEST_F(BspUpgradeTest, FailedReadGivesTheDefaultRecord)
{
    BOOT_INFO_S r = patterned_record(9);
    EXPECT_EQ(BSP_GetBootMode(&r), -1);
    EXPECT_EQ(r.enBootType, BOOT_E_SYSTEM_A);
    for (int i = 0; i < PARTITION_E_BUTT; i++) {
        EXPECT_EQ(r.aenUpgradeStat[i], UPGRADE_E_NONE);
        EXPECT_EQ(r.aenPartStat[i], PARTITION_STAT_E_OK_DATA);
    }
    EXPECT_EQ(r.u32Magic, 0u);
    EXPECT_EQ(r.astPartInfo[3].u32ImgLen, 0u);
    EXPECT_EQ(r.s8Reserve[100], 0);

    // Both copies broken is a failed read too.
    BOOT_INFO_S a = patterned_record(1);
    ASSERT_EQ(BSP_SetBootMode(&a), 0);
    ASSERT_EQ(BSP_SetBootMode(&a), 0);
    corrupt_byte(100);
    corrupt_byte(16384 + 100);
    EXPECT_EQ(BSP_GetBootMode(&r), -1);
    EXPECT_EQ(r.enBootType, BOOT_E_SYSTEM_A);
}

TEST_F(BspUpgradeTest, CorruptNewestCopyFallsBackToPrevious)
{
    BOOT_INFO_S a = patterned_record(1);
    BOOT_INFO_S b = patterned_record(2);
    ASSERT_EQ(BSP_SetBootMode(&a), 0);
    ASSERT_EQ(BSP_SetBootMode(&b), 0);
    corrupt_byte(16384 + 16 + 8020); // b's boot type
    BOOT_INFO_S out;
    ASSERT_EQ(BSP_GetBootMode(&out), 0);
    EXPECT_EQ(memcmp(&out, &a, sizeof(a)), 0);
}

TEST(BuRunCmd, StatusOfTheCommand)
{
    EXPECT_EQ(BU_RunCmd("true"), 0);
    EXPECT_EQ(BU_RunCmd("exit 0"), 0);
    EXPECT_NE(BU_RunCmd("exit 1"), 0);
    EXPECT_NE(BU_RunCmd("false"), 0);
    EXPECT_NE(BU_RunCmd("kill -9 $$"), 0) << "death by a signal is a failure";
    EXPECT_NE(BU_RunCmd("/nonexistent/program"), 0);
    EXPECT_NE(BU_RunCmd(nullptr), 0);
}

TEST(BuRunCmd, WildcardsExpandAsInAShell)
{
    char dir[] = "/tmp/runcmd-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string d = dir;
    ASSERT_EQ(BU_RunCmd(("mkdir -p " + d + "/src " + d + "/dst").c_str()), 0);
    ASSERT_EQ(BU_RunCmd(("touch " + d + "/src/a " + d + "/src/b " + d + "/src/.hidden").c_str()), 0);
    ASSERT_EQ(BU_RunCmd(("cp -rf " + d + "/src/* " + d + "/dst/").c_str()), 0);
    EXPECT_EQ(access((d + "/dst/a").c_str(), F_OK), 0);
    EXPECT_EQ(access((d + "/dst/b").c_str(), F_OK), 0);
    EXPECT_NE(access((d + "/dst/.hidden").c_str(), F_OK), 0) << "* does not match dot files";
    EXPECT_EQ(BU_RunCmd(("rm -rf " + d).c_str()), 0);
}

TEST(BuRunCmd, LinesOf128CharactersOrMoreAreRefused)
{
    char dir[] = "/tmp/runcmd-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string marker = std::string(dir) + "/ran";
    std::string line = "touch " + marker + " #";
    std::string at127 = line + std::string(127 - line.size(), 'x');
    std::string at128 = line + std::string(128 - line.size(), 'x');
    EXPECT_EQ(BU_RunCmd(at128.c_str()), -1);
    EXPECT_NE(access(marker.c_str(), F_OK), 0) << "nothing ran";
    EXPECT_EQ(BU_RunCmd(at127.c_str()), 0);
    EXPECT_EQ(access(marker.c_str(), F_OK), 0);
    BU_RunCmd(("rm -rf " + std::string(dir)).c_str());
}

TEST(PartNames, EveryIndexHasAShortFixedName)
{
    for (int i = -3; i < 40; i++) {
        const char *name = bspPartNumToStr(static_cast<PARTITION_TYPE_E>(i));
        ASSERT_NE(name, nullptr);
        EXPECT_LE(strlen(name), 23u);
        EXPECT_GT(strlen(name), 0u);
    }
    EXPECT_STREQ(bspPartNumToStr(PARTITION_E_KERNEL_A), "kernel_a");
    EXPECT_STREQ(bspPartNumToStr(PARTITION_E_APP_B), "app_b");
    EXPECT_STREQ(bspPartNumToStr(static_cast<PARTITION_TYPE_E>(99)), "unknown");
}

TEST(CopyPartition, OnlyBootChainTwinsAreCopied)
{
    BOOT_INFO_S r{};
    EXPECT_EQ(BSP_CopySrcPartitionToDest(&r, PARTITION_E_APP_A, PARTITION_E_APP_B), -1);
    EXPECT_EQ(BSP_CopySrcPartitionToDest(&r, PARTITION_E_KERNEL_A, PARTITION_E_RESERVE), -1);
    EXPECT_EQ(BSP_CopySrcPartitionToDest(&r, PARTITION_E_KERNEL_A, PARTITION_E_KERNEL_A), -1);
}
