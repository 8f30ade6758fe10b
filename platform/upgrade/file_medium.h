// Record slots in a plain file: slot i starts at i * kSlotStride.
#pragma once

#include <sys/types.h>

#include <string>

#include "fd_io.h"
#include "record_store.h"

namespace bsp_upgrade {

class FileMedium : public SlotMedium {
public:
    static constexpr size_t kSlotStride = 16384;
    enum class Access { ReadOnly, ReadWrite };
    explicit FileMedium(std::string path, Access access = Access::ReadWrite) : path_(std::move(path)), access_(access)
    {
    }
    // Opens the file; for writing it is created if need be, and then its
    // folder is synced so that the new name survives a power cut.
    Status open() override;
    int fd() const { return fd_.get(); }
    int slot_count() override { return kSlots; }
    // Bytes beyond the end of the file read as erased (0xFF): an empty slot.
    Status read_slot(int slot, void *buf, size_t len) override;
    // Clears the envelope first, then writes the record and finally the
    // envelope, syncing after each step, so a cut leaves no valid-looking mix.
    Status write_slot(int slot, const void *buf, size_t len) override;

    static constexpr int kSlots = 2;

protected:
    // The one place bytes reach the file; tests cut a store short here.
    virtual bool write_at(int fd, const void *buf, size_t len, off_t offset);

private:
    std::string path_;
    Access access_;
    UniqueFd fd_{-1};
};

} // namespace bsp_upgrade
