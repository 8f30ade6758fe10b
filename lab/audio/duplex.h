// A stereo 48 kHz stream in both directions at once between the library
// (device 0 of the loopback card) and the host's part (device 1): each side
// plays a pattern of its own and checks what the other played.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "host_side.h"

// The library's transfers of one period (kPeriodFrames stereo frames).
struct LibraryTransfers {
    // 0 when the period was taken, -1 when not (a full non-blocking buffer
    // or a failure: the period is offered again a little later).
    std::function<int(void *data, unsigned bytes)> send;
    // The bytes read into data (one period), 0 or less on a failure.
    std::function<int(void *data, unsigned bytes)> receive;
};

struct DuplexResult {
    bool to_host_intact = false;
    bool from_host_intact = false;
    std::string to_host;   // what the host received from the library
    std::string from_host; // what the library received from the host
    double seconds = 0;    // wall time of the run
    // The host's blocking writes that failed (the kernel's wait for room ran
    // out) and whose period was offered again.
    unsigned host_failed_writes = 0;
    std::string host_write_error; // the last one's text
};

// Runs until each receiver has `seconds` of audio; the first period each
// receiver gets is not judged. The host's streams are open on device 1.
// Runs on the same streams use different run numbers, so that frames left
// over from an earlier run are told apart.
DuplexResult runDuplex(const LibraryTransfers &library, HostStream &host_play, HostStream &host_capture, double seconds,
                       uint32_t run = 0);
