#include "level_meter.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr double kFloorDb = -60.0;
constexpr double kSilenceDb = -96.0;
constexpr int kBarWidth = 30;

} // namespace

double peakDbfs(const int16_t *samples, std::size_t count)
{
    int peak = 0;
    for (std::size_t i = 0; i < count; i++) {
        const int magnitude = std::abs(static_cast<int>(samples[i]));
        peak = magnitude > peak ? magnitude : peak;
    }
    if (peak == 0) {
        return kSilenceDb;
    }
    return 20.0 * std::log10(static_cast<double>(peak) / 32768.0);
}

std::string levelBar(double dbfs, int width)
{
    double fraction = (dbfs - kFloorDb) / -kFloorDb;
    fraction = fraction < 0 ? 0 : (fraction > 1 ? 1 : fraction);
    const int filled = static_cast<int>(std::lround(fraction * width));
    return std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(width - filled), '.');
}

std::string statusLine(double seconds, double total_seconds, double dbfs, unsigned xruns)
{
    char time[48];
    if (total_seconds >= 0) {
        std::snprintf(time, sizeof(time), "%7.1f s / %.1f s", seconds, total_seconds);
    } else {
        std::snprintf(time, sizeof(time), "%7.1f s", seconds);
    }
    char level[32];
    std::snprintf(level, sizeof(level), "%6.1f dBFS", dbfs);
    return std::string(time) + "  [" + levelBar(dbfs, kBarWidth) + "] " + level + "  xruns " + std::to_string(xruns);
}
