#include "fd_io.h"

#include <cerrno>
#include <cstdint>

namespace bsp_upgrade {

bool pread_full(int fd, void *buf, size_t len, off_t offset)
{
    auto *p = static_cast<uint8_t *>(buf);
    while (len > 0) {
        ssize_t n = pread(fd, p, len, offset);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n == 0) {
            errno = EIO; // the end came first
        }
        if (n <= 0) {
            return false;
        }
        p += n;
        len -= static_cast<size_t>(n);
        offset += n;
    }
    return true;
}

bool pwrite_full(int fd, const void *buf, size_t len, off_t offset)
{
    const auto *p = static_cast<const uint8_t *>(buf);
    while (len > 0) {
        ssize_t n = pwrite(fd, p, len, offset);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n == 0) {
            errno = ENOSPC;
        }
        if (n <= 0) {
            return false;
        }
        p += n;
        len -= static_cast<size_t>(n);
        offset += n;
    }
    return true;
}

} // namespace bsp_upgrade
