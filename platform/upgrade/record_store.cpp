#include "record_store.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "crc32.h"

namespace bsp_upgrade {
namespace {

uint32_t envelope_crc(uint32_t sequence, uint32_t length, const void *record)
{
    uint32_t crc = crc32_update(0, &sequence, sizeof(sequence));
    crc = crc32_update(crc, &length, sizeof(length));
    return crc32_update(crc, record, length);
}

// Sequence numbers wrap; a is newer than b when it lies less than half the range ahead.
bool newer(uint32_t a, uint32_t b)
{
    return static_cast<int32_t>(a - b) > 0;
}

// The outcome of looking at every slot: the newest valid copy (its bytes in
// buf) and the first read that failed.
struct Scan {
    int newest = -1;
    uint32_t sequence = 0;
    Status read_error;
};

// Reads the envelopes first and then whole copies, newest first, until one is
// valid: a read costs about one copy, not one per slot.
Scan scan_slots(SlotMedium &medium, std::vector<uint8_t> &buf, size_t record_len)
{
    Scan scan;
    const int count = medium.slot_count();
    struct Candidate {
        int slot;
        uint32_t sequence;
    };
    std::vector<Candidate> candidates;
    for (int slot = 0; slot < count; slot++) {
        Envelope env{};
        Status st = medium.read_slot(slot, &env, sizeof(env));
        if (!st) {
            if (scan.read_error.ok()) {
                scan.read_error = st;
            }
            continue;
        }
        if (env.magic == kEnvelopeMagic && env.length == record_len) {
            candidates.push_back({slot, env.sequence});
        }
    }
    while (!candidates.empty()) {
        size_t best = 0;
        for (size_t i = 1; i < candidates.size(); i++) {
            if (newer(candidates[i].sequence, candidates[best].sequence)) {
                best = i;
            }
        }
        const Candidate c = candidates[best];
        candidates.erase(candidates.begin() + static_cast<long>(best));
        Status st = medium.read_slot(c.slot, buf.data(), buf.size());
        if (!st) {
            if (scan.read_error.ok()) {
                scan.read_error = st;
            }
            continue;
        }
        Envelope env;
        memcpy(&env, buf.data(), sizeof(env));
        if (env.magic == kEnvelopeMagic && env.length == record_len &&
            env.crc == envelope_crc(env.sequence, env.length, buf.data() + sizeof(env))) {
            scan.newest = c.slot;
            scan.sequence = env.sequence;
            return scan;
        }
    }
    return scan;
}

} // namespace

Status SlotMedium::retire_slot(int slot)
{
    return Status::failure("retiring of slot", nullptr, ENOTSUP, slot);
}

size_t stored_size(size_t record_len)
{
    return sizeof(Envelope) + record_len;
}

Status load_record(SlotMedium &medium, void *record, size_t record_len)
{
    Status st = medium.open();
    if (!st) {
        return st;
    }
    std::vector<uint8_t> buf(stored_size(record_len));
    const Scan scan = scan_slots(medium, buf, record_len);
    if (scan.newest < 0) {
        return scan.read_error.ok() ? Status::failure("no valid copy of the record in storage", nullptr, 0)
                                    : scan.read_error;
    }
    memcpy(record, buf.data() + sizeof(Envelope), record_len);
    return Status();
}

Status store_record(SlotMedium &medium, const void *record, size_t record_len)
{
    Status st = medium.open();
    if (!st) {
        return st;
    }
    std::vector<uint8_t> buf(stored_size(record_len));
    const Scan scan = scan_slots(medium, buf, record_len);
    // With no copy readable, a copy that could not be read may be the newest:
    // starting the sequence again at 1 would let it win over this store later.
    if (scan.newest < 0 && !scan.read_error.ok()) {
        return scan.read_error;
    }
    int newest = scan.newest;

    Envelope env{};
    env.magic = kEnvelopeMagic;
    env.sequence = (newest < 0) ? 1 : scan.sequence + 1;
    env.length = static_cast<uint32_t>(record_len);
    env.crc = envelope_crc(env.sequence, env.length, record);
    memcpy(buf.data(), &env, sizeof(env));
    memcpy(buf.data() + sizeof(env), record, record_len);

    // Each failed slot leaves the ring, so this ends after at most one try per slot.
    for (;;) {
        const int count = medium.slot_count();
        if (count < SlotMedium::kMinSlots) {
            return Status::failure("store refused: fewer than two good blocks left for the record", nullptr, 0);
        }
        // The newest copy is never touched: the slot after it is written.
        const int target = (newest < 0) ? 0 : (newest + 1) % count;
        st = medium.write_slot(target, buf.data(), buf.size());
        if (st || !medium.can_retire(st)) {
            return st;
        }
        Status retired = medium.retire_slot(target);
        if (!retired) {
            return retired;
        }
        if (newest > target) {
            newest--;
        }
    }
}

} // namespace bsp_upgrade
