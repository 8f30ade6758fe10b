// Power-fail-safe storage of the boot-information record.
//
// The record is kept twice, each copy in its own slot and wrapped in an
// envelope (magic, sequence number, length, CRC-32). A store always writes the
// slot that does not hold the newest valid copy, so a store cut off at any
// byte leaves the previous record readable. A read returns the valid copy with
// the newest sequence number. The record's own check words are carried as
// they are: the envelope is the only thing this layer produces or checks.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bsp_upgrade {

// Where the two slots live: a raw flash partition or a plain file.
class SlotMedium {
public:
    virtual ~SlotMedium() = default;
    static constexpr int kSlots = 2;
    // Reads len bytes from the start of a slot; false on an I/O error.
    virtual bool read_slot(int slot, void *buf, size_t len) = 0;
    // Replaces the content of a slot and makes it durable before returning.
    virtual bool write_slot(int slot, const void *buf, size_t len) = 0;
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

// Newest valid copy into record; false when neither slot holds one.
bool load_record(SlotMedium &medium, void *record, size_t record_len);

// Writes record into the older slot; false when the write failed.
bool store_record(SlotMedium &medium, const void *record, size_t record_len);

} // namespace bsp_upgrade
