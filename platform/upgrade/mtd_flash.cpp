#include <fcntl.h>
#include <mtd/mtd-user.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "fd_io.h"
#include "flash.h"

namespace bsp_upgrade {

MtdFlash::MtdFlash(const std::string &path, Access access)
{
    fd_ = open(path.c_str(), (access == Access::ReadWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd_ < 0) {
        status_ = errno_failure("opening of the MTD device", "open");
        return;
    }
    mtd_info_user info{};
    if (ioctl(fd_, MEMGETINFO, &info) != 0 || info.erasesize == 0 || info.writesize == 0) {
        status_ = errno_failure("not an MTD device", "MEMGETINFO");
        close(fd_);
        fd_ = -1;
        return;
    }
    size_ = info.size;
    erase_size_ = info.erasesize;
    write_size_ = info.writesize;
}

MtdFlash::~MtdFlash()
{
    if (fd_ >= 0) {
        close(fd_);
    }
}

Status MtdFlash::is_bad(uint64_t offset, bool *bad)
{
    loff_t off = static_cast<loff_t>(offset);
    int ret = ioctl(fd_, MEMGETBADBLOCK, &off);
    // Flash without bad-block support answers EOPNOTSUPP: every block is good.
    if (ret < 0 && errno == EOPNOTSUPP) {
        ret = 0;
    }
    if (ret < 0) {
        return errno_failure("bad-block check of block", "MEMGETBADBLOCK", static_cast<int>(offset / erase_size_));
    }
    *bad = ret > 0;
    return Status();
}

Status MtdFlash::erase_block(uint64_t offset)
{
    erase_info_user64 erase{};
    erase.start = offset;
    erase.length = erase_size_;
    if (ioctl(fd_, MEMERASE64, &erase) != 0) {
        return errno_failure("erase of block", "MEMERASE64", static_cast<int>(offset / erase_size_));
    }
    return Status();
}

Status MtdFlash::write(uint64_t offset, const void *buf, size_t len)
{
    if (!pwrite_full(fd_, buf, len, static_cast<off_t>(offset))) {
        return errno_failure("write of block", "pwrite", static_cast<int>(offset / erase_size_));
    }
    return Status();
}

Status MtdFlash::read(uint64_t offset, void *buf, size_t len)
{
    // A corrected bit flip (EUCLEAN) is still the data: MTD's character
    // device then returns the bytes read, not an error.
    if (!pread_full(fd_, buf, len, static_cast<off_t>(offset))) {
        return errno_failure("read of block", "pread", static_cast<int>(offset / erase_size_));
    }
    return Status();
}

Status MtdFlash::mark_bad_block(uint64_t offset)
{
    loff_t off = static_cast<loff_t>(offset);
    if (ioctl(fd_, MEMSETBADBLOCK, &off) != 0) {
        return errno_failure("marking bad of block", "MEMSETBADBLOCK", static_cast<int>(offset / erase_size_));
    }
    return Status();
}

} // namespace bsp_upgrade
