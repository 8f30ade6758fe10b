// Record slots in a plain file: slot i starts at i * kSlotStride.
#pragma once

#include <sys/types.h>

#include <string>

#include "record_store.h"

namespace bsp_upgrade {

class FileMedium : public SlotMedium {
public:
    static constexpr size_t kSlotStride = 16384;
    explicit FileMedium(std::string path) : path_(std::move(path)) {}
    bool read_slot(int slot, void *buf, size_t len) override;
    // Clears the envelope first, then writes the record and finally the
    // envelope, syncing after each step, so a cut leaves no valid-looking mix.
    bool write_slot(int slot, const void *buf, size_t len) override;

protected:
    // The one place bytes reach the file; tests cut a store short here.
    virtual bool write_at(int fd, const void *buf, size_t len, off_t offset);

private:
    std::string path_;
};

} // namespace bsp_upgrade
