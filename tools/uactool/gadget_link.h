// Opening the USB audio gadget's streams for the tools, adapting to the
// format the USB host selected, and watching transfers for lateness.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "bsp_uac.h"

struct LinkOptions {
    int card = -1; // -1: look the gadget card up by its id
    int device = 0;
};

// Opens the instance with BSP_UacInit_s; the formats opened land in *report.
// Returns "" or why the link could not be opened.
std::string openLink(const LinkOptions &options, const UAC_STREAM_STAT_S &request, UAC_INSTANCE_S *instance,
                     UAC_STREAM_STAT_S *report);

// Counts transfers that came later than the ring buffer lasts: the stream
// then ran dry (playback) or over (capture) in between.
class XrunWatch {
public:
    explicit XrunWatch(double buffer_seconds) : buffer_seconds_(buffer_seconds) {}
    // Call after every transfer.
    void transferred();
    unsigned count() const { return count_; }

private:
    double buffer_seconds_;
    bool started_ = false;
    std::chrono::steady_clock::time_point last_{};
    unsigned count_ = 0;
};

// "2 channels, 48000 Hz"
std::string formatText(uint32_t channels, uint32_t rate);
