// Raw flash as the upgrade service sees it: erase blocks that may be bad,
// pages that are written once after an erase.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "record_store.h"
#include "status.h"

namespace bsp_upgrade {

class Flash {
public:
    virtual ~Flash() = default;
    virtual uint64_t size() const = 0;
    virtual uint32_t erase_size() const = 0;
    virtual uint32_t write_size() const = 0;
    virtual Status is_bad(uint64_t offset, bool *bad) = 0;
    virtual Status erase_block(uint64_t offset) = 0;
    // offset and len are multiples of write_size().
    virtual Status write(uint64_t offset, const void *buf, size_t len) = 0;
    virtual Status read(uint64_t offset, void *buf, size_t len) = 0;
    // Marks a worn block bad for good, so that nothing uses it again.
    virtual Status mark_bad_block(uint64_t offset) = 0;

    uint64_t block_count() const { return size() / erase_size(); }
};

// An MTD character device such as /dev/mtd6, driven through the MTD ioctls.
// Opened read-only unless writes are asked for, so reading needs no write access.
class MtdFlash : public Flash {
public:
    enum class Access { ReadOnly, ReadWrite };
    MtdFlash(const std::string &path, Access access);
    ~MtdFlash() override;
    MtdFlash(const MtdFlash &) = delete;
    MtdFlash &operator=(const MtdFlash &) = delete;

    // How the open went; every other call needs it to have succeeded.
    Status status() const { return status_; }
    bool ok() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    uint64_t size() const override { return size_; }
    uint32_t erase_size() const override { return erase_size_; }
    uint32_t write_size() const override { return write_size_; }
    Status is_bad(uint64_t offset, bool *bad) override;
    Status erase_block(uint64_t offset) override;
    Status write(uint64_t offset, const void *buf, size_t len) override;
    Status read(uint64_t offset, void *buf, size_t len) override;
    Status mark_bad_block(uint64_t offset) override;

private:
    int fd_ = -1;
    Status status_;
    uint64_t size_ = 0;
    uint32_t erase_size_ = 0;
    uint32_t write_size_ = 0;
};

// Record copies on flash, one per erase block. Slot i is the i-th good block
// of the partition; every good block may hold a copy, so stores go round all
// of them (each block is erased in turn, not two blocks over and over). A
// block whose erase, write or read-back fails is marked bad and leaves the
// ring. A store of an earlier version used the first two good blocks, which
// are slots 0 and 1 here.
class FlashMedium : public SlotMedium {
public:
    explicit FlashMedium(Flash &flash) : flash_(flash) {}
    Status open() override;
    int slot_count() override;
    Status read_slot(int slot, void *buf, size_t len) override;
    Status write_slot(int slot, const void *buf, size_t len) override;
    bool can_retire(const Status &failure) const override;
    Status retire_slot(int slot) override;

private:
    Flash &flash_;
    bool scanned_ = false;
    std::vector<uint64_t> good_; // offsets of the good blocks, in order
};

// Copies the good blocks of src, in order, onto the good blocks of dst, checks
// every written block by reading it back and erases what is left of dst.
Status copy_partition(Flash &src, Flash &dst);

} // namespace bsp_upgrade
