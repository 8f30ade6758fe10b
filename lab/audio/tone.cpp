#include "tone.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

void toneFill(int16_t *samples, size_t count, uint64_t first, double hz, double rate, double amplitude)
{
    for (size_t i = 0; i < count; i++) {
        const double t = static_cast<double>(first + i) / rate;
        samples[i] = static_cast<int16_t>(std::lround(amplitude * std::sin(2 * M_PI * hz * t)));
    }
}

ToneMeasure measureTone(const std::vector<int16_t> &samples, double rate)
{
    ToneMeasure m;
    std::vector<double> periods;
    double previous = -1, squares = 0;
    for (size_t i = 1; i < samples.size(); i++) {
        squares += static_cast<double>(samples[i]) * samples[i];
        if (samples[i - 1] < 0 && samples[i] >= 0) {
            // Where the line between the two samples crosses zero.
            const double at =
                static_cast<double>(i - 1) + -samples[i - 1] / static_cast<double>(samples[i] - samples[i - 1]);
            if (previous >= 0) {
                periods.push_back(at - previous);
            }
            previous = at;
        }
    }
    // The median cycle: a frame lost or repeated in the stream upsets one
    // cycle, not the figure.
    if (!periods.empty()) {
        std::nth_element(periods.begin(), periods.begin() + static_cast<long>(periods.size() / 2), periods.end());
        m.hz = rate / periods[periods.size() / 2];
    }
    const double rms = std::sqrt(squares / static_cast<double>(samples.size())) / 32768.0;
    if (rms > 0) {
        m.dbfs = 20 * std::log10(rms);
    }
    return m;
}

Stretch longestUnbroken(const std::vector<int16_t> &samples, size_t skip)
{
    constexpr size_t kDropout = 16;
    Stretch best, current;
    current.begin = skip;
    size_t quiet = 0;
    unsigned dropouts = 0;
    for (size_t i = skip; i < samples.size(); i++) {
        quiet = std::abs(samples[i]) <= 1 ? quiet + 1 : 0;
        if (quiet == kDropout) {
            dropouts++;
            current.end = i + 1 - kDropout;
            if (current.end - current.begin > best.end - best.begin) {
                best = current;
            }
        }
        if (quiet >= kDropout) {
            current.begin = i + 1;
        }
    }
    current.end = samples.size();
    if (current.end > current.begin && current.end - current.begin > best.end - best.begin) {
        best = current;
    }
    best.dropouts = dropouts;
    return best;
}
