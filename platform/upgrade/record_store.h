// Power-fail-safe storage of the boot-information record.
//
// The record is kept in at least two copies, each in its own slot and wrapped
// in an envelope (magic, sequence number, length, CRC-32). A store writes the
// slot after the one holding the newest valid copy (round all slots), so a
// store cut off at any byte leaves the previous record readable. A read
// returns the valid copy with the newest sequence number. The record's own
// check words are carried as they are: the envelope is the only thing this
// layer produces or checks.
//
// Nothing here locks: the caller holds the store's lock across a whole load
// or store (see store_lock.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "status.h"

namespace bsp_upgrade {

// Where the slots live: a raw flash partition or a plain file.
class SlotMedium {
public:
    virtual ~SlotMedium() = default;
    // A store needs somewhere to write besides the newest copy.
    static constexpr int kMinSlots = 2;
    // Prepares the medium; the other calls open it themselves when needed.
    virtual Status open() { return Status(); }
    // How many slots may hold a copy now (at least 2 for a store to go on).
    virtual int slot_count() = 0;
    // Reads len bytes from the start of a slot.
    virtual Status read_slot(int slot, void *buf, size_t len) = 0;
    // Replaces the content of a slot and makes it durable before returning.
    virtual Status write_slot(int slot, const void *buf, size_t len) = 0;
    // Whether a failed write means that the slot itself is worn, so that it
    // should leave the ring (retire_slot) and the store move on.
    virtual bool can_retire(const Status &failure) const
    {
        (void)failure;
        return false;
    }
    // Takes a slot out of use for good; the slots after it move down by one.
    virtual Status retire_slot(int slot);
};

struct Envelope {
    uint32_t magic;
    uint32_t sequence;
    uint32_t length;
    uint32_t crc; // over sequence, length and the record bytes
};
static_assert(sizeof(Envelope) == 16);

constexpr uint32_t kEnvelopeMagic = 0x43524942; // "BIRC"

// Size of one stored copy: envelope plus record.
size_t stored_size(size_t record_len);

// Newest valid copy into record. Fails, with the cause of the first read that
// failed if any, when no slot holds a valid copy.
Status load_record(SlotMedium &medium, void *record, size_t record_len);

// Writes record into the slot after the newest valid copy. Never writes over
// the newest valid copy; refuses to store when no copy is valid but some
// could not be read (the unread one may be the newest).
Status store_record(SlotMedium &medium, const void *record, size_t record_len);

} // namespace bsp_upgrade
