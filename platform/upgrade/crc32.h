// CRC-32 (IEEE 802.3, reflected, as zlib computes it).
#pragma once

#include <cstddef>
#include <cstdint>

namespace bsp_upgrade {

uint32_t crc32_update(uint32_t crc, const void *data, size_t len);

inline uint32_t crc32(const void *data, size_t len)
{
    return crc32_update(0, data, len);
}

} // namespace bsp_upgrade
