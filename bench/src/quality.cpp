#include "quality.h"

#include <algorithm>
#include <cmath>

#include "test_signal.h"

using namespace signal_check;

namespace {

constexpr double kMinus1dBFS = 29204;
// The usual test frequency for "1 kHz": not a divisor of any rate, so that
// rounding errors spread like noise instead of repeating every few samples.
constexpr double kToneHz = 997;

// Streams input through in 10 ms blocks; notes the largest shortfall of
// output against the rate ratio.
std::vector<int16_t> stream(Candidate &c, const std::vector<int16_t> &in, uint32_t in_hz, uint32_t out_hz,
                            double *max_short = nullptr)
{
    std::vector<int16_t> out;
    const size_t step = block_frames(in_hz);
    for (size_t at = 0; at < in.size(); at += step) {
        const size_t frames = std::min(step, in.size() - at);
        c.process(in.data() + at, frames, out, 1);
        const double expected = std::ceil(static_cast<double>(at + frames) * out_hz / in_hz);
        if (max_short != nullptr) {
            *max_short = std::max(*max_short, expected - static_cast<double>(out.size()));
        }
    }
    return out;
}

// One second from 0.5 s on, clear of start-up and held-back output.
std::vector<double> steady(const std::vector<int16_t> &out, uint32_t out_hz)
{
    return channel(out, 1, 0, out_hz / 2, out_hz);
}

} // namespace

double tone_snr_db(const CandidateKind &kind, uint32_t in_hz, uint32_t out_hz)
{
    auto c = kind.make({in_hz, out_hz, 1}, kind.setting);
    const auto out = stream(*c, sine(kToneHz, in_hz, 2 * in_hz, kMinus1dBFS), in_hz, out_hz);
    const ToneFit fit = fit_tone(steady(out, out_hz), kToneHz, out_hz);
    return db(fit.amplitude / std::sqrt(2) / fit.residual_rms);
}

double rejection_db(const CandidateKind &kind, uint32_t in_hz, uint32_t out_hz, double freq)
{
    auto c = kind.make({in_hz, out_hz, 1}, kind.setting);
    const auto out = stream(*c, sine(freq, in_hz, 2 * in_hz, kMinus1dBFS), in_hz, out_hz);
    const auto x = steady(out, out_hz);
    double sum = 0;
    for (double v : x) {
        sum += v * v;
    }
    // Silence: every sample rounded to 0, i.e. below half a step of 16 bits.
    const double rms = std::max(std::sqrt(sum / x.size()), 0.5);
    return db(kMinus1dBFS / std::sqrt(2) / rms);
}

Delay measure_delay(const CandidateKind &kind, uint32_t in_hz, uint32_t out_hz)
{
    auto c = kind.make({in_hz, out_hz, 1}, kind.setting);
    std::vector<int16_t> in(in_hz / 2);
    const size_t at = in_hz / 4;
    in[at] = 30000;
    double held = 0;
    const auto out = stream(*c, in, in_hz, out_hz, &held);
    const auto peak =
        std::max_element(out.begin(), out.end(), [](int16_t a, int16_t b) { return std::abs(a) < std::abs(b); });
    const double signal = static_cast<double>(peak - out.begin()) - static_cast<double>(at) * out_hz / in_hz;
    return {signal, held};
}
