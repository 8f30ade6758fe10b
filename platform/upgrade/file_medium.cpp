#include "file_medium.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "fd_io.h"

namespace bsp_upgrade {

bool FileMedium::read_slot(int slot, void *buf, size_t len)
{
    if (len > kSlotStride) {
        return false;
    }
    UniqueFd fd(open(path_.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.ok()) {
        return false;
    }
    return pread_full(fd.get(), buf, len, static_cast<off_t>(slot) * kSlotStride);
}

bool FileMedium::write_slot(int slot, const void *buf, size_t len)
{
    if (len > kSlotStride || len < sizeof(Envelope)) {
        return false;
    }
    UniqueFd fd(open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!fd.ok()) {
        return false;
    }
    const off_t base = static_cast<off_t>(slot) * kSlotStride;
    const auto *bytes = static_cast<const uint8_t *>(buf);
    const Envelope cleared{};
    return write_at(fd.get(), &cleared, sizeof(cleared), base) && fdatasync(fd.get()) == 0 &&
           write_at(fd.get(), bytes + sizeof(Envelope), len - sizeof(Envelope), base + sizeof(Envelope)) &&
           fdatasync(fd.get()) == 0 && write_at(fd.get(), bytes, sizeof(Envelope), base) && fsync(fd.get()) == 0;
}

bool FileMedium::write_at(int fd, const void *buf, size_t len, off_t offset)
{
    return pwrite_full(fd, buf, len, offset);
}

} // namespace bsp_upgrade
