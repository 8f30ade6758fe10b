#include <cerrno>
#include <cstring>
#include <vector>

#include "flash.h"

namespace bsp_upgrade {

Status FlashMedium::open()
{
    if (scanned_) {
        return Status();
    }
    good_.clear();
    for (uint64_t block = 0; block < flash_.block_count(); block++) {
        const uint64_t off = block * flash_.erase_size();
        bool bad = false;
        Status st = flash_.is_bad(off, &bad);
        if (!st) {
            return st;
        }
        if (!bad) {
            good_.push_back(off);
        }
    }
    scanned_ = true;
    return Status();
}

int FlashMedium::slot_count()
{
    return open() ? static_cast<int>(good_.size()) : 0;
}

Status FlashMedium::read_slot(int slot, void *buf, size_t len)
{
    if (slot < 0 || slot >= slot_count() || len > flash_.erase_size()) {
        return Status::failure("read of block", "no such block", EINVAL, slot);
    }
    const uint64_t off = good_[static_cast<size_t>(slot)];
    Status st = flash_.read(off, buf, len);
    return st ? st : st.at(static_cast<int>(off / flash_.erase_size()));
}

Status FlashMedium::write_slot(int slot, const void *buf, size_t len)
{
    if (slot < 0 || slot >= slot_count() || len > flash_.erase_size()) {
        return Status::failure("write of block", "no such block", EINVAL, slot);
    }
    const uint64_t off = good_[static_cast<size_t>(slot)];
    const int block = static_cast<int>(off / flash_.erase_size());
    // NAND takes whole pages; the tail of the last page stays erased (0xFF).
    const size_t page = flash_.write_size();
    std::vector<uint8_t> padded((len + page - 1) / page * page, 0xFF);
    memcpy(padded.data(), buf, len);
    Status st = flash_.erase_block(off);
    if (st) {
        st = flash_.write(off, padded.data(), padded.size());
    }
    if (!st) {
        return st.at(block);
    }
    // A worn block may take the write and give back other bits.
    std::vector<uint8_t> back(padded.size());
    st = flash_.read(off, back.data(), back.size());
    if (!st) {
        return Status::failure("read-back of block", st.call(), st.err(), block);
    }
    if (back != padded) {
        return Status::failure("read-back of block", "content differs", EIO, block);
    }
    return Status();
}

// Erase and write failures and bad read-backs are the block's; a partition
// opened read-only (EBADF, EPERM, EROFS) or a bad argument is not.
bool FlashMedium::can_retire(const Status &failure) const
{
    return failure.err() == EIO || failure.err() == EBADMSG;
}

Status FlashMedium::retire_slot(int slot)
{
    if (slot < 0 || slot >= slot_count()) {
        return Status::failure("marking bad of block", "no such block", EINVAL, slot);
    }
    const uint64_t off = good_[static_cast<size_t>(slot)];
    Status st = flash_.mark_bad_block(off);
    if (!st) {
        return st.at(static_cast<int>(off / flash_.erase_size()));
    }
    good_.erase(good_.begin() + slot);
    return Status();
}

} // namespace bsp_upgrade
