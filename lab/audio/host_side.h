// The USB host's part on the loopback card: device 1 of the card whose id is
// UAC1Gadget, opened through tinyalsa directly (device 0 is the library's).
#pragma once

#include <tinyalsa/asoundlib.h>

#include <string>

constexpr unsigned kPeriodFrames = 1024;
constexpr unsigned kPeriodCount = 4;

// The number of the card with this id in /proc/asound/cards, -1 when absent.
int cardNumberOf(const std::string &id);

// One tinyalsa stream, closed when it goes out of scope.
class HostStream {
public:
    HostStream(int card, unsigned device, unsigned flags, unsigned channels, unsigned rate);
    ~HostStream();
    HostStream(const HostStream &) = delete;
    HostStream &operator=(const HostStream &) = delete;
    bool ready() const { return pcm_is_ready(pcm_) != 0; }
    std::string error() const { return pcm_get_error(pcm_); }
    pcm *get() const { return pcm_; }
    // Prepares the stream with one period (silence for playback, a read for
    // capture): the loopback card then holds the other side to its format,
    // as a USB host that selected a format does.
    bool hold();

private:
    bool capture_;
    pcm *pcm_;
};

// Plays silence on device 0 of the card until the process ends, so that the
// card's period interrupts clock the loopback card. Returns only on failure.
int runClock(const std::string &id, unsigned channels, unsigned rate, unsigned period);
