// A scripted stand-in for the kernel's PCM interface, behind the library's
// system-call table: it records what the library asks, answers with scripted
// errors, and plays a small PCM device (pointers, states, a ring buffer that
// a simulated clock drains or fills whenever the library waits).
#pragma once

#include "pcm_internal.h"

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

class FakeKernel {
public:
    FakeKernel();
    const pcm_kernel *table() const { return &table_; }

    // Scripted answers: the next calls of `request` fail with these negated
    // errnos, one per call, then succeed.
    void fail_next(unsigned long request, int err) { errors_[request].push_back(err); }
    int open_error = 0;
    // Another process holds the stream: a non-blocking open fails with
    // EBUSY, a blocking one would sleep until it is let go (here it fails
    // with EINTR and is recorded, so a test can tell).
    bool busy = false;
    bool slept_in_open = false;
    int set_blocking_error = 0;
    // RESUME of a suspended stream: this error (for example -ENOSYS, a
    // driver that cannot resume), or 0 to bring back the state it had.
    int resume_error = 0;
    snd_pcm_state_t suspended_from = SNDRV_PCM_STATE_RUNNING;
    int data_mmap_error = 0;
    bool pages_allowed = true; // status/control mappings (x86) or ENXIO (ARM)
    bool fail_alloc = false;
    // The driver settles on this period size (0: the requested minimum).
    unsigned int driver_period = 0;
    // Written back by SW_PARAMS instead of the library's boundary when set.
    snd_pcm_uframes_t boundary_override = 0;
    // Where PREPARE puts both pointers: a stream that has run for hours
    // stands close to the boundary (the real kernel restarts them near 0).
    snd_pcm_uframes_t prepare_at = 0;
    // Frames one WRITEI/READI takes (0: all of them).
    snd_pcm_uframes_t xfer_limit = 0;
    // Polls time out: the device's clock has stopped.
    bool stalled = false;
    // The next poll reports an error with the stream in this state.
    snd_pcm_state_t poll_error_state = -1;

    // What the library did.
    std::string opened_path;
    int opened_flags = 0;
    int fd_flags = 0; // the descriptor's flags now (O_NONBLOCK cleared or not)
    std::vector<int> closed;
    std::vector<unsigned long> calls;
    snd_pcm_hw_params hw{};
    snd_pcm_sw_params sw{};
    int tstamp_type = -1;
    size_t mapped = 0; // mappings currently alive
    unsigned int polls = 0;
    unsigned int starts_at_appl = 0; // queued frames when START came

    unsigned int count(unsigned long request) const;
    // Runs the device's clock until playback has taken every queued frame.
    void drain();
    // One period of the device's clock passes (as while a caller sleeps).
    void advance() { tick(); }
    // The system suspends: the stream keeps its pointers, transfers fail
    // with ESTRPIPE until it is resumed or prepared.
    void suspend();

    // The simulated device.
    snd_pcm_mmap_status status{};
    snd_pcm_mmap_control control{};
    snd_pcm_uframes_t boundary = 0;
    unsigned int frame_bytes = 0;
    std::vector<uint8_t> ring;
    std::vector<uint8_t> played;  // frames the clock took from the ring
    uint32_t capture_counter = 0; // next sample value the clock records

    static constexpr int fd = 7;

private:
    pcm_kernel table_;
    std::map<unsigned long, std::deque<int>> errors_;

    int scripted(unsigned long request);
    int ioctl(unsigned long request, void *arg);
    int hw_params(snd_pcm_hw_params *p);
    int sw_params(snd_pcm_sw_params *p);
    int sync_ptr(snd_pcm_sync_ptr *s);
    int hwsync();
    int poll(short events, short *revents);
    int mmap(void **addr, size_t length, unsigned long offset);
    void tick();
    snd_pcm_uframes_t buffer() const;
    snd_pcm_uframes_t queued() const;

    static int t_open(void *, const char *, int);
    static int t_set_blocking(void *, int);
    static int t_close(void *, int);
    static int t_ioctl(void *, int, unsigned long, void *);
    static int t_mmap(void *, void **, size_t, int, int, unsigned long);
    static int t_munmap(void *, void *, size_t);
    static int t_poll(void *, int, short, int, short *);
    static void *t_alloc(void *, size_t);
    static void t_release(void *, void *);
};
