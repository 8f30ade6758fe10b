// Quality figures of a candidate: noise and distortion of a 1 kHz tone,
// rejection of a tone above the output's Nyquist frequency, and delay.
#pragma once

#include "candidates.h"

// Blocks of 10 ms, as a streaming caller hands them over.
constexpr size_t block_frames(uint32_t in_hz)
{
    return in_hz / 100;
}

// Signal to noise-and-distortion ratio (THD+N) of a 997 Hz tone at -1 dBFS, in dB.
double tone_snr_db(const CandidateKind &kind, uint32_t in_hz, uint32_t out_hz);

// How far below a -1 dBFS input tone at freq the output lies, in dB. An
// output that rounds to silence gives kSilentRejectionDb, the most 16 bits
// can show (an RMS of half a step).
constexpr double kSilentRejectionDb = 92.3;
double rejection_db(const CandidateKind &kind, uint32_t in_hz, uint32_t out_hz, double freq);

// Delay in output frames: the signal's own delay plus the most output the
// resampler held back while streaming 10 ms blocks.
struct Delay {
    double signal;
    double held_back;
    double total() const { return signal + held_back; }
};
Delay measure_delay(const CandidateKind &kind, uint32_t in_hz, uint32_t out_hz);
