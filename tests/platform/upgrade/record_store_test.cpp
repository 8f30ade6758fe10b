#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "crc32.h"
#include "file_medium.h"
#include "flash.h"
#include "mem_flash.h"
#include "record_store.h"
#include "store_lock.h"

using namespace bsp_upgrade;

namespace {

constexpr size_t kRecordLen = 8656;

std::vector<uint8_t> make_record(uint8_t seed)
{
    std::vector<uint8_t> r(kRecordLen);
    for (size_t i = 0; i < r.size(); i++) {
        r[i] = static_cast<uint8_t>(seed * 31 + i * 13 + (i >> 8));
    }
    return r;
}

std::vector<uint8_t> load(SlotMedium &m, bool *ok)
{
    std::vector<uint8_t> r(kRecordLen, 0);
    *ok = load_record(m, r.data(), r.size()).ok();
    return r;
}

// A file store whose writes stop for good after a given number of bytes,
// as a power cut stops them.
class CutFileMedium : public FileMedium {
public:
    CutFileMedium(const std::string &path, long budget) : FileMedium(path), budget_(budget) {}

protected:
    bool write_at(int fd, const void *buf, size_t len, off_t offset) override
    {
        size_t n = std::min<size_t>(len, static_cast<size_t>(budget_));
        if (n > 0 && pwrite(fd, buf, n, offset) != static_cast<ssize_t>(n)) {
            return false;
        }
        budget_ -= static_cast<long>(n);
        return n == len;
    }

private:
    long budget_;
};

class TempFile {
public:
    TempFile()
    {
        // A memory file system keeps the thousands of syncs of the cut test cheap.
        char tmpl[] = "/dev/shm/record-store-XXXXXX";
        int fd = mkstemp(tmpl);
        if (fd < 0) {
            strcpy(tmpl, "/tmp/record-store-XXXXXX");
            fd = mkstemp(tmpl);
        }
        close(fd);
        path = tmpl;
    }
    ~TempFile() { unlink(path.c_str()); }
    std::string path;
};

} // namespace

TEST(RecordStore, RoundTripOfEveryByteAndNewestWins)
{
    TempFile file;
    FileMedium medium(file.path);
    bool ok = true;
    load(medium, &ok);
    EXPECT_FALSE(ok) << "an empty store holds no record";

    for (uint8_t seed = 1; seed <= 5; seed++) {
        auto record = make_record(seed);
        ASSERT_TRUE(store_record(medium, record.data(), record.size()));
        EXPECT_EQ(load(medium, &ok), record);
        EXPECT_TRUE(ok);
    }
    // The record's own check words are carried untouched, whatever they hold.
    std::vector<uint8_t> zeros(kRecordLen, 0);
    ASSERT_TRUE(store_record(medium, zeros.data(), zeros.size()));
    EXPECT_EQ(load(medium, &ok), zeros);
}

TEST(RecordStore, StoreCutOffAtAnyByteLeavesOldOrNewRecord)
{
    TempFile file;
    const auto older = make_record(1);
    const auto old_record = make_record(2);
    const auto new_record = make_record(3);
    // Enough bytes for the three steps of a store of one copy.
    const long whole = static_cast<long>(sizeof(Envelope) * 2 + kRecordLen);
    int saw_new = 0;
    for (long cut = 0; cut <= whole; cut++) {
        unlink(file.path.c_str());
        FileMedium medium(file.path);
        ASSERT_TRUE(store_record(medium, older.data(), older.size()));
        ASSERT_TRUE(store_record(medium, old_record.data(), old_record.size()));

        CutFileMedium cut_medium(file.path, cut);
        bool stored = store_record(cut_medium, new_record.data(), new_record.size()).ok();
        bool ok = false;
        auto got = load(medium, &ok);
        ASSERT_TRUE(ok) << "cut at " << cut;
        if (stored) {
            ASSERT_EQ(got, new_record) << "cut at " << cut;
        } else {
            ASSERT_TRUE(got == old_record || got == new_record) << "cut at " << cut;
        }
        saw_new += (got == new_record);
    }
    EXPECT_GE(saw_new, 1);
}

TEST(RecordStore, CorruptedCopyFallsBackToTheOther)
{
    TempFile file;
    FileMedium medium(file.path);
    const auto a = make_record(7);
    const auto b = make_record(8);
    ASSERT_TRUE(store_record(medium, a.data(), a.size())); // slot 0
    ASSERT_TRUE(store_record(medium, b.data(), b.size())); // slot 1, newest

    // One flipped bit in the newest copy's record bytes.
    FILE *f = fopen(file.path.c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    fseek(f, static_cast<long>(FileMedium::kSlotStride + sizeof(Envelope) + 4000), SEEK_SET);
    int c = fgetc(f);
    fseek(f, -1, SEEK_CUR);
    fputc(c ^ 0x10, f);
    fclose(f);

    bool ok = false;
    EXPECT_EQ(load(medium, &ok), a);
    EXPECT_TRUE(ok);

    // The next store overwrites the broken copy, not the good one.
    const auto next = make_record(9);
    ASSERT_TRUE(store_record(medium, next.data(), next.size()));
    EXPECT_EQ(load(medium, &ok), next);
}

TEST(RecordStore, FlashSlotsSkipBadBlocksAndSurviveCutWrites)
{
    MemFlash flash(4, 16384, 2048);
    flash.mark_bad(0);
    FlashMedium medium(flash);
    const auto a = make_record(1);
    const auto b = make_record(2);
    ASSERT_TRUE(store_record(medium, a.data(), a.size()));
    EXPECT_EQ(flash.block(0)[0], 0xFF) << "a bad block is never written";
    ASSERT_TRUE(store_record(medium, b.data(), b.size()));
    bool ok = false;
    EXPECT_EQ(load(medium, &ok), b);

    for (long cut : {0L, 1L, 15L, 16L, 600L, 8000L, 8671L}) {
        flash.cut_after(cut);
        const auto c = make_record(3);
        EXPECT_FALSE(store_record(medium, c.data(), c.size()));
        flash.cut_after(-1);
        EXPECT_EQ(load(medium, &ok), b) << "cut at " << cut;
        EXPECT_TRUE(ok);
    }
    flash.fail_erase(true);
    EXPECT_FALSE(store_record(medium, a.data(), a.size()));
    EXPECT_EQ(load(medium, &ok), b);
}

TEST(RecordStore, SequenceNumbersWrapAround)
{
    MemFlash flash(2, 16384, 2048);
    FlashMedium medium(flash);
    // Lays down one copy with a chosen sequence number, as an older store would have.
    auto put = [&](int slot, uint32_t sequence, const std::vector<uint8_t> &record) {
        Envelope env{kEnvelopeMagic, sequence, static_cast<uint32_t>(record.size()), 0};
        uint32_t crc = crc32_update(0, &env.sequence, 4);
        crc = crc32_update(crc, &env.length, 4);
        env.crc = crc32_update(crc, record.data(), record.size());
        std::vector<uint8_t> slot_bytes(stored_size(record.size()));
        memcpy(slot_bytes.data(), &env, sizeof(env));
        memcpy(slot_bytes.data() + sizeof(env), record.data(), record.size());
        ASSERT_TRUE(medium.write_slot(slot, slot_bytes.data(), slot_bytes.size()));
    };
    const auto a = make_record(4);
    const auto b = make_record(5);
    const auto c = make_record(6);
    put(0, 0xFFFFFFFFu, a);
    put(1, 0u, b);
    bool ok = false;
    EXPECT_EQ(load(medium, &ok), b) << "0 comes after 0xFFFFFFFF";

    ASSERT_TRUE(store_record(medium, c.data(), c.size()));
    EXPECT_EQ(load(medium, &ok), c);
    Envelope env;
    memcpy(&env, flash.block(0), sizeof(env));
    EXPECT_EQ(env.sequence, 1u) << "the older slot was overwritten";
}

namespace {

// Lays down one copy with a chosen sequence number in a block, as a store of
// the earlier two-block layout did.
void put_copy(MemFlash &flash, uint32_t block, uint32_t sequence, const std::vector<uint8_t> &record)
{
    Envelope env{kEnvelopeMagic, sequence, static_cast<uint32_t>(record.size()), 0};
    uint32_t crc = crc32_update(0, &env.sequence, 4);
    crc = crc32_update(crc, &env.length, 4);
    env.crc = crc32_update(crc, record.data(), record.size());
    memset(flash.block(block), 0xFF, flash.erase_size());
    memcpy(flash.block(block), &env, sizeof(env));
    memcpy(flash.block(block) + sizeof(env), record.data(), record.size());
}

int good_blocks(MemFlash &flash, uint32_t blocks)
{
    int good = 0;
    for (uint32_t b = 0; b < blocks; b++) {
        good += flash.bad(b) ? 0 : 1;
    }
    return good;
}

} // namespace

TEST(RecordRing, StoresGoRoundEveryGoodBlock)
{
    MemFlash flash(8, 16384, 2048);
    flash.mark_bad(3);
    FlashMedium medium(flash);
    for (uint8_t seed = 0; seed < 70; seed++) {
        const auto r = make_record(seed);
        ASSERT_TRUE(store_record(medium, r.data(), r.size()).ok()) << int(seed);
        bool ok = false;
        ASSERT_EQ(load(medium, &ok), r) << int(seed);
    }
    // 70 stores over 7 good blocks: each erased 10 times, the bad one never.
    for (uint32_t b = 0; b < 8; b++) {
        EXPECT_EQ(flash.erase_count(b), b == 3 ? 0 : 10) << "block " << b;
    }
}

TEST(RecordRing, WornBlocksAreMarkedBadAndStoresGoOnUntilTwoAreLeft)
{
    constexpr uint32_t kBlocks = 8;
    MemFlash flash(kBlocks, 16384, 2048);
    // Each block lasts a different number of erases, as real blocks do.
    for (uint32_t b = 0; b < kBlocks; b++) {
        flash.wear_out_after(b, 3 + static_cast<int>(b) * 2);
    }
    std::vector<uint8_t> last;
    int stored = 0;
    for (uint8_t seed = 0; seed < 200; seed++) {
        const auto r = make_record(seed);
        // A fresh medium each time, as each call of the service opens the partition anew.
        FlashMedium medium(flash);
        const int good_before = good_blocks(flash, kBlocks);
        Status st = store_record(medium, r.data(), r.size());
        if (!st) {
            // Only refused once fewer than two good blocks are left, and it says so.
            EXPECT_LT(good_blocks(flash, kBlocks), 2) << "store " << int(seed);
            char text[160];
            st.describe(text, sizeof(text));
            EXPECT_NE(std::string(text).find("fewer than two good blocks"), std::string::npos) << text;
            EXPECT_GE(good_before, 1);
            break;
        }
        stored++;
        last = r;
        FlashMedium reader(flash);
        bool ok = false;
        ASSERT_EQ(load(reader, &ok), r) << "store " << int(seed);
    }
    EXPECT_EQ(flash.marked_bad, static_cast<int>(kBlocks) - 1);
    EXPECT_GT(stored, 40);
    printf("%d stores succeeded as %d of %u blocks wore out\n", stored, flash.marked_bad, kBlocks);
    // The last record stored is still there, in the one block left.
    FlashMedium reader(flash);
    bool ok = false;
    EXPECT_EQ(load(reader, &ok), last);
    EXPECT_TRUE(ok);
}

TEST(RecordRing, FailedWriteOrReadBackMovesToTheNextBlock)
{
    MemFlash flash(4, 16384, 2048);
    FlashMedium medium(flash);
    const auto a = make_record(1);
    const auto b = make_record(2);
    ASSERT_TRUE(store_record(medium, a.data(), a.size()).ok()); // block 0
    flash.fail_writes(1);
    ASSERT_TRUE(store_record(medium, b.data(), b.size()).ok());
    EXPECT_TRUE(flash.bad(1));
    bool ok = false;
    FlashMedium reader(flash);
    EXPECT_EQ(load(reader, &ok), b);
    EXPECT_EQ(memcmp(flash.block(2) + sizeof(Envelope), b.data(), b.size()), 0) << "b went to block 2";
    EXPECT_EQ(memcmp(flash.block(0) + sizeof(Envelope), a.data(), a.size()), 0) << "the older copy stays";
}

TEST(RecordRing, CopiesOfTheEarlierTwoBlockLayoutAreRead)
{
    MemFlash flash(8, 131072, 2048);
    flash.mark_bad(0);
    const auto a = make_record(1);
    const auto b = make_record(2);
    // The earlier layout: slot 0 and 1 in the first two good blocks.
    put_copy(flash, 1, 41, a);
    put_copy(flash, 2, 42, b);
    FlashMedium medium(flash);
    bool ok = false;
    EXPECT_EQ(load(medium, &ok), b);
    EXPECT_TRUE(ok);
    // The next store goes to the block after the newest and is read back.
    const auto c = make_record(3);
    ASSERT_TRUE(store_record(medium, c.data(), c.size()).ok());
    Envelope env;
    memcpy(&env, flash.block(3), sizeof(env));
    EXPECT_EQ(env.sequence, 43u);
    EXPECT_EQ(load(medium, &ok), c);
}

TEST(RecordRing, ReadCostsAboutOneCopy)
{
    MemFlash flash(8, 131072, 2048);
    FlashMedium writer(flash);
    for (uint8_t seed = 0; seed < 12; seed++) {
        const auto r = make_record(seed);
        ASSERT_TRUE(store_record(writer, r.data(), r.size()).ok());
    }
    flash.bytes_read = 0;
    FlashMedium reader(flash);
    bool ok = false;
    EXPECT_EQ(load(reader, &ok), make_record(11));
    // Eight envelopes and one whole copy.
    EXPECT_EQ(flash.bytes_read, 8 * sizeof(Envelope) + stored_size(kRecordLen));
}

TEST(RecordRing, UnreadableCopiesNeverRestartTheSequence)
{
    MemFlash flash(2, 16384, 2048);
    const auto a = make_record(1);
    const auto b = make_record(2);
    const auto c = make_record(3);
    {
        FlashMedium medium(flash);
        ASSERT_TRUE(store_record(medium, a.data(), a.size()).ok());
        ASSERT_TRUE(store_record(medium, b.data(), b.size()).ok());
    }
    // Both copies unreadable for a moment: the store must not guess.
    flash.fail_reads(0, 2);
    flash.fail_reads(1, 2);
    {
        FlashMedium medium(flash);
        Status st = store_record(medium, c.data(), c.size());
        EXPECT_FALSE(st.ok());
        EXPECT_EQ(st.err(), EBADMSG);
    }
    flash.fail_reads(0, 0);
    flash.fail_reads(1, 0);
    FlashMedium medium(flash);
    bool ok = false;
    EXPECT_EQ(load(medium, &ok), b) << "nothing was stored over the newest copy";
    ASSERT_TRUE(store_record(medium, c.data(), c.size()).ok());
    EXPECT_EQ(load(medium, &ok), c) << "the store after the error is the newest";

    // With the newest copy unreadable, the store takes its place with a newer number.
    const auto d = make_record(4);
    flash.fail_reads(1, 1); // c went to block 1
    ASSERT_TRUE(store_record(medium, d.data(), d.size()).ok());
    EXPECT_EQ(load(medium, &ok), d);
}

TEST(RecordRing, ReadErrorIsTheCauseWhenNoCopyIsValid)
{
    MemFlash flash(2, 16384, 2048);
    flash.fail_reads(0, 1);
    FlashMedium medium(flash);
    std::vector<uint8_t> r(kRecordLen);
    Status st = load_record(medium, r.data(), r.size());
    ASSERT_FALSE(st.ok());
    char text[160];
    st.describe(text, sizeof(text));
    EXPECT_STREQ(text, "read of block 0 (pread): Bad message");

    FlashMedium empty(flash);
    st = load_record(empty, r.data(), r.size());
    st.describe(text, sizeof(text));
    EXPECT_STREQ(text, "no valid copy of the record in storage");
}

namespace {

// A child process that holds the store's lock until the parent lets it go.
class LockHolder {
public:
    LockHolder(const std::string &path, LockMode mode)
    {
        int ready[2];
        int release[2];
        if (pipe(ready) != 0 || pipe(release) != 0) {
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            close(release[1]);
            int fd = open(path.c_str(), O_RDWR | O_CREAT, 0600);
            char c = lock_store(fd, mode, 1000).ok() ? 'y' : 'n';
            if (write(ready[1], &c, 1) != 1) {
                _exit(2);
            }
            // Held until the parent closes its end (or dies).
            while (read(release[0], &c, 1) > 0) {
            }
            _exit(0);
        }
        close(ready[1]);
        close(release[0]);
        release_ = release[1];
        char c = 0;
        locked_ = read(ready[0], &c, 1) == 1 && c == 'y';
        close(ready[0]);
    }
    ~LockHolder() { let_go(); }
    bool locked() const { return locked_; }
    void let_go()
    {
        if (release_ >= 0) {
            close(release_);
            release_ = -1;
        }
        if (pid_ > 0) {
            int status = 0;
            waitpid(pid_, &status, 0);
            pid_ = -1;
        }
    }

private:
    pid_t pid_ = -1;
    int release_ = -1;
    bool locked_ = false;
};

} // namespace

TEST(StoreLock, StoresWaitForReadersAndWritersAndGiveUpInBoundedTime)
{
    TempFile file;
    UniqueFd fd(open(file.path.c_str(), O_RDWR));
    ASSERT_TRUE(fd.ok());
    {
        LockHolder reader(file.path, LockMode::Shared);
        ASSERT_TRUE(reader.locked());
        EXPECT_TRUE(lock_store(fd.get(), LockMode::Shared, 100).ok()) << "readers share the store";
        ASSERT_EQ(flock(fd.get(), LOCK_UN), 0);
        Status st = lock_store(fd.get(), LockMode::Exclusive, 100);
        EXPECT_FALSE(st.ok()) << "a store waits for the reader";
        char text[160];
        st.describe(text, sizeof(text));
        EXPECT_NE(std::string(text).find("record store busy"), std::string::npos) << text;
    }
    {
        LockHolder writer(file.path, LockMode::Exclusive);
        ASSERT_TRUE(writer.locked());
        EXPECT_FALSE(lock_store(fd.get(), LockMode::Shared, 100).ok()) << "a reader waits for the store";
        writer.let_go();
        EXPECT_TRUE(lock_store(fd.get(), LockMode::Exclusive, 10000).ok()) << "the lock goes with its holder";
    }
}

TEST(MtdFlash, OpenFailuresNameTheirCause)
{
    char text[160];
    MtdFlash missing("/nonexistent/mtd6", MtdFlash::Access::ReadOnly);
    EXPECT_FALSE(missing.ok());
    missing.status().describe(text, sizeof(text));
    EXPECT_STREQ(text, "opening of the MTD device (open): No such file or directory");

    MtdFlash not_mtd("/dev/null", MtdFlash::Access::ReadOnly);
    EXPECT_FALSE(not_mtd.ok());
    not_mtd.status().describe(text, sizeof(text));
    EXPECT_EQ(std::string(text).rfind("not an MTD device (MEMGETINFO): ", 0), 0u) << text;
}
