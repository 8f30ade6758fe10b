#include "duplex.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "frame_pattern.h"

namespace {

constexpr unsigned kChannels = 2;
constexpr unsigned kPeriodSamples = kPeriodFrames * kChannels;
constexpr unsigned kPeriodBytes = kPeriodSamples * sizeof(int16_t);
constexpr int kRetryMs = 2;
// A sender that gets no period through for this long has lost its stream.
constexpr int kGiveUpMs = 5000;
// A receiver gives up after this many failed reads in a row.
constexpr int kMaxFailedReads = 5;

struct Run {
    std::atomic<bool> stop{false};
    uint64_t target_frames = 0;
};

// Receives until the target is reached; the first period is not judged.
template <typename Read> void receive(Run &run, PatternCheck &check, Read read)
{
    std::vector<int16_t> period(kPeriodSamples);
    uint64_t frames = 0;
    int failures = 0;
    bool first = true;
    while (frames < run.target_frames && failures < kMaxFailedReads) {
        const int got = read(period.data());
        if (got <= 0) {
            failures++;
            continue;
        }
        failures = 0;
        if (!first) {
            check.feed(period.data(), static_cast<size_t>(got));
        }
        first = false;
        frames += static_cast<uint64_t>(got);
    }
}

// Plays the pattern until told to stop; returns how many sends failed. A
// period that send() does not take (0 when taken) is offered again after a
// short sleep: the library's global streams drop a period on a full buffer,
// and the host's blocking write fails with EIO when the kernel's wait for
// room (100 ms here) runs out while the emulator does not run the board; the
// stream still runs, with its queue, and the same period goes in next.
template <typename Send> unsigned play(Run &run, const FramePattern &pattern, Send send)
{
    std::vector<int16_t> period(kPeriodSamples);
    uint32_t next = 0;
    int waited_ms = 0;
    unsigned failed = 0;
    pattern.fill(period.data(), kPeriodFrames, next);
    while (!run.stop && waited_ms < kGiveUpMs) {
        if (send(period.data()) != 0) {
            failed++;
            std::this_thread::sleep_for(std::chrono::milliseconds(kRetryMs));
            waited_ms += kRetryMs;
            continue;
        }
        waited_ms = 0;
        next += kPeriodFrames;
        pattern.fill(period.data(), kPeriodFrames, next);
    }
    return failed;
}

} // namespace

DuplexResult runDuplex(const LibraryTransfers &library, HostStream &host_play, HostStream &host_capture, double seconds,
                       uint32_t run_number)
{
    const FramePattern to_host(0x6C696272u + run_number), from_host(0x686F7374u + run_number);
    PatternCheck host_check(to_host), library_check(from_host);
    Run run;
    run.target_frames = static_cast<uint64_t>(seconds * 48000);
    const auto started = std::chrono::steady_clock::now();
    std::thread host_receiver([&] {
        receive(run, host_check, [&](int16_t *data) {
            const int got = pcm_readi(host_capture.get(), data, kPeriodFrames);
            return got < 0 ? -1 : got;
        });
    });
    std::thread library_receiver([&] {
        receive(run, library_check, [&](int16_t *data) {
            return library.receive(data, kPeriodBytes) / static_cast<int>(kChannels * sizeof(int16_t));
        });
    });
    // The receivers are running before anything is played.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    unsigned host_failed = 0;
    std::string host_error;
    std::thread host_player([&] {
        host_failed = play(run, from_host, [&](const int16_t *data) {
            if (pcm_writei(host_play.get(), data, kPeriodFrames) < 0) {
                host_error = pcm_get_error(host_play.get());
                return -1;
            }
            return 0;
        });
    });
    std::thread library_player(
        [&] { play(run, to_host, [&](int16_t *data) { return library.send(data, kPeriodBytes); }); });
    host_receiver.join();
    library_receiver.join();
    run.stop = true;
    host_player.join();
    library_player.join();
    DuplexResult result;
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    result.to_host_intact = host_check.intact();
    result.from_host_intact = library_check.intact();
    result.to_host = host_check.summary();
    result.from_host = library_check.summary();
    result.host_failed_writes = host_failed;
    result.host_write_error = host_error;
    return result;
}
