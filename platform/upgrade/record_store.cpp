#include "record_store.h"

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

struct SlotState {
    bool valid = false;
    uint32_t sequence = 0;
};

SlotState read_one(SlotMedium &medium, int slot, std::vector<uint8_t> &buf, size_t record_len)
{
    SlotState state;
    if (!medium.read_slot(slot, buf.data(), buf.size())) {
        return state;
    }
    Envelope env;
    memcpy(&env, buf.data(), sizeof(env));
    const uint8_t *payload = buf.data() + sizeof(env);
    if (env.magic != kEnvelopeMagic || env.length != record_len ||
        env.crc != envelope_crc(env.sequence, env.length, payload)) {
        return state;
    }
    state.valid = true;
    state.sequence = env.sequence;
    return state;
}

} // namespace

size_t stored_size(size_t record_len)
{
    return sizeof(Envelope) + record_len;
}

bool load_record(SlotMedium &medium, void *record, size_t record_len)
{
    std::vector<uint8_t> buf[SlotMedium::kSlots];
    SlotState state[SlotMedium::kSlots];
    int best = -1;
    for (int slot = 0; slot < SlotMedium::kSlots; slot++) {
        buf[slot].resize(stored_size(record_len));
        state[slot] = read_one(medium, slot, buf[slot], record_len);
        if (state[slot].valid && (best < 0 || newer(state[slot].sequence, state[best].sequence))) {
            best = slot;
        }
    }
    if (best < 0) {
        return false;
    }
    memcpy(record, buf[best].data() + sizeof(Envelope), record_len);
    return true;
}

bool store_record(SlotMedium &medium, const void *record, size_t record_len)
{
    std::vector<uint8_t> buf(stored_size(record_len));
    int newest = -1;
    uint32_t newest_seq = 0;
    for (int slot = 0; slot < SlotMedium::kSlots; slot++) {
        SlotState state = read_one(medium, slot, buf, record_len);
        if (state.valid && (newest < 0 || newer(state.sequence, newest_seq))) {
            newest = slot;
            newest_seq = state.sequence;
        }
    }
    // The newest copy is never touched: only the other slot is written.
    const int target = (newest < 0) ? 0 : (newest + 1) % SlotMedium::kSlots;

    Envelope env{};
    env.magic = kEnvelopeMagic;
    env.sequence = (newest < 0) ? 1 : newest_seq + 1;
    env.length = static_cast<uint32_t>(record_len);
    env.crc = envelope_crc(env.sequence, env.length, record);
    memcpy(buf.data(), &env, sizeof(env));
    memcpy(buf.data() + sizeof(env), record, record_len);
    return medium.write_slot(target, buf.data(), buf.size());
}

} // namespace bsp_upgrade
