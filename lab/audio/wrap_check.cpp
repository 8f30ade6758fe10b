// A stream across the kernel's pointer boundary (lab_uac wrap PATH).
//
// The kernel counts a stream's hardware and application pointers in frames
// up to its boundary, the largest buffer-size multiple for which pointer +
// buffer still fits a signed long, and then starts them again at 0. With a
// 32-bit long that is about 2^30 frames: 6.2 hours at 48 kHz, the wrap no
// short check ever reaches. Here a 192 kHz stereo stream through the
// loopback card (device 0 plays into device 1) runs a silent prefix, unchecked,
// until both streams' pointers stand a few buffers before the boundary, and
// then a frame pattern that every received frame is checked against until
// both streams' pointers have wrapped and gone a few buffers beyond it. The
// kernel's own pointers and boundary are read from /proc before and after.
// Under the lab's emulator with -icount shift=0,sleep=off the guest's clock
// jumps over the time the board idles, so the hours of stream cost only the
// instructions that move the frames.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "checks.h"
#include "frame_pattern.h"
#include "host_side.h"
#include "report.h"
#include "xu_uac.h"

namespace {

const char *kCardId = "UAC1Gadget";
constexpr unsigned kRate = 192000;
constexpr unsigned kChannels = 2;
constexpr unsigned kFrameBytes = 4; // 2 channels of S16_LE
// The loopback card's largest buffer (2 MiB) in four periods: the fewest
// wake-ups per frame it allows, and three periods of margin.
constexpr unsigned kPeriod = 1u << 17;
constexpr unsigned kPeriods = 4;
constexpr unsigned kBuffer = kPeriod * kPeriods;
// The checked window: from this many frames before the boundary (counted on
// the sending side) until the receiving side is as far beyond it.
constexpr uint64_t kWindow = 2 * uint64_t{kBuffer};

// One period each way; 0 or true when it moved whole.
struct WrapTransfers {
    std::function<bool(const void *data)> send;
    std::function<bool(void *data)> receive;
    std::function<std::string()> error;
};

// The kernel's view of one open substream, from /proc/asound.
struct Pointers {
    std::string state;
    uint64_t hw = 0;
    uint64_t appl = 0;
    bool read = false;
};

std::string readText(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// "key: value" or "key   : value" of a /proc/asound file; "" when absent.
std::string procValue(const std::string &text, const std::string &key)
{
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.compare(0, key.size(), key) != 0) {
            continue;
        }
        const size_t colon = line.find(':', key.size());
        if (colon != std::string::npos && line.find_first_not_of(' ', key.size()) == colon) {
            return line.substr(line.find_first_not_of(' ', colon + 1));
        }
    }
    return "";
}

std::string subFile(int card, unsigned device, bool capture, const char *name)
{
    return "/proc/asound/card" + std::to_string(card) + "/pcm" + std::to_string(device) + (capture ? "c" : "p") +
           "/sub0/" + name;
}

Pointers pointersOf(int card, unsigned device, bool capture)
{
    const std::string status = readText(subFile(card, device, capture, "status"));
    Pointers p;
    p.state = procValue(status, "state");
    const std::string hw = procValue(status, "hw_ptr");
    const std::string appl = procValue(status, "appl_ptr");
    if (!hw.empty() && !appl.empty()) {
        p.hw = std::stoull(hw);
        p.appl = std::stoull(appl);
        p.read = true;
    }
    return p;
}

std::string describe(const Pointers &p)
{
    return p.read ? p.state + ", hw_ptr " + std::to_string(p.hw) + ", appl_ptr " + std::to_string(p.appl) : "no status";
}

// The boundary as the kernel computes it at hw_params (snd_pcm_hw_params):
// the buffer doubled while twice it still leaves room for one more buffer
// below LONG_MAX.
uint64_t kernelBoundary(uint64_t buffer)
{
    uint64_t boundary = buffer;
    while (boundary * 2 <= static_cast<uint64_t>(LONG_MAX) - buffer) {
        boundary *= 2;
    }
    return boundary;
}

// Whether this process maps the status/control pages of the card's PCM
// nodes (offsets from 0x80000000 on) or only their data areas: the mapped
// streams' pointers then travel through the pages or by SYNC_PTR.
bool statusPagesMapped(int card)
{
    std::ifstream maps("/proc/self/maps");
    const std::string node = "/dev/snd/pcmC" + std::to_string(card) + "D";
    std::string line;
    while (std::getline(maps, line)) {
        if (line.find(node) == std::string::npos) {
            continue;
        }
        std::istringstream fields(line);
        std::string range, perms, offset;
        fields >> range >> perms >> offset;
        if (std::stoull(offset, nullptr, 16) >= 0x80000000ull) {
            return true;
        }
    }
    return false;
}

double secondsOf(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

pcm_config wrapConfig()
{
    return pcm_config{kChannels, kRate, kPeriod, kPeriods, PCM_FORMAT_S16_LE, 0, 0, 0};
}

// Our tinyalsa called directly: read/write or mapped transfers.
struct DirectStreams {
    pcm *play;
    pcm *capture;
    DirectStreams(int card, unsigned flags)
    {
        const pcm_config config = wrapConfig();
        play = pcm_open(static_cast<unsigned>(card), 0, PCM_OUT | flags, &config);
        capture = pcm_open(static_cast<unsigned>(card), 1, PCM_IN | flags, &config);
    }
    ~DirectStreams()
    {
        pcm_close(capture);
        pcm_close(play);
    }
    DirectStreams(const DirectStreams &) = delete;
    DirectStreams &operator=(const DirectStreams &) = delete;
    bool ready() const { return pcm_is_ready(play) && pcm_is_ready(capture); }
    std::string error() const { return std::string(pcm_get_error(play)) + " / " + pcm_get_error(capture); }
    WrapTransfers transfers(bool mmap) const
    {
        pcm *p = play;
        pcm *c = capture;
        const unsigned bytes = kPeriod * kFrameBytes;
        if (mmap) {
            return {[p, bytes](const void *data) { return pcm_mmap_write(p, data, bytes) == 0; },
                    [c, bytes](void *data) { return pcm_mmap_read(c, data, bytes) == 0; }, [this] { return error(); }};
        }
        return {[p](const void *data) { return pcm_writei(p, data, kPeriod) >= 0; },
                [c](void *data) { return pcm_readi(c, data, kPeriod) == static_cast<int>(kPeriod); },
                [this] { return error(); }};
    }
};

// libuacbridge's stream layer: XU_UAC_Init on devices 0 and 1 of the card,
// then its send and receive calls.
struct LibraryStreams {
    UAC_HANDLE_S *play = nullptr;
    UAC_HANDLE_S *capture = nullptr;
    LibraryStreams(unsigned flags)
    {
        UAC_CONFIG_S config{};
        XU_UAC_Config(&config, PCM_OUT | flags, kChannels, kRate, kPeriod, kPeriods, PCM_FORMAT_S16_LE);
        if (XU_UAC_Init(&play, &config) != 0) {
            play = nullptr;
        }
        config.device = 1;
        config.flags = PCM_IN | flags;
        if (XU_UAC_Init(&capture, &config) != 0) {
            capture = nullptr;
        }
    }
    ~LibraryStreams()
    {
        if (capture != nullptr) {
            XU_UAC_Uninit(capture);
        }
        if (play != nullptr) {
            XU_UAC_Uninit(play);
        }
    }
    LibraryStreams(const LibraryStreams &) = delete;
    LibraryStreams &operator=(const LibraryStreams &) = delete;
    bool ready() const { return play != nullptr && capture != nullptr; }
    WrapTransfers transfers(bool mmap) const
    {
        UAC_HANDLE_S *p = play;
        UAC_HANDLE_S *c = capture;
        const uint32_t bytes = kPeriod * kFrameBytes;
        auto send = [p, mmap, bytes](const void *data) {
            UAC_FRAME_S frame{0, const_cast<void *>(data), bytes};
            return (mmap ? XU_UAC_MmapSendFrame(p, &frame) : XU_UAC_SendFrame(p, &frame)) == 0;
        };
        // XU_UAC_GetFrame reads the buffer size in frames as bytes: with four
        // periods of 4-byte frames that is one period.
        auto receive = [c, mmap, bytes](void *data) {
            UAC_FRAME_S frame{0, data, bytes};
            return (mmap ? XU_UAC_MmapGetFrame(c, &frame) : XU_UAC_GetFrame(c, &frame)) == 0 && frame.len == bytes;
        };
        return {send, receive, [p, c] { return std::string(pcm_get_error(p->pcm)) + " / " + pcm_get_error(c->pcm); }};
    }
};

// The stream itself, once both sides are open.
void runWrap(const std::string &name, int card, const WrapTransfers &t, bool mapped)
{
    const std::string p0 = name + ": ";
    const uint64_t computed = kernelBoundary(kBuffer);
    const std::string sw_play = readText(subFile(card, 0, false, "sw_params"));
    const std::string sw_capture = readText(subFile(card, 1, true, "sw_params"));
    const std::string b_play = procValue(sw_play, "boundary");
    const std::string b_capture = procValue(sw_capture, "boundary");
    const uint64_t boundary = b_play.empty() ? 0 : std::stoull(b_play);
    reportCheck(boundary == computed && b_capture == b_play,
                p0 + "the kernel's boundary is the buffer doubled as the kernel computes it (" +
                    std::to_string(computed) + " frames)",
                "playback " + b_play + ", capture " + b_capture);
    // With a 64-bit long the boundary is some 2^62 frames: no stream gets there.
    if (boundary != computed || boundary > (uint64_t{1} << 32)) {
        reportCheck(false, p0 + "the boundary within reach", "boundary " + b_play + " frames");
        return;
    }
    if (mapped) {
        const bool pages = statusPagesMapped(card);
        reportFigure(p0 + "mapped streams' pointers " +
                     (pages ? std::string("through the status/control pages") : "over SYNC_PTR (pages refused)"));
    }

    const uint64_t pattern_from = boundary - kWindow; // sent frame where the pattern starts
    const uint64_t stop_at = boundary + kWindow;      // received frames when the check ends
    std::vector<int16_t> silence(size_t{kPeriod} * kChannels, 0);
    std::vector<int16_t> out(silence.size()), in(silence.size());
    const FramePattern pattern(0x57A9u);
    PatternCheck check(pattern);
    uint64_t sent = 0, received = 0, received_before = 0;
    Pointers play_before, capture_before;
    const double t0 = secondsOf(CLOCK_MONOTONIC);
    const double cpu0 = secondsOf(CLOCK_PROCESS_CPUTIME_ID);
    bool ok = true;
    // The buffer full up front, then one period received for each one sent.
    for (unsigned i = 0; i < kPeriods && ok; i++, sent += kPeriod) {
        ok = t.send(silence.data());
    }
    while (ok && received < stop_at) {
        ok = t.receive(in.data());
        if (!ok) {
            break;
        }
        received += kPeriod;
        // Only what arrives from a buffer before the pattern on is looked
        // at: the silent prefix is not checked.
        if (received + 2 * kBuffer > pattern_from) {
            check.feed(in.data(), kPeriod);
        }
        if (sent == pattern_from) {
            play_before = pointersOf(card, 0, false);
            capture_before = pointersOf(card, 1, true);
            received_before = received;
        }
        if (sent >= pattern_from) {
            pattern.fill(out.data(), kPeriod, static_cast<uint32_t>(sent - pattern_from));
        }
        ok = t.send(sent >= pattern_from ? out.data() : silence.data());
        sent += kPeriod;
    }
    const double seconds = secondsOf(CLOCK_MONOTONIC) - t0;
    const double cpu = secondsOf(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
    const Pointers play_after = pointersOf(card, 0, false);
    const Pointers capture_after = pointersOf(card, 1, true);
    if (!ok) {
        reportCheck(false, p0 + "the stream runs across the boundary",
                    "failed after " + std::to_string(sent) + " frames sent, " + std::to_string(received) +
                        " received: " + t.error());
        return;
    }
    reportCheck(play_before.read && capture_before.read && play_before.appl == pattern_from &&
                    capture_before.appl == received_before && play_before.hw < boundary &&
                    play_before.hw + kBuffer >= play_before.appl && capture_before.hw < boundary &&
                    capture_before.hw >= capture_before.appl,
                p0 + "before the pattern the kernel's pointers stand within " + std::to_string(kWindow / kBuffer + 1) +
                    " buffers of the boundary",
                "playback: " + describe(play_before) + "; capture: " + describe(capture_before));
    reportCheck(play_after.read && capture_after.read && play_after.appl == sent - boundary &&
                    capture_after.appl == received - boundary && play_after.hw <= play_after.appl &&
                    capture_after.hw >= capture_after.appl && capture_after.hw < boundary,
                p0 + "after it both streams' hardware and application pointers have wrapped",
                "playback: " + describe(play_after) + " after " + std::to_string(sent) +
                    " frames; capture: " + describe(capture_after) + " after " + std::to_string(received));
    // The checked frames must span the boundary on both sides: as received
    // (the last kWindow of them came after the capture pointers wrapped) and
    // as sent (frame n of the pattern was sent at pattern_from + n).
    const bool spans = check.checked() > kWindow && check.first() < kWindow && check.next() > kWindow;
    reportCheck(check.intact() && spans, p0 + "every frame across the wrap intact", check.summary());
    reportFigure(p0 + "pointers before the pattern: playback " + describe(play_before) + ", capture " +
                 describe(capture_before));
    reportFigure(p0 + "pointers at the end: playback " + describe(play_after) + ", capture " + describe(capture_after));
    reportFigure(p0 + "received " + check.summary());
    char figure[320];
    std::snprintf(figure, sizeof(figure),
                  "%s: %llu frames sent and %llu received at %u Hz (boundary %llu), %.0f s of stream in %.0f s of "
                  "guest time; this process ran %.2f s of it (under -icount: %.2f x 10^9 instructions)",
                  name.c_str(), static_cast<unsigned long long>(sent), static_cast<unsigned long long>(received), kRate,
                  static_cast<unsigned long long>(boundary), static_cast<double>(received) / kRate, seconds, cpu, cpu);
    reportFigure(figure);
}

} // namespace

int checkWrap(const Args &args)
{
    const std::string path = args.empty() ? "" : args[0];
    const int card = cardNumberOf(kCardId);
    if (card < 0) {
        reportCheck(false, "wrap: the loopback card", std::string("no card ") + kCardId);
        return reportStatus();
    }
    const bool mmap = path == "mmap" || path == "xu-mmap";
    const std::string name = "wrap " + path;
    if (path == "rw" || path == "mmap") {
        DirectStreams s(card, mmap ? PCM_MMAP : 0);
        reportCheck(s.ready(), name + ": our tinyalsa opens both sides at 192 kHz", s.error());
        if (s.ready()) {
            runWrap(name, card, s.transfers(mmap), mmap);
        }
    } else if (path == "xu-rw" || path == "xu-mmap") {
        LibraryStreams s(mmap ? PCM_MMAP : 0);
        reportCheck(s.ready(), name + ": XU_UAC_Init opens both sides at 192 kHz", "see the output");
        if (s.ready()) {
            runWrap(name, card, s.transfers(mmap), mmap);
        }
    } else {
        std::fprintf(stderr, "wrap: PATH is rw, mmap, xu-rw or xu-mmap\n");
        return 2;
    }
    return reportStatus();
}
