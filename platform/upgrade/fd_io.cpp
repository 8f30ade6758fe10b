#include "fd_io.h"

#include <cerrno>
#include <cstdint>

namespace bsp_upgrade {

namespace {

// The one transfer loop: moves len bytes at offset through op (pread or
// pwrite), again after EINTR and short transfers. Returns the bytes moved
// before op moved nothing (the end of the file, a write that took nothing), or
// -1 with op's errno.
template <typename Byte, typename Op> ssize_t transfer_full(Op op, int fd, Byte *buf, size_t len, off_t offset)
{
    size_t done = 0;
    while (done < len) {
        const ssize_t n = op(fd, buf + done, len - done, offset + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return -1;
        }
        if (n == 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

} // namespace

ssize_t pread_upto(int fd, void *buf, size_t len, off_t offset)
{
    return transfer_full(::pread, fd, static_cast<uint8_t *>(buf), len, offset);
}

bool pread_full(int fd, void *buf, size_t len, off_t offset)
{
    const ssize_t n = pread_upto(fd, buf, len, offset);
    if (n >= 0 && static_cast<size_t>(n) < len) {
        errno = EIO; // the end came first
    }
    return n >= 0 && static_cast<size_t>(n) == len;
}

bool pwrite_full(int fd, const void *buf, size_t len, off_t offset)
{
    const ssize_t n = transfer_full(::pwrite, fd, static_cast<const uint8_t *>(buf), len, offset);
    if (n >= 0 && static_cast<size_t>(n) < len) {
        errno = ENOSPC;
    }
    return n >= 0 && static_cast<size_t>(n) == len;
}

} // namespace bsp_upgrade
