#include <cstring>
#include <vector>

#include "flash.h"

namespace bsp_upgrade {

bool FlashMedium::slot_offset(int slot, uint64_t *offset)
{
    int good = 0;
    for (uint64_t block = 0; block < flash_.block_count(); block++) {
        const uint64_t off = block * flash_.erase_size();
        int bad = flash_.is_bad(off);
        if (bad < 0) {
            return false;
        }
        if (bad == 0 && good++ == slot) {
            *offset = off;
            return true;
        }
    }
    return false;
}

bool FlashMedium::read_slot(int slot, void *buf, size_t len)
{
    uint64_t offset = 0;
    return len <= flash_.erase_size() && slot_offset(slot, &offset) && flash_.read(offset, buf, len);
}

bool FlashMedium::write_slot(int slot, const void *buf, size_t len)
{
    uint64_t offset = 0;
    if (len > flash_.erase_size() || !slot_offset(slot, &offset)) {
        return false;
    }
    // NAND takes whole pages; the tail of the last page stays erased (0xFF).
    const size_t page = flash_.write_size();
    std::vector<uint8_t> padded((len + page - 1) / page * page, 0xFF);
    memcpy(padded.data(), buf, len);
    return flash_.erase_block(offset) && flash_.write(offset, padded.data(), padded.size());
}

} // namespace bsp_upgrade
