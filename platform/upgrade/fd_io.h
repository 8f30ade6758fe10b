// Small helpers for whole reads and writes on file descriptors.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <cstddef>

namespace bsp_upgrade {

class UniqueFd {
public:
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd()
    {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;
    bool ok() const { return fd_ >= 0; }
    int get() const { return fd_; }
    void reset(int fd)
    {
        if (fd_ >= 0) {
            close(fd_);
        }
        fd_ = fd;
    }

private:
    int fd_;
};

// All three retry on EINTR and short transfers. The _full ones give false on
// an error or end of file (errno EIO for an end of file, ENOSPC for a write
// that took nothing); pread_upto gives the bytes read before the end of the
// file, or -1 on an error.
bool pread_full(int fd, void *buf, size_t len, off_t offset);
bool pwrite_full(int fd, const void *buf, size_t len, off_t offset);
ssize_t pread_upto(int fd, void *buf, size_t len, off_t offset);

} // namespace bsp_upgrade
