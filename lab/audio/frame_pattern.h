// A stereo test signal in which every frame names itself: the left sample is
// the low 16 bits of the frame's number, the right one a hash of the whole
// number and the stream's seed. A receiver can tell each frame that arrives
// from a dropped, repeated or corrupted one, and one stream from another.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class FramePattern {
public:
    explicit FramePattern(uint32_t seed) : seed_(seed) {}
    // Fills `count` interleaved stereo frames starting at frame `first`.
    void fill(int16_t *frames, size_t count, uint32_t first) const;
    int16_t left(uint32_t n) const { return static_cast<int16_t>(n & 0xFFFFu); }
    int16_t right(uint32_t n) const;
    uint32_t seed() const { return seed_; }

private:
    uint32_t seed_;
};

// Follows a received stream frame by frame. Whatever comes before the first
// frame of the pattern (silence, an earlier stream's frames) is skipped and
// counted; from there on every frame must be the next one.
class PatternCheck {
public:
    explicit PatternCheck(const FramePattern &pattern) : pattern_(pattern) {}
    void feed(const int16_t *frames, size_t count);
    bool intact() const { return started_ && dropped_ == 0 && repeated_ == 0 && corrupted_ == 0 && silent_ == 0; }
    uint64_t checked() const { return checked_; }
    // The pattern's first frame number received, and the one expected next.
    uint32_t first() const { return first_; }
    uint32_t next() const { return next_; }
    // "N frames from #F: dropped D, repeated R, corrupted C (S silent)"
    std::string summary() const;

private:
    bool findNear(uint32_t expected, int16_t l, int16_t r, uint32_t *n) const;
    bool continues(const int16_t *frames, size_t count, uint32_t n) const;
    void follow(int16_t l, int16_t r);

    FramePattern pattern_;
    bool started_ = false;
    uint32_t first_ = 0;
    uint32_t next_ = 0;
    uint64_t silent_lead_ = 0;
    uint64_t foreign_lead_ = 0;
    uint64_t checked_ = 0;
    uint64_t dropped_ = 0;
    uint64_t repeated_ = 0;
    uint64_t corrupted_ = 0;
    uint64_t silent_ = 0; // corrupted frames that were silence (the sender ran dry)
};
