#include <gtest/gtest.h>
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
