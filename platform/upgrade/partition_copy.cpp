#include <algorithm>
#include <vector>

#include "flash.h"

namespace bsp_upgrade {
namespace {

bool all_erased(const std::vector<uint8_t> &buf, size_t from, size_t len)
{
    return std::all_of(buf.begin() + static_cast<long>(from), buf.begin() + static_cast<long>(from + len),
                       [](uint8_t b) { return b == 0xFF; });
}

// Next good block at or after *block; false when the partition has none left.
bool next_good(Flash &flash, uint64_t *block, bool *error)
{
    for (; *block < flash.block_count(); ++*block) {
        int bad = flash.is_bad(*block * flash.erase_size());
        if (bad < 0) {
            *error = true;
            return false;
        }
        if (bad == 0) {
            return true;
        }
    }
    return false;
}

// Erased pages are left unwritten, as the flash holds them after the erase.
bool write_block(Flash &dst, uint64_t offset, const std::vector<uint8_t> &data)
{
    const size_t page = dst.write_size();
    if (!dst.erase_block(offset)) {
        return false;
    }
    for (size_t at = 0; at < data.size(); at += page) {
        if (!all_erased(data, at, page) && !dst.write(offset + at, data.data() + at, page)) {
            return false;
        }
    }
    std::vector<uint8_t> back(data.size());
    return dst.read(offset, back.data(), back.size()) && back == data;
}

} // namespace

bool copy_partition(Flash &src, Flash &dst)
{
    if (src.erase_size() != dst.erase_size() || src.write_size() != dst.write_size()) {
        return false;
    }
    std::vector<uint8_t> block(src.erase_size());
    uint64_t src_block = 0;
    uint64_t dst_block = 0;
    bool error = false;

    for (; next_good(src, &src_block, &error); src_block++) {
        if (!src.read(src_block * src.erase_size(), block.data(), block.size())) {
            return false;
        }
        if (!next_good(dst, &dst_block, &error)) {
            // The twin has fewer good blocks: only erased source blocks may be left over.
            if (error || !all_erased(block, 0, block.size())) {
                return false;
            }
            continue;
        }
        if (!write_block(dst, dst_block * dst.erase_size(), block)) {
            return false;
        }
        dst_block++;
    }
    if (error) {
        return false;
    }
    // Nothing of the twin's old content may stay behind the copy.
    for (; next_good(dst, &dst_block, &error); dst_block++) {
        if (!dst.erase_block(dst_block * dst.erase_size())) {
            return false;
        }
    }
    return !error;
}

} // namespace bsp_upgrade
