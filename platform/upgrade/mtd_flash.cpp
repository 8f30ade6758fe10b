#include <fcntl.h>
#include <mtd/mtd-user.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "fd_io.h"
#include "flash.h"

namespace bsp_upgrade {

MtdFlash::MtdFlash(const std::string &path)
{
    fd_ = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd_ < 0) {
        return;
    }
    mtd_info_user info{};
    if (ioctl(fd_, MEMGETINFO, &info) != 0 || info.erasesize == 0 || info.writesize == 0) {
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

int MtdFlash::is_bad(uint64_t offset)
{
    loff_t off = static_cast<loff_t>(offset);
    int ret = ioctl(fd_, MEMGETBADBLOCK, &off);
    // Flash without bad-block support answers EOPNOTSUPP: every block is good.
    if (ret < 0 && errno == EOPNOTSUPP) {
        return 0;
    }
    return ret < 0 ? -1 : (ret > 0 ? 1 : 0);
}

bool MtdFlash::erase_block(uint64_t offset)
{
    erase_info_user64 erase{};
    erase.start = offset;
    erase.length = erase_size_;
    return ioctl(fd_, MEMERASE64, &erase) == 0;
}

bool MtdFlash::write(uint64_t offset, const void *buf, size_t len)
{
    return pwrite_full(fd_, buf, len, static_cast<off_t>(offset));
}

bool MtdFlash::read(uint64_t offset, void *buf, size_t len)
{
    return pread_full(fd_, buf, len, static_cast<off_t>(offset));
}

} // namespace bsp_upgrade
