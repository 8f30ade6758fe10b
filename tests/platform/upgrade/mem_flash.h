// NAND flash in memory: erase sets a block to 0xFF, a write can only clear
// bits (as a second program of a page does on real NAND), blocks can be bad,
// and the writes can be cut off after a given number of bytes.
#pragma once

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

#include "flash.h"

class MemFlash : public bsp_upgrade::Flash {
public:
    MemFlash(uint32_t blocks, uint32_t erase_size = 8192, uint32_t page = 512)
        : data_(static_cast<size_t>(blocks) * erase_size, 0xFF), erase_size_(erase_size), page_(page)
    {
    }
    uint64_t size() const override { return data_.size(); }
    uint32_t erase_size() const override { return erase_size_; }
    uint32_t write_size() const override { return page_; }
    int is_bad(uint64_t offset) override { return bad_.count(offset / erase_size_) ? 1 : 0; }
    bool erase_block(uint64_t offset) override
    {
        erases++;
        if (offset % erase_size_ != 0 || is_bad(offset) || fail_erase_) {
            return false;
        }
        std::fill_n(data_.begin() + static_cast<long>(offset), erase_size_, 0xFF);
        return true;
    }
    bool write(uint64_t offset, const void *buf, size_t len) override
    {
        if (offset % page_ != 0 || len % page_ != 0 || offset + len > data_.size() || is_bad(offset)) {
            return false;
        }
        const auto *p = static_cast<const uint8_t *>(buf);
        for (size_t i = 0; i < len; i++) {
            if (budget_ == 0) {
                return false;
            }
            if (budget_ > 0) {
                budget_--;
            }
            data_[offset + i] &= p[i];
        }
        pages_written += len / page_;
        return true;
    }
    bool read(uint64_t offset, void *buf, size_t len) override
    {
        if (offset + len > data_.size()) {
            return false;
        }
        memcpy(buf, data_.data() + offset, len);
        return true;
    }

    void mark_bad(uint32_t block) { bad_.insert(block); }
    void cut_after(long bytes) { budget_ = bytes; }
    void fail_erase(bool fail) { fail_erase_ = fail; }
    uint8_t *block(uint32_t index) { return data_.data() + static_cast<size_t>(index) * erase_size_; }
    void fill_block(uint32_t index, uint8_t seed)
    {
        for (uint32_t i = 0; i < erase_size_; i++) {
            block(index)[i] = static_cast<uint8_t>(seed + i * 7);
        }
    }

    int erases = 0;
    long pages_written = 0;

private:
    std::vector<uint8_t> data_;
    uint32_t erase_size_;
    uint32_t page_;
    std::set<uint32_t> bad_;
    long budget_ = -1;
    bool fail_erase_ = false;
};
