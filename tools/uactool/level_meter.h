// The terminal read-out of the USB audio tools: progress, a peak level
// meter and the xrun count, on one line rewritten in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Peak level of interleaved 16-bit samples in dBFS (-96 for silence).
double peakDbfs(const int16_t *samples, std::size_t count);

// A bar of `width` characters for a level from -60 dBFS (empty) to 0 (full).
std::string levelBar(double dbfs, int width);

// "  12.3 s / 60.0 s  [#######.......]  -12.0 dBFS  xruns 0"; total_seconds
// below 0 leaves the total out.
std::string statusLine(double seconds, double total_seconds, double dbfs, unsigned xruns);
