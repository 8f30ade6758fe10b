// The upgrade service as the guides see it, built with a file store.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>

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

namespace {

// What writer `writer` stores the n-th time: every byte depends on both, so a
// record pieced together from two stores is seen as such.
BOOT_INFO_S writer_record(uint32_t writer, uint32_t n)
{
    BOOT_INFO_S r = patterned_record(static_cast<uint8_t>(writer * 97 + n));
    r.au32SysVersion[0] = writer;
    r.au32SysVersion[1] = n;
    return r;
}

struct SharedCounts {
    std::atomic<int> writers_done;
    std::atomic<int> failed_stores;
    std::atomic<int> reads;
    std::atomic<int> failed_reads;
    std::atomic<int> torn_reads;
    char last_failure[192];
};

} // namespace

// Two programs storing and one reading at once, as bootinfo, a guide and the
// upgrade process may on the device: every store succeeds and every read
// finds a whole record that one of them stored.
TEST_F(BspUpgradeTest, TwoWritersAndAReaderAtOnce)
{
    constexpr uint32_t kStores = 150;
    constexpr int kMaxReads = 100000;
    BOOT_INFO_S first = writer_record(0, 0);
    ASSERT_EQ(BSP_SetBootMode(&first), 0);

    void *mem = mmap(nullptr, sizeof(SharedCounts), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mem, MAP_FAILED);
    auto *counts = new (mem) SharedCounts{};

    std::vector<pid_t> children;
    for (uint32_t writer = 1; writer <= 2; writer++) {
        pid_t pid = fork();
        if (pid == 0) {
            for (uint32_t n = 0; n < kStores; n++) {
                BOOT_INFO_S r = writer_record(writer, n);
                if (BSP_SetBootMode(&r) != 0) {
                    if (counts->failed_stores++ == 0) {
                        snprintf(counts->last_failure, sizeof(counts->last_failure), "%s", BSP_GetUpgradeError());
                    }
                }
                // A program does other work between two stores; without this
                // pause two writers storing back to back would keep the reader out.
                usleep(500);
            }
            counts->writers_done++;
            _exit(0);
        }
        children.push_back(pid);
    }
    pid_t reader = fork();
    if (reader == 0) {
        // Reads until both writers are done, bounded by a count.
        for (int i = 0; i < kMaxReads && counts->writers_done < 2; i++) {
            BOOT_INFO_S r;
            counts->reads++;
            if (BSP_GetBootMode(&r) != 0) {
                counts->failed_reads++;
                continue;
            }
            BOOT_INFO_S expected = writer_record(r.au32SysVersion[0], r.au32SysVersion[1]);
            if (memcmp(&r, &expected, sizeof(r)) != 0) {
                counts->torn_reads++;
            }
        }
        _exit(0);
    }
    children.push_back(reader);
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    EXPECT_EQ(counts->failed_stores.load(), 0) << counts->last_failure;
    EXPECT_EQ(counts->failed_reads.load(), 0) << "of " << counts->reads.load() << " reads";
    EXPECT_EQ(counts->torn_reads.load(), 0);
    EXPECT_GT(counts->reads.load(), 0);
    printf("%d reads beside %u stores\n", counts->reads.load(), 2 * kStores);
    // The record is the last store of one of the writers.
    BOOT_INFO_S out;
    ASSERT_EQ(BSP_GetBootMode(&out), 0);
    EXPECT_EQ(out.au32SysVersion[1], kStores - 1);
    BOOT_INFO_S expected = writer_record(out.au32SysVersion[0], kStores - 1);
    EXPECT_EQ(memcmp(&out, &expected, sizeof(out)), 0);
    munmap(mem, sizeof(SharedCounts));
}

TEST_F(BspUpgradeTest, FailuresNameTheirCause)
{
    BOOT_INFO_S r;
    ASSERT_EQ(BSP_GetBootMode(&r), -1);
    EXPECT_STREQ(BSP_GetUpgradeError(), "opening of the record file (open): No such file or directory");
    ASSERT_EQ(BSP_SetBootMode(&r), 0);
    EXPECT_STREQ(BSP_GetUpgradeError(), "") << "a success clears the cause";
    corrupt_byte(100);
    ASSERT_EQ(BSP_GetBootMode(&r), -1);
    EXPECT_STREQ(BSP_GetUpgradeError(), "no valid copy of the record in storage");
    EXPECT_EQ(BU_RunCmd("exit 3"), -1);
    EXPECT_STREQ(BSP_GetUpgradeError(), "command exited with status 3");
    EXPECT_EQ(BSP_CopySrcPartitionToDest(&r, PARTITION_E_APP_A, PARTITION_E_APP_B), -1);
    EXPECT_STREQ(BSP_GetUpgradeError(), "not a pair of boot-chain twins: Invalid argument");
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
