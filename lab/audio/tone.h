// A sine tone and what a receiver measures of one: frequency from the
// median interval between zero crossings, level as RMS in dB relative to
// full scale.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Mono samples of a sine at `hz`, peak `amplitude`, from sample `first` on.
void toneFill(int16_t *samples, size_t count, uint64_t first, double hz, double rate, double amplitude);

struct ToneMeasure {
    double hz = 0;
    double dbfs = -200;
};

ToneMeasure measureTone(const std::vector<int16_t> &samples, double rate);

// The longest stretch of samples between dropouts (16 or more samples in a
// row within 1 of zero), after `skip` samples.
struct Stretch {
    size_t begin = 0;
    size_t end = 0;
    unsigned dropouts = 0;
};

Stretch longestUnbroken(const std::vector<int16_t> &samples, size_t skip);
