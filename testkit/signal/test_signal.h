// Test signals and their measurement: tones in, frequency and level out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace signal_check {

// A sine of amplitude (full scale 32768) as 16-bit samples, rounded.
std::vector<int16_t> sine(double freq, double rate, size_t frames, double amplitude);

// Deterministic white noise of the given peak amplitude.
std::vector<int16_t> white_noise(size_t frames, int amplitude, uint32_t seed);

// Interleaves channels of equal length into frames.
std::vector<int16_t> interleave(const std::vector<std::vector<int16_t>> &channels);

// One channel of interleaved frames, from frame first on, count frames.
std::vector<double> channel(const std::vector<int16_t> &frames, int channels, int which, size_t first, size_t count);

// Frequency from the upward zero crossings, interpolated between samples.
double crossing_frequency(const std::vector<double> &x, double rate);

// Least-squares fit of a sine at freq: its amplitude, and the RMS of what
// is left after removing it.
struct ToneFit {
    double amplitude;
    double residual_rms;
};
ToneFit fit_tone(const std::vector<double> &x, double freq, double rate);

// Decibels of a ratio of amplitudes.
double db(double ratio);

} // namespace signal_check
