#include "fake_kernel.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>

FakeKernel::FakeKernel()
    : table_{this, t_open, t_set_blocking, t_close, t_ioctl, t_mmap, t_munmap, t_poll, t_alloc, t_release}
{
    status.state = SNDRV_PCM_STATE_OPEN;
}

unsigned int FakeKernel::count(unsigned long request) const
{
    return static_cast<unsigned int>(std::count(calls.begin(), calls.end(), request));
}

int FakeKernel::scripted(unsigned long request)
{
    auto it = errors_.find(request);
    if (it == errors_.end() || it->second.empty())
        return 0;
    int err = it->second.front();
    it->second.pop_front();
    return err;
}

snd_pcm_uframes_t FakeKernel::buffer() const
{
    const snd_interval &period = hw.intervals[SNDRV_PCM_HW_PARAM_PERIOD_SIZE - SNDRV_PCM_HW_PARAM_FIRST_INTERVAL];
    const snd_interval &periods = hw.intervals[SNDRV_PCM_HW_PARAM_PERIODS - SNDRV_PCM_HW_PARAM_FIRST_INTERVAL];
    return snd_pcm_uframes_t{period.min} * periods.min;
}

// Frames written but not yet played (playback), or recorded but not yet read.
snd_pcm_uframes_t FakeKernel::queued() const
{
    snd_pcm_uframes_t a = control.appl_ptr, h = status.hw_ptr;
    bool capture = opened_path.back() == 'c';
    snd_pcm_uframes_t from = capture ? a : h, to = capture ? h : a;
    return to >= from ? to - from : to + boundary - from;
}

int FakeKernel::hw_params(snd_pcm_hw_params *p)
{
    if (driver_period != 0) {
        snd_interval &period = p->intervals[SNDRV_PCM_HW_PARAM_PERIOD_SIZE - SNDRV_PCM_HW_PARAM_FIRST_INTERVAL];
        period.min = period.max = driver_period;
    }
    hw = *p;
    frame_bytes = p->intervals[SNDRV_PCM_HW_PARAM_FRAME_BITS - SNDRV_PCM_HW_PARAM_FIRST_INTERVAL].min / 8;
    status.state = SNDRV_PCM_STATE_SETUP;
    return 0;
}

int FakeKernel::sw_params(snd_pcm_sw_params *p)
{
    if (boundary_override != 0)
        p->boundary = boundary_override;
    boundary = p->boundary;
    sw = *p;
    return 0;
}

int FakeKernel::hwsync()
{
    if (status.state == SNDRV_PCM_STATE_XRUN)
        return -EPIPE;
    if (status.state == SNDRV_PCM_STATE_SUSPENDED)
        return -ESTRPIPE;
    if (status.state == SNDRV_PCM_STATE_SETUP || status.state == SNDRV_PCM_STATE_OPEN)
        return -EBADFD;
    return 0;
}

int FakeKernel::sync_ptr(snd_pcm_sync_ptr *s)
{
    if (s->flags & SNDRV_PCM_SYNC_PTR_HWSYNC) {
        int err = hwsync();
        if (err < 0)
            return err;
    }
    if (s->flags & SNDRV_PCM_SYNC_PTR_APPL)
        s->c.control.appl_ptr = control.appl_ptr;
    else
        control.appl_ptr = s->c.control.appl_ptr;
    if (s->flags & SNDRV_PCM_SYNC_PTR_AVAIL_MIN)
        s->c.control.avail_min = control.avail_min;
    else
        control.avail_min = s->c.control.avail_min;
    s->s.status = status;
    return 0;
}

int FakeKernel::ioctl(unsigned long request, void *arg)
{
    calls.push_back(request);
    if (int err = scripted(request))
        return err;
    switch (request) {
    case SNDRV_PCM_IOCTL_HW_PARAMS:
        return hw_params(static_cast<snd_pcm_hw_params *>(arg));
    case SNDRV_PCM_IOCTL_SW_PARAMS:
        return sw_params(static_cast<snd_pcm_sw_params *>(arg));
    case SNDRV_PCM_IOCTL_TTSTAMP:
        tstamp_type = *static_cast<int *>(arg);
        return 0;
    case SNDRV_PCM_IOCTL_SYNC_PTR:
        return sync_ptr(static_cast<snd_pcm_sync_ptr *>(arg));
    case SNDRV_PCM_IOCTL_HWSYNC:
        return hwsync();
    case SNDRV_PCM_IOCTL_PREPARE:
        status.state = SNDRV_PCM_STATE_PREPARED;
        status.hw_ptr = control.appl_ptr = prepare_at;
        return 0;
    case SNDRV_PCM_IOCTL_START:
        if (status.state != SNDRV_PCM_STATE_PREPARED)
            return -EBADFD;
        status.state = SNDRV_PCM_STATE_RUNNING;
        starts_at_appl = static_cast<unsigned int>(queued());
        return 0;
    case SNDRV_PCM_IOCTL_DROP:
        status.state = SNDRV_PCM_STATE_SETUP;
        return 0;
    case SNDRV_PCM_IOCTL_RESUME:
        if (status.state != SNDRV_PCM_STATE_SUSPENDED)
            return -EBADFD;
        if (resume_error != 0)
            return resume_error;
        status.state = suspended_from;
        return 0;
    case SNDRV_PCM_IOCTL_WRITEI_FRAMES:
    case SNDRV_PCM_IOCTL_READI_FRAMES: {
        if (status.state == SNDRV_PCM_STATE_SUSPENDED)
            return -ESTRPIPE;
        auto *x = static_cast<snd_xferi *>(arg);
        x->result = static_cast<snd_pcm_sframes_t>(xfer_limit != 0 ? std::min(xfer_limit, x->frames) : x->frames);
        return 0;
    }
    default:
        return 0;
    }
}

// One period of the device's clock: playback takes queued frames from the
// ring, capture records counter frames into it.
void FakeKernel::tick()
{
    if (status.state != SNDRV_PCM_STATE_RUNNING)
        return;
    bool capture = opened_path.back() == 'c';
    snd_pcm_uframes_t period = hw.intervals[SNDRV_PCM_HW_PARAM_PERIOD_SIZE - SNDRV_PCM_HW_PARAM_FIRST_INTERVAL].min;
    snd_pcm_uframes_t n = capture ? period : std::min(period, queued());
    for (snd_pcm_uframes_t i = 0; i < n; i++) {
        uint8_t *frame = &ring[(status.hw_ptr % buffer()) * frame_bytes];
        if (capture) {
            std::memset(frame, 0, frame_bytes);
            std::memcpy(frame, &capture_counter, std::min<size_t>(frame_bytes, sizeof(capture_counter)));
            capture_counter++;
        } else {
            played.insert(played.end(), frame, frame + frame_bytes);
        }
        status.hw_ptr = (status.hw_ptr + 1) % boundary;
    }
}

void FakeKernel::suspend()
{
    suspended_from = status.state;
    status.state = SNDRV_PCM_STATE_SUSPENDED;
}

void FakeKernel::drain()
{
    while (status.state == SNDRV_PCM_STATE_RUNNING && queued() > 0)
        tick();
}

int FakeKernel::poll(short events, short *revents)
{
    polls++;
    if (poll_error_state >= 0) {
        status.state = poll_error_state;
        poll_error_state = -1;
        *revents = POLLERR;
        return 1;
    }
    if (stalled || status.state != SNDRV_PCM_STATE_RUNNING)
        return 0;
    tick();
    *revents = events;
    return 1;
}

int FakeKernel::mmap(void **addr, size_t length, unsigned long offset)
{
    if (offset == SNDRV_PCM_MMAP_OFFSET_DATA) {
        if (data_mmap_error != 0)
            return data_mmap_error;
        ring.assign(length, 0);
        *addr = ring.data();
    } else if (!pages_allowed) {
        return -ENXIO;
    } else if (offset == SNDRV_PCM_MMAP_OFFSET_STATUS) {
        *addr = &status;
    } else if (offset == SNDRV_PCM_MMAP_OFFSET_CONTROL) {
        *addr = &control;
    } else {
        return -EINVAL;
    }
    mapped++;
    return 0;
}

int FakeKernel::t_open(void *ctx, const char *path, int flags)
{
    auto *k = static_cast<FakeKernel *>(ctx);
    k->opened_path = path;
    k->opened_flags = flags;
    k->fd_flags = flags;
    if (k->busy && !(flags & O_NONBLOCK)) {
        k->slept_in_open = true;
        return -EINTR;
    }
    if (k->busy)
        return -EBUSY;
    return k->open_error != 0 ? k->open_error : fd;
}

int FakeKernel::t_set_blocking(void *ctx, int)
{
    auto *k = static_cast<FakeKernel *>(ctx);
    if (k->set_blocking_error != 0)
        return k->set_blocking_error;
    k->fd_flags &= ~O_NONBLOCK;
    return 0;
}

int FakeKernel::t_close(void *ctx, int fd)
{
    static_cast<FakeKernel *>(ctx)->closed.push_back(fd);
    return 0;
}

int FakeKernel::t_ioctl(void *ctx, int, unsigned long request, void *arg)
{
    return static_cast<FakeKernel *>(ctx)->ioctl(request, arg);
}

int FakeKernel::t_mmap(void *ctx, void **addr, size_t length, int, int, unsigned long offset)
{
    return static_cast<FakeKernel *>(ctx)->mmap(addr, length, offset);
}

int FakeKernel::t_munmap(void *ctx, void *, size_t)
{
    static_cast<FakeKernel *>(ctx)->mapped--;
    return 0;
}

int FakeKernel::t_poll(void *ctx, int, short events, int, short *revents)
{
    return static_cast<FakeKernel *>(ctx)->poll(events, revents);
}

void *FakeKernel::t_alloc(void *ctx, size_t size)
{
    return static_cast<FakeKernel *>(ctx)->fail_alloc ? nullptr : std::calloc(1, size);
}

void FakeKernel::t_release(void *, void *ptr)
{
    std::free(ptr);
}
