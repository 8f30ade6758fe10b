#include "frame_pattern.h"

namespace {

uint32_t mix(uint32_t n, uint32_t seed)
{
    n ^= seed;
    n *= 0x9E3779B1u;
    n ^= n >> 15;
    n *= 0x85EBCA77u;
    n ^= n >> 13;
    return n;
}

} // namespace

int16_t FramePattern::right(uint32_t n) const
{
    // Odd, so no frame of the pattern is silence.
    return static_cast<int16_t>((mix(n, seed_) & 0xFFFFu) | 1u);
}

void FramePattern::fill(int16_t *frames, size_t count, uint32_t first) const
{
    for (size_t i = 0; i < count; i++) {
        frames[2 * i] = left(first + static_cast<uint32_t>(i));
        frames[2 * i + 1] = right(first + static_cast<uint32_t>(i));
    }
}

// The frame number nearest to `expected` whose low half is l and whose hash
// is r: the received frame, if it belongs to the pattern at all.
bool PatternCheck::findNear(uint32_t expected, int16_t l, int16_t r, uint32_t *n) const
{
    const uint32_t base = (expected & 0xFFFF0000u) | static_cast<uint16_t>(l);
    for (uint32_t candidate : {base, base - 0x10000u, base + 0x10000u, base - 0x20000u, base + 0x20000u}) {
        if (pattern_.right(candidate) == r) {
            *n = candidate;
            return true;
        }
    }
    return false;
}

void PatternCheck::follow(int16_t l, int16_t r)
{
    checked_++;
    if (pattern_.left(next_) == l && pattern_.right(next_) == r) {
        next_++;
        return;
    }
    uint32_t n = 0;
    if (!findNear(next_, l, r, &n)) {
        corrupted_++;
        silent_ += l == 0 && r == 0 ? 1 : 0;
        next_++;
    } else if (static_cast<int32_t>(n - next_) > 0) {
        dropped_ += n - next_;
        next_ = n + 1;
    } else {
        repeated_++;
        next_ = n + 1;
    }
}

// A frame of another stream matches some frame number by chance (1 in
// 2^15): the pattern is taken to start only where the frames that follow
// (as far as this block goes) continue it.
bool PatternCheck::continues(const int16_t *frames, size_t count, uint32_t n) const
{
    constexpr size_t kConfirm = 8;
    for (size_t i = 1; i < count && i < kConfirm; i++) {
        if (frames[2 * i] != pattern_.left(n + i) || frames[2 * i + 1] != pattern_.right(n + i)) {
            return false;
        }
    }
    return true;
}

void PatternCheck::feed(const int16_t *frames, size_t count)
{
    for (size_t i = 0; i < count; i++) {
        const int16_t l = frames[2 * i];
        const int16_t r = frames[2 * i + 1];
        if (started_) {
            follow(l, r);
            continue;
        }
        uint32_t n = 0;
        if (l == 0 && r == 0) {
            silent_lead_++;
        } else if (findNear(0x20000u, l, r, &n) && continues(frames + 2 * i, count - i, n)) {
            started_ = true;
            first_ = n;
            next_ = n + 1;
            checked_ = 1;
        } else {
            foreign_lead_++;
        }
    }
}

std::string PatternCheck::summary() const
{
    if (!started_) {
        return "the pattern never arrived (" + std::to_string(silent_lead_) + " silent frames, " +
               std::to_string(foreign_lead_) + " foreign)";
    }
    return std::to_string(checked_) + " frames from #" + std::to_string(first_) + " (after " +
           std::to_string(silent_lead_ + foreign_lead_) + " others): dropped " + std::to_string(dropped_) +
           ", repeated " + std::to_string(repeated_) + ", corrupted " + std::to_string(corrupted_) + " (" +
           std::to_string(silent_) + " of them silent)";
}
