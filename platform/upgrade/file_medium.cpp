#include "file_medium.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace bsp_upgrade {
namespace {

Status sync_folder_of(const std::string &path)
{
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    UniqueFd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.ok()) {
        return errno_failure("opening of the store's folder", "open");
    }
    if (fsync(fd.get()) != 0) {
        return errno_failure("sync of the store's folder", "fsync");
    }
    return Status();
}

} // namespace

Status FileMedium::open()
{
    if (fd_.ok()) {
        return Status();
    }
    if (access_ == Access::ReadOnly) {
        fd_.reset(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
        return fd_.ok() ? Status() : errno_failure("opening of the record file", "open");
    }
    fd_.reset(::open(path_.c_str(), O_RDWR | O_CLOEXEC));
    if (fd_.ok()) {
        return Status();
    }
    if (errno != ENOENT) {
        return errno_failure("opening of the record file", "open");
    }
    fd_.reset(::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!fd_.ok()) {
        return errno_failure("creation of the record file", "open");
    }
    return sync_folder_of(path_);
}

Status FileMedium::read_slot(int slot, void *buf, size_t len)
{
    if (len > kSlotStride || slot < 0 || slot >= kSlots) {
        return Status::failure("read of copy", "no such slot", EINVAL, slot);
    }
    Status st = open();
    if (!st) {
        return st;
    }
    const off_t offset = static_cast<off_t>(slot) * static_cast<off_t>(kSlotStride);
    const ssize_t got = pread_upto(fd_.get(), buf, len, offset);
    if (got < 0) {
        return errno_failure("read of copy", "pread", slot);
    }
    // Past the end of the file the slot reads as erased.
    memset(static_cast<uint8_t *>(buf) + got, 0xFF, len - static_cast<size_t>(got));
    return Status();
}

Status FileMedium::write_slot(int slot, const void *buf, size_t len)
{
    if (len > kSlotStride || len < sizeof(Envelope) || slot < 0 || slot >= kSlots) {
        return Status::failure("write of copy", "no such slot", EINVAL, slot);
    }
    Status st = open();
    if (!st) {
        return st;
    }
    const int fd = fd_.get();
    const off_t base = static_cast<off_t>(slot) * static_cast<off_t>(kSlotStride);
    const auto *bytes = static_cast<const uint8_t *>(buf);
    const Envelope cleared{};
    if (!write_at(fd, &cleared, sizeof(cleared), base)) {
        return errno_failure("clearing of copy", "pwrite", slot);
    }
    if (fdatasync(fd) != 0) {
        return errno_failure("clearing of copy", "fdatasync", slot);
    }
    if (!write_at(fd, bytes + sizeof(Envelope), len - sizeof(Envelope), base + sizeof(Envelope))) {
        return errno_failure("write of copy", "pwrite", slot);
    }
    if (fdatasync(fd) != 0) {
        return errno_failure("write of copy", "fdatasync", slot);
    }
    if (!write_at(fd, bytes, sizeof(Envelope), base)) {
        return errno_failure("write of the envelope of copy", "pwrite", slot);
    }
    if (fsync(fd) != 0) {
        return errno_failure("write of the envelope of copy", "fsync", slot);
    }
    return Status();
}

bool FileMedium::write_at(int fd, const void *buf, size_t len, off_t offset)
{
    return pwrite_full(fd, buf, len, offset);
}

} // namespace bsp_upgrade
