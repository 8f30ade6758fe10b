// Raw flash as the upgrade service sees it: erase blocks that may be bad,
// pages that are written once after an erase.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "record_store.h"

namespace bsp_upgrade {

class Flash {
public:
    virtual ~Flash() = default;
    virtual uint64_t size() const = 0;
    virtual uint32_t erase_size() const = 0;
    virtual uint32_t write_size() const = 0;
    // 1 bad, 0 good, negative on an error.
    virtual int is_bad(uint64_t offset) = 0;
    virtual bool erase_block(uint64_t offset) = 0;
    // offset and len are multiples of write_size().
    virtual bool write(uint64_t offset, const void *buf, size_t len) = 0;
    virtual bool read(uint64_t offset, void *buf, size_t len) = 0;

    uint64_t block_count() const { return size() / erase_size(); }
};

// An MTD character device such as /dev/mtd6, driven through the MTD ioctls.
class MtdFlash : public Flash {
public:
    explicit MtdFlash(const std::string &path);
    ~MtdFlash() override;
    MtdFlash(const MtdFlash &) = delete;
    MtdFlash &operator=(const MtdFlash &) = delete;

    bool ok() const { return fd_ >= 0; }
    uint64_t size() const override { return size_; }
    uint32_t erase_size() const override { return erase_size_; }
    uint32_t write_size() const override { return write_size_; }
    int is_bad(uint64_t offset) override;
    bool erase_block(uint64_t offset) override;
    bool write(uint64_t offset, const void *buf, size_t len) override;
    bool read(uint64_t offset, void *buf, size_t len) override;

private:
    int fd_ = -1;
    uint64_t size_ = 0;
    uint32_t erase_size_ = 0;
    uint32_t write_size_ = 0;
};

// Record slots on flash: slot i is the i-th good erase block of the partition.
class FlashMedium : public SlotMedium {
public:
    explicit FlashMedium(Flash &flash) : flash_(flash) {}
    bool read_slot(int slot, void *buf, size_t len) override;
    bool write_slot(int slot, const void *buf, size_t len) override;

private:
    bool slot_offset(int slot, uint64_t *offset);
    Flash &flash_;
};

// Copies the good blocks of src, in order, onto the good blocks of dst, checks
// every written block by reading it back and erases what is left of dst.
bool copy_partition(Flash &src, Flash &dst);

} // namespace bsp_upgrade
