#include "test_signal.h"

#include <cmath>
#include <numbers>

namespace signal_check {

std::vector<int16_t> sine(double freq, double rate, size_t frames, double amplitude)
{
    std::vector<int16_t> out(frames);
    for (size_t i = 0; i < frames; i++) {
        out[i] = static_cast<int16_t>(std::lround(amplitude * std::sin(2 * std::numbers::pi * freq * i / rate)));
    }
    return out;
}

std::vector<int16_t> white_noise(size_t frames, int amplitude, uint32_t seed)
{
    std::vector<int16_t> out(frames);
    uint32_t x = seed;
    for (auto &s : out) {
        x = x * 1664525u + 1013904223u; // LCG: the same stream on every host
        s = static_cast<int16_t>(static_cast<int>(x >> 16) % (2 * amplitude + 1) - amplitude);
    }
    return out;
}

std::vector<int16_t> interleave(const std::vector<std::vector<int16_t>> &channels)
{
    std::vector<int16_t> out;
    for (size_t i = 0; i < channels[0].size(); i++) {
        for (const auto &c : channels) {
            out.push_back(c[i]);
        }
    }
    return out;
}

std::vector<double> channel(const std::vector<int16_t> &frames, int channels, int which, size_t first, size_t count)
{
    std::vector<double> out;
    for (size_t i = first; i < first + count && (i + 1) * channels <= frames.size(); i++) {
        out.push_back(frames[i * channels + which]);
    }
    return out;
}

double crossing_frequency(const std::vector<double> &x, double rate)
{
    double first = -1;
    double last = -1;
    int crossings = 0;
    for (size_t i = 1; i < x.size(); i++) {
        if (x[i - 1] < 0 && x[i] >= 0) {
            const double at = (i - 1) + x[i - 1] / (x[i - 1] - x[i]);
            if (crossings == 0) {
                first = at;
            }
            last = at;
            crossings++;
        }
    }
    return crossings < 2 ? 0 : (crossings - 1) * rate / (last - first);
}

ToneFit fit_tone(const std::vector<double> &x, double freq, double rate)
{
    // Normal equations of x ~ a sin + b cos + c.
    double ss = 0, cc = 0, sc = 0, s1 = 0, c1 = 0, xs = 0, xc = 0, x1 = 0;
    const double n = static_cast<double>(x.size());
    for (size_t i = 0; i < x.size(); i++) {
        const double w = 2 * std::numbers::pi * freq * i / rate;
        const double s = std::sin(w);
        const double c = std::cos(w);
        ss += s * s, cc += c * c, sc += s * c, s1 += s, c1 += c;
        xs += x[i] * s, xc += x[i] * c, x1 += x[i];
    }
    // Cramer's rule on the 3x3 system.
    const double m[3][3] = {{ss, sc, s1}, {sc, cc, c1}, {s1, c1, n}};
    const double v[3] = {xs, xc, x1};
    auto det = [](const double a[3][3]) {
        return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
               a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    };
    const double d = det(m);
    double coef[3];
    for (int k = 0; k < 3; k++) {
        double mk[3][3];
        for (int r = 0; r < 3; r++) {
            for (int col = 0; col < 3; col++) {
                mk[r][col] = col == k ? v[r] : m[r][col];
            }
        }
        coef[k] = det(mk) / d;
    }
    double err = 0;
    for (size_t i = 0; i < x.size(); i++) {
        const double w = 2 * std::numbers::pi * freq * i / rate;
        const double e = x[i] - coef[0] * std::sin(w) - coef[1] * std::cos(w) - coef[2];
        err += e * e;
    }
    return {std::hypot(coef[0], coef[1]), std::sqrt(err / n)};
}

double db(double ratio)
{
    return 20 * std::log10(ratio);
}

} // namespace signal_check
