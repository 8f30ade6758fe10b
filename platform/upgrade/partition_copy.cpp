#include <algorithm>
#include <cerrno>
#include <vector>

#include "flash.h"

namespace bsp_upgrade {
namespace {

bool all_erased(const std::vector<uint8_t> &buf, size_t from, size_t len)
{
    return std::all_of(buf.begin() + static_cast<long>(from), buf.begin() + static_cast<long>(from + len),
                       [](uint8_t b) { return b == 0xFF; });
}

// Next good block at or after *block; *found false when the partition has none left.
Status next_good(Flash &flash, uint64_t *block, bool *found)
{
    for (; *block < flash.block_count(); ++*block) {
        bool bad = false;
        Status st = flash.is_bad(*block * flash.erase_size(), &bad);
        if (!st) {
            return st;
        }
        if (!bad) {
            *found = true;
            return Status();
        }
    }
    *found = false;
    return Status();
}

// Erased pages are left unwritten, as the flash holds them after the erase.
Status write_block(Flash &dst, uint64_t offset, const std::vector<uint8_t> &data)
{
    const size_t page = dst.write_size();
    Status st = dst.erase_block(offset);
    if (!st) {
        return st;
    }
    for (size_t at = 0; at < data.size(); at += page) {
        if (!all_erased(data, at, page)) {
            st = dst.write(offset + at, data.data() + at, page);
            if (!st) {
                return st;
            }
        }
    }
    std::vector<uint8_t> back(data.size());
    st = dst.read(offset, back.data(), back.size());
    if (!st) {
        return st;
    }
    if (back != data) {
        return Status::failure("read-back of the copied block", "content differs", EIO,
                               static_cast<int>(offset / dst.erase_size()));
    }
    return Status();
}

} // namespace

Status copy_partition(Flash &src, Flash &dst)
{
    if (src.erase_size() != dst.erase_size() || src.write_size() != dst.write_size()) {
        return Status::failure("twins of different geometry", nullptr, EINVAL);
    }
    std::vector<uint8_t> block(src.erase_size());
    uint64_t src_block = 0;
    uint64_t dst_block = 0;
    for (;;) {
        bool found = false;
        Status st = next_good(src, &src_block, &found);
        if (!st) {
            return st;
        }
        if (!found) {
            break;
        }
        st = src.read(src_block * src.erase_size(), block.data(), block.size());
        if (!st) {
            return st;
        }
        st = next_good(dst, &dst_block, &found);
        if (!st) {
            return st;
        }
        if (!found) {
            // The twin has fewer good blocks: only erased source blocks may be left over.
            if (!all_erased(block, 0, block.size())) {
                return Status::failure("copy does not fit: the twin has too few good blocks", nullptr, ENOSPC);
            }
            src_block++;
            continue;
        }
        st = write_block(dst, dst_block * dst.erase_size(), block);
        if (!st) {
            return st;
        }
        src_block++;
        dst_block++;
    }
    // Nothing of the twin's old content may stay behind the copy.
    for (;;) {
        bool found = false;
        Status st = next_good(dst, &dst_block, &found);
        if (!st) {
            return st;
        }
        if (!found) {
            return Status();
        }
        st = dst.erase_block(dst_block * dst.erase_size());
        if (!st) {
            return st;
        }
        dst_block++;
    }
}

} // namespace bsp_upgrade
