// NAND flash in memory: erase sets a block to 0xFF, a write can only clear
// bits (as a second program of a page does on real NAND), blocks can be bad,
// blocks wear out after a set number of erases, reads can fail, and the
// writes can be cut off after a given number of bytes.
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "flash.h"

class MemFlash : public bsp_upgrade::Flash {
public:
    using Status = bsp_upgrade::Status;

    MemFlash(uint32_t blocks, uint32_t erase_size = 8192, uint32_t page = 512)
        : data_(static_cast<size_t>(blocks) * erase_size, 0xFF), erase_size_(erase_size), page_(page),
          erase_count_(blocks, 0)
    {
    }
    uint64_t size() const override { return data_.size(); }
    uint32_t erase_size() const override { return erase_size_; }
    uint32_t write_size() const override { return page_; }
    Status is_bad(uint64_t offset, bool *bad) override
    {
        *bad = bad_.count(block_of(offset)) != 0;
        return Status();
    }
    Status erase_block(uint64_t offset) override
    {
        erases++;
        const uint32_t b = block_of(offset);
        if (offset % erase_size_ != 0 || bad_.count(b) || fail_erase_) {
            return Status::failure("erase of block", "MEMERASE64", EIO, static_cast<int>(b));
        }
        erase_count_[b]++;
        auto life = lifetime_.find(b);
        if (life != lifetime_.end() && erase_count_[b] > life->second) {
            // A worn block: the erase fails and leaves the block as it was.
            return Status::failure("erase of block", "MEMERASE64", EIO, static_cast<int>(b));
        }
        std::fill_n(data_.begin() + static_cast<long>(offset), erase_size_, 0xFF);
        return Status();
    }
    Status write(uint64_t offset, const void *buf, size_t len) override
    {
        const uint32_t b = block_of(offset);
        if (offset % page_ != 0 || len % page_ != 0 || offset + len > data_.size() || bad_.count(b) ||
            fail_write_.count(b)) {
            return Status::failure("write of block", "pwrite", EIO, static_cast<int>(b));
        }
        const auto *p = static_cast<const uint8_t *>(buf);
        for (size_t i = 0; i < len; i++) {
            if (budget_ == 0) {
                return Status::failure("write of block", "pwrite", EIO, static_cast<int>(b));
            }
            if (budget_ > 0) {
                budget_--;
            }
            data_[offset + i] &= p[i];
        }
        pages_written += len / page_;
        return Status();
    }
    Status read(uint64_t offset, void *buf, size_t len) override
    {
        reads++;
        bytes_read += len;
        const uint32_t b = block_of(offset);
        auto fail = read_failures_.find(b);
        if (offset + len > data_.size() || (fail != read_failures_.end() && fail->second > 0)) {
            if (fail != read_failures_.end()) {
                fail->second--;
            }
            return Status::failure("read of block", "pread", EBADMSG, static_cast<int>(b));
        }
        memcpy(buf, data_.data() + offset, len);
        return Status();
    }
    Status mark_bad_block(uint64_t offset) override
    {
        bad_.insert(block_of(offset));
        marked_bad++;
        return Status();
    }

    void mark_bad(uint32_t block) { bad_.insert(block); }
    bool bad(uint32_t block) const { return bad_.count(block) != 0; }
    void cut_after(long bytes) { budget_ = bytes; }
    void fail_erase(bool fail) { fail_erase_ = fail; }
    // Every erase of the block after the first `erases` fails.
    void wear_out_after(uint32_t block, int erases) { lifetime_[block] = erases; }
    void fail_writes(uint32_t block) { fail_write_.insert(block); }
    // The next `times` reads of the block fail (uncorrectable ECC error).
    void fail_reads(uint32_t block, int times) { read_failures_[block] = times; }
    int erase_count(uint32_t block) const { return erase_count_[block]; }
    uint8_t *block(uint32_t index) { return data_.data() + static_cast<size_t>(index) * erase_size_; }
    void fill_block(uint32_t index, uint8_t seed)
    {
        for (uint32_t i = 0; i < erase_size_; i++) {
            block(index)[i] = static_cast<uint8_t>(seed + i * 7);
        }
    }

    int erases = 0;
    int marked_bad = 0;
    long pages_written = 0;
    long reads = 0;
    size_t bytes_read = 0;

private:
    uint32_t block_of(uint64_t offset) const { return static_cast<uint32_t>(offset / erase_size_); }

    std::vector<uint8_t> data_;
    uint32_t erase_size_;
    uint32_t page_;
    std::set<uint32_t> bad_;
    std::vector<int> erase_count_;
    std::map<uint32_t, int> lifetime_;
    std::set<uint32_t> fail_write_;
    std::map<uint32_t, int> read_failures_;
    long budget_ = -1;
    bool fail_erase_ = false;
};
