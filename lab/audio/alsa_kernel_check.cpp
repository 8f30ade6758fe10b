// Our tinyalsa against a real kernel: the loopback card (snd-aloop, id
// UAC1Gadget by default; device 0 loops into device 1), clocked either by
// its own timer or by a stream that `alsa_kernel_check --clock Dummy` keeps
// running on another card.
//
//   alsa_kernel_check [CARD_ID]    run every check, print PASS/FAIL lines,
//                                  exit 0 when all passed
//   alsa_kernel_check --no-loopback [CARD_ID]
//                                  all but the timed loopback transfers (an
//                                  emulator under load cannot keep their time)
//   alsa_kernel_check --clock ID   play silence on card ID, device 0, until
//                                  killed (1024-frame periods, as below)
#include "pcm_internal.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/utsname.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr unsigned int kPeriod = 1024;
constexpr unsigned int kPeriods = 4;
constexpr unsigned int kBuffer = kPeriod * kPeriods;
constexpr unsigned int kFrame = 4; // 2 channels of S16_LE
const pcm_config stereo16 = {2, 48000, kPeriod, kPeriods, PCM_FORMAT_S16_LE, 0, 0, 0};

void sleep_ms(unsigned int ms)
{
    timespec t = {static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&t, &t) != 0 && errno == EINTR)
        ;
}

int passed = 0;
int failed = 0;

void check(bool ok, const std::string &what, const std::string &detail = "")
{
    (ok ? passed : failed)++;
    std::printf("%s: %s%s%s\n", ok ? "PASS" : "FAIL", what.c_str(), detail.empty() ? "" : " -- ", detail.c_str());
    std::fflush(stdout);
}

std::string read_text(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The card number whose id /proc/asound/cards lists as " N [ID     ]", or -1.
int find_card(const std::string &id)
{
    std::istringstream cards(read_text("/proc/asound/cards"));
    std::string line;
    while (std::getline(cards, line)) {
        int number;
        char name[64];
        if (std::sscanf(line.c_str(), " %d [%63[^] ]", &number, name) == 2 && id == name)
            return number;
    }
    return -1;
}

// "key: value" from a /proc/asound parameter file; "" when absent.
std::string proc_value(const std::string &text, const std::string &key)
{
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind(key + ": ", 0) == 0)
            return line.substr(key.size() + 2);
    }
    return "";
}

std::string proc_file(int card, unsigned int device, bool capture, const char *name)
{
    return read_text("/proc/asound/card" + std::to_string(card) + "/pcm" + std::to_string(device) +
                     (capture ? "c" : "p") + "/sub0/" + name);
}

// Frames numbered by a 32-bit counter: left = low half, right = high half.
void fill(std::vector<uint8_t> &buf, uint32_t first)
{
    for (size_t i = 0; i < buf.size() / kFrame; i++) {
        uint32_t n = first + static_cast<uint32_t>(i);
        std::memcpy(&buf[i * kFrame], &n, kFrame);
    }
}

uint32_t frame_at(const std::vector<uint8_t> &buf, size_t i)
{
    uint32_t n;
    std::memcpy(&n, &buf[i * kFrame], kFrame);
    return n;
}

std::string kernel_machine()
{
    utsname u{};
    return uname(&u) == 0 ? u.machine : "unknown";
}

// Linux maps a stream's status and control pages only on cache-coherent
// architectures (x86, PowerPC, Alpha), and not for a 32-bit process on a
// 64-bit kernel (the compat layer refuses the control page); elsewhere, ARM
// among them, the pointers travel by SYNC_PTR.
bool kernel_maps_pages()
{
    const std::string m = kernel_machine();
    const bool x86_kernel = m == "x86_64" || (m.size() == 4 && m[0] == 'i' && m.compare(2, 2, "86") == 0);
    const bool compat = m == "x86_64" && sizeof(void *) == 4;
    return x86_kernel && !compat;
}

struct Stream {
    pcm *p;
    Stream(int card, unsigned int device, unsigned int flags, const pcm_config &config = stereo16)
        : p(pcm_open(static_cast<unsigned int>(card), device, flags, &config))
    {
    }
    Stream(const pcm_kernel *kernel, int card, unsigned int device, unsigned int flags)
        : p(pcm_open_on(kernel, static_cast<unsigned int>(card), device, flags, &stereo16))
    {
    }
    ~Stream() { pcm_close(p); }
    Stream(const Stream &) = delete;
    Stream &operator=(const Stream &) = delete;
    bool ready() const { return pcm_is_ready(p); }
    std::string error() const { return pcm_get_error(p); }
};

void open_close(int card)
{
    const struct {
        unsigned int device, flags;
        const char *name, *access;
    } table[] = {
        {0, PCM_OUT, "playback rw", "RW_INTERLEAVED"},
        {0, PCM_OUT | PCM_MMAP, "playback mmap", "MMAP_INTERLEAVED"},
        {1, PCM_IN, "capture rw", "RW_INTERLEAVED"},
        {1, PCM_IN | PCM_MMAP, "capture mmap", "MMAP_INTERLEAVED"},
    };
    for (const auto &row : table) {
        Stream s(card, row.device, row.flags);
        check(s.ready(), std::string("open ") + row.name, s.error());
        if (!s.ready())
            continue;
        bool capture = row.flags & PCM_IN;
        std::string hw = proc_file(card, row.device, capture, "hw_params");
        check(proc_value(hw, "access") == row.access, std::string("access of ") + row.name, proc_value(hw, "access"));
        check(pcm_get_buffer_size(s.p) == kBuffer, std::string("buffer size of ") + row.name,
              std::to_string(pcm_get_buffer_size(s.p)));
        if (row.flags & PCM_MMAP) {
            // Which path the mapped stream's pointers take, as the kernel's
            // architecture decides: the check's name says which ran.
            const bool want = kernel_maps_pages();
            check(bool(s.p->pages_mapped) == want,
                  std::string(row.name) + ": " +
                      (s.p->pages_mapped ? "status/control pages mapped" : "pointers over SYNC_PTR (pages refused)") +
                      " on a " + kernel_machine() + " kernel",
                  want ? "expected there: mapped" : "expected there: refused");
        }
        check(pcm_close(s.p) == 0, std::string("close ") + row.name);
        s.p = nullptr;
        check(proc_value(proc_file(card, row.device, capture, "hw_params"), "access").empty(),
              std::string("kernel sees ") + row.name + " closed");
    }
}

void proc_params(int card)
{
    const struct {
        const char *name;
        unsigned int device, flags, start, stop, silence;
        std::string want_start, want_stop;
    } table[] = {
        {"playback defaults", 0, PCM_OUT | PCM_NONBLOCK, 0, 0, 0, "2048", "4096"},
        {"capture defaults", 1, PCM_IN, 0, 0, 0, "1", "40960"},
        {"playback as given", 0, PCM_OUT, 4096, 4096, 4096, "4096", "4096"},
        {"capture as given", 1, PCM_IN, 4096, 4096, 4096, "4096", "4096"},
    };
    for (const auto &row : table) {
        pcm_config config = stereo16;
        config.start_threshold = row.start;
        config.stop_threshold = row.stop;
        config.silence_threshold = row.silence;
        Stream s(card, row.device, row.flags, config);
        if (!s.ready()) {
            check(false, row.name, s.error());
            continue;
        }
        bool capture = row.flags & PCM_IN;
        std::string sw = proc_file(card, row.device, capture, "sw_params");
        std::string hw = proc_file(card, row.device, capture, "hw_params");
        const std::pair<std::string, std::string> want[] = {
            {"tstamp_mode", "ENABLE"},
            {"period_step", "1"},
            {"avail_min", "1"},
            {"start_threshold", row.want_start},
            {"stop_threshold", row.want_stop},
            {"silence_threshold", std::to_string(row.silence)},
            {"silence_size", "0"},
            {"boundary", std::to_string(pcm_boundary(kBuffer))},
        };
        std::string diff;
        for (const auto &[key, value] : want) {
            if (proc_value(sw, key) != value)
                diff += key + "=" + proc_value(sw, key) + " (want " + value + ") ";
        }
        const std::pair<std::string, std::string> want_hw[] = {
            {"format", "S16_LE"},        {"subformat", "STD"},    {"channels", "2"},
            {"rate", "48000 (48000/1)"}, {"period_size", "1024"}, {"buffer_size", "4096"},
        };
        for (const auto &[key, value] : want_hw) {
            if (proc_value(hw, key) != value)
                diff += key + "=" + proc_value(hw, key) + " (want " + value + ") ";
        }
        check(diff.empty(), std::string("kernel parameters, ") + row.name, diff);
        check(s.p->config.start_threshold == std::stoul(row.want_start) &&
                  s.p->config.stop_threshold == std::stoul(row.want_stop),
              std::string("thresholds written back, ") + row.name);
    }
}

void error_texts(int card)
{
    std::string node = "/dev/snd/pcmC" + std::to_string(card);
    {
        Stream s(card, 7, PCM_OUT);
        check(!s.ready() && s.error() == "cannot open device '" + node + "D7p': No such file or directory",
              "missing node", s.error());
    }
    {
        Stream holder(card, 0, PCM_OUT);
        // A blocking open of a busy substream waits for it in the kernel;
        // only a non-blocking one is refused at once.
        Stream s(card, 0, PCM_OUT | PCM_NONBLOCK);
        check(holder.ready() && !s.ready() &&
                  s.error() == "cannot open device '" + node + "D0p': Device or resource busy",
              "busy node", s.error());

        // Once this side streams, the loopback's other side must take the
        // format it holds.
        std::vector<uint8_t> periods(2 * kPeriod * kFrame, 0);
        pcm_writei(holder.p, periods.data(), 2 * kPeriod);
        pcm_config mono16k = {1, 16000, kPeriod, 2, PCM_FORMAT_S16_LE, 0, 0, 0};
        Stream other(card, 1, PCM_IN, mono16k);
        check(!other.ready() && other.error() == "cannot set hw params: Invalid argument",
              "format other than the one held", other.error());
    }
    pcm_config slow = stereo16;
    slow.rate = 1000;
    Stream s(card, 0, PCM_OUT, slow);
    check(!s.ready() && s.error() == "cannot set hw params: Invalid argument", "rate the card refuses", s.error());
}

void underrun(int card)
{
    Stream s(card, 0, PCM_OUT);
    std::vector<uint8_t> buf(kBuffer * kFrame, 0);
    if (!s.ready()) {
        check(false, "underrun: open", s.error());
        return;
    }
    int first = pcm_writei(s.p, buf.data(), kBuffer);
    int second = pcm_writei(s.p, buf.data(), kPeriod);
    check(first == 0 && second == static_cast<int>(kPeriod), "first write 0, then the frame count",
          std::to_string(first) + ", " + std::to_string(second));
    // Three buffers' time without data: the kernel stops the stream.
    sleep_ms(3 * kBuffer * 1000 / 48000);
    std::string state = proc_value(proc_file(card, 0, false, "status"), "state");
    int after = pcm_writei(s.p, buf.data(), kPeriod);
    int next = pcm_writei(s.p, buf.data(), kPeriod);
    check(state == "XRUN" && s.p->xruns == 1 && after == 0 && next == static_cast<int>(kPeriod),
          "underrun counted and recovered",
          "state " + state + ", xruns " + std::to_string(s.p->xruns) + ", writes " + std::to_string(after) + ", " +
              std::to_string(next));
}

void overrun(int card)
{
    Stream s(card, 1, PCM_IN);
    std::vector<uint8_t> buf(kPeriod * kFrame);
    if (!s.ready()) {
        check(false, "overrun: open", s.error());
        return;
    }
    int first = pcm_readi(s.p, buf.data(), kPeriod);
    // The capture stop threshold is ten buffers: wait for more than that.
    sleep_ms(12 * kBuffer * 1000 / 48000);
    std::string state = proc_value(proc_file(card, 1, true, "status"), "state");
    int after = pcm_readi(s.p, buf.data(), kPeriod);
    check(first == static_cast<int>(kPeriod) && state == "XRUN" && s.p->xruns == 1 &&
              after == static_cast<int>(kPeriod),
          "overrun counted and recovered",
          "first " + std::to_string(first) + ", state " + state + ", xruns " + std::to_string(s.p->xruns) + ", read " +
              std::to_string(after) + (after < 0 ? ": " + s.error() : ""));
}

void nonblocking_full(int card)
{
    std::vector<uint8_t> buf(kBuffer * kFrame, 0);
    {
        // Never started (its start threshold is beyond the buffer), so the
        // buffer stays full: a blocking write would wait for good.
        pcm_config config = stereo16;
        config.start_threshold = kBuffer * 2;
        Stream s(card, 0, PCM_OUT | PCM_NONBLOCK, config);
        int fill = pcm_writei(s.p, buf.data(), kBuffer);
        auto t0 = std::chrono::steady_clock::now();
        int full = pcm_writei(s.p, buf.data(), kPeriod);
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0);
        check(s.ready() && fill == 0 && full == -1 && ms.count() < 1000 &&
                  s.error() == "cannot write stream data: Resource temporarily unavailable",
              "full non-blocking buffer answered with -1 at once",
              std::to_string(fill) + ", " + std::to_string(full) + " after " + std::to_string(ms.count()) +
                  " ms: " + s.error());
    }
    // Running with the default thresholds: writing faster than the clock
    // plays meets a full buffer soon, and that write fails at once.
    Stream s(card, 0, PCM_OUT | PCM_NONBLOCK);
    int calls = 0;
    int result = 0;
    while (calls < 1000 && (result = pcm_writei(s.p, buf.data(), kPeriod)) >= 0)
        calls++;
    check(result == -1, "running non-blocking stream meets a full buffer",
          std::to_string(calls) + " writes, then " + std::to_string(result));
}

// A stream another opener holds: a blocking open fails at once with the busy
// error instead of sleeping until the holder lets go, and the descriptor of
// a blocking stream is blocking again (its writes wait for room).
void busy_open(int card)
{
    Stream holder(card, 0, PCM_OUT);
    const int mode = holder.ready() ? fcntl(holder.p->fd, F_GETFL) : -1;
    check(holder.ready() && mode >= 0 && !(mode & O_NONBLOCK), "a blocking stream's descriptor blocks",
          holder.error() + ", flags " + std::to_string(mode));
    Stream nonblocking(card, 1, PCM_IN | PCM_NONBLOCK);
    const int nb_mode = nonblocking.ready() ? fcntl(nonblocking.p->fd, F_GETFL) : -1;
    check(nb_mode >= 0 && (nb_mode & O_NONBLOCK), "a PCM_NONBLOCK stream's descriptor does not block",
          nonblocking.error());
    for (unsigned int flags : {PCM_OUT, PCM_OUT | PCM_MMAP}) {
        auto t0 = std::chrono::steady_clock::now();
        Stream second(card, 0, flags);
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0);
        const std::string want =
            "cannot open device '/dev/snd/pcmC" + std::to_string(card) + "D0p': Device or resource busy";
        check(!second.ready() && second.error() == want && ms.count() < 1000,
              std::string("a second blocking open of a held stream fails at once") +
                  (flags & PCM_MMAP ? " (mmap)" : ""),
              second.error() + " after " + std::to_string(ms.count()) + " ms");
    }
    std::vector<uint8_t> buf(kPeriod * kFrame, 0);
    check(pcm_writei(holder.p, buf.data(), kPeriod) == 0, "the holder writes on", holder.error());
}

// How a loopback run moves frames: the access mode, and whether the kernel's
// status/control pages may be mapped.
struct Transfer {
    const char *name;
    unsigned int flags;
    bool keep_pages; // false: status/control mappings refused (as on ARM)
};

int refuse_pages_mmap(void *ctx, void **addr, size_t length, int prot, int fd, unsigned long offset)
{
    if (offset != SNDRV_PCM_MMAP_OFFSET_DATA)
        return -ENXIO;
    return pcm_system_kernel.mmap(ctx, addr, length, prot, fd, offset);
}

int put(pcm *p, bool mmap, const std::vector<uint8_t> &buf)
{
    unsigned int bytes = static_cast<unsigned int>(buf.size());
    return mmap ? pcm_mmap_write(p, buf.data(), bytes) : pcm_writei(p, buf.data(), bytes / kFrame);
}

int get(pcm *p, bool mmap, std::vector<uint8_t> &buf)
{
    unsigned int bytes = static_cast<unsigned int>(buf.size());
    return mmap ? pcm_mmap_read(p, buf.data(), bytes) : pcm_readi(p, buf.data(), bytes / kFrame);
}

void loopback(int card, const Transfer &t, unsigned int periods)
{
    pcm_kernel kernel = pcm_system_kernel;
    if (!t.keep_pages)
        kernel.mmap = refuse_pages_mmap;
    bool mmap = t.flags & PCM_MMAP;
    Stream play(&kernel, card, 0, PCM_OUT | t.flags);
    Stream rec(&kernel, card, 1, PCM_IN | t.flags);
    if (!play.ready() || !rec.ready()) {
        check(false, std::string("loopback ") + t.name + ": open", play.error() + " / " + rec.error());
        return;
    }
    // Only some architectures (x86 among them) map the status/control pages;
    // elsewhere (ARM) the stream asked for them runs over SYNC_PTR: the name
    // says which path ran.
    std::string name = t.name;
    if (mmap && t.keep_pages && !play.p->pages_mapped)
        name = "mmap (status/control pages refused by the kernel: SYNC_PTR)";
    std::vector<uint8_t> start(kBuffer * kFrame), out(kPeriod * kFrame), in(kPeriod * kFrame), got;
    // A full buffer up front (the stream starts half-way through it); then
    // one period is read and one written, so the playback keeps a margin of
    // three to four periods against the emulator's pauses. Frame 0 would
    // look like silence: numbering starts at 1.
    fill(start, 1);
    uint32_t next = 1 + kBuffer;
    bool ok = put(play.p, mmap, start) >= 0;
    for (unsigned int i = 0; i < periods && ok; i++) {
        ok = get(rec.p, mmap, in) >= 0;
        got.insert(got.end(), in.begin(), in.end());
        fill(out, next);
        next += kPeriod;
        ok = ok && put(play.p, mmap, out) >= 0;
    }
    if (!ok) {
        check(false, "loopback " + name, play.error() + " / " + rec.error());
        return;
    }
    // From the first period on, every frame must follow its predecessor.
    size_t frames = got.size() / kFrame, bad = 0, first_bad = 0;
    uint32_t base = frame_at(got, kPeriod);
    for (size_t i = kPeriod; i < frames; i++) {
        if (frame_at(got, i) != base + (i - kPeriod) && bad++ == 0)
            first_bad = i;
    }
    check(base != 0 && bad == 0 && play.p->xruns == 0 && rec.p->xruns == 0,
          "loopback " + name + " intact after the first period",
          std::to_string(frames - kPeriod) + " frames checked from #" + std::to_string(base) + ", " +
              std::to_string(bad) + " wrong" + (bad ? " from index " + std::to_string(first_bad) : "") + ", xruns " +
              std::to_string(play.p->xruns) + "/" + std::to_string(rec.p->xruns));
    if (mmap)
        std::printf("INFO: loopback %s: status/control pages %s\n", name.c_str(),
                    play.p->pages_mapped ? "mapped" : "not mapped (SYNC_PTR)");
}

int run_clock(const std::string &id)
{
    int card = find_card(id);
    Stream s(card, 0, PCM_OUT);
    if (card < 0 || !s.ready()) {
        std::fprintf(stderr, "clock on '%s': %s\n", id.c_str(), card < 0 ? "no such card" : s.error().c_str());
        return 1;
    }
    std::vector<uint8_t> silence(kPeriod * kFrame, 0);
    while (pcm_writei(s.p, silence.data(), kPeriod) >= 0)
        ;
    std::fprintf(stderr, "clock on '%s' stopped: %s\n", id.c_str(), s.error().c_str());
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && std::string(argv[1]) == "--help") {
        std::printf("usage: alsa_kernel_check [--no-loopback] [CARD_ID]\n"
                    "       alsa_kernel_check --clock CARD_ID\n"
                    "Checks our tinyalsa on the loopback card CARD_ID (default UAC1Gadget); prints\n"
                    "PASS/FAIL lines, exits 0 when all passed. --no-loopback leaves out the timed\n"
                    "loopback transfers. --clock plays silence on CARD_ID until killed.\n");
        return 0;
    }
    if (argc == 3 && std::string(argv[1]) == "--clock")
        return run_clock(argv[2]);
    const bool with_loopback = !(argc > 1 && std::string(argv[1]) == "--no-loopback");
    if (!with_loopback) {
        argc--;
        argv++;
    }
    std::string id = argc > 1 ? argv[1] : "UAC1Gadget";
    int card = find_card(id);
    if (card < 0) {
        std::printf("FAIL: no card '%s' in /proc/asound/cards\n", id.c_str());
        return 1;
    }
    // Whatever hangs, the run ends.
    alarm(300);
    std::printf("INFO: card '%s' is card %d\n", id.c_str(), card);
    open_close(card);
    proc_params(card);
    error_texts(card);
    underrun(card);
    overrun(card);
    nonblocking_full(card);
    busy_open(card);
    const Transfer transfers[] = {
        {"rw", 0, true},
        {"mmap (status/control pages)", PCM_MMAP, true},
        {"mmap (SYNC_PTR)", PCM_MMAP, false},
    };
    for (const Transfer &t : transfers)
        if (with_loopback)
            loopback(card, t, 2 * 48000 / kPeriod);
    std::printf("SUMMARY: pass=%d fail=%d\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
