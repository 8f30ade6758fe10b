/* Transfers through the mapped ring buffer. */
#include "pcm_internal.h"

#include <errno.h>
#include <poll.h>
#include <string.h>

/* The kernel gives up on a stalled stream after ten seconds; so do we. */
#define STALL_MS 10000

static int is_capture(const struct pcm *pcm)
{
    return (pcm->flags & PCM_IN) != 0;
}

static int ioctl0(struct pcm *pcm, unsigned long request)
{
    return pcm->kernel->ioctl(pcm->kernel->ctx, pcm->fd, request, NULL);
}

/* States in which no transfer can go on, as the error a caller sees. */
static int state_error(const struct pcm *pcm)
{
    switch (pcm->status->state) {
    case SNDRV_PCM_STATE_XRUN:
        return -EPIPE;
    case SNDRV_PCM_STATE_SUSPENDED:
        return -ESTRPIPE;
    case SNDRV_PCM_STATE_DISCONNECTED:
        return -ENODEV;
    case SNDRV_PCM_STATE_OPEN:
    case SNDRV_PCM_STATE_SETUP:
        return -EBADFD;
    default:
        return 0;
    }
}

/* Brings a stream that was only set up (or stopped) to a state that moves data. */
static int begin(struct pcm *pcm)
{
    int err;
    /* A suspend the driver could not resume from was reported by the call
     * that met it; this call starts the stream afresh. */
    if (pcm->needs_prepare) {
        err = pcm_prepare(pcm);
        if (err < 0)
            return err;
        pcm->needs_prepare = 0;
    }
    err = pcm_sync(pcm, 0);
    if (err < 0)
        return err;
    snd_pcm_state_t state = pcm->status->state;
    if (state == SNDRV_PCM_STATE_XRUN)
        return -EPIPE;
    if (state == SNDRV_PCM_STATE_SUSPENDED) {
        /* The system slept between two calls: go on where the stream
         * stood, or report it once. */
        if (pcm_resume(pcm) < 0)
            return -ESTRPIPE;
        state = pcm->status->state;
    }
    if (state == SNDRV_PCM_STATE_SETUP) {
        err = pcm_prepare(pcm);
        if (err < 0)
            return err;
        state = SNDRV_PCM_STATE_PREPARED;
    }
    /* Capture has nothing to deliver until it runs. */
    if (is_capture(pcm) && state == SNDRV_PCM_STATE_PREPARED)
        return ioctl0(pcm, SNDRV_PCM_IOCTL_START);
    return 0;
}

static unsigned int playback_threshold(const struct pcm *pcm)
{
    unsigned int threshold = pcm->config.start_threshold;
    /* A threshold beyond the buffer could never be met: start when full. */
    return threshold > pcm->buffer_size ? pcm->buffer_size : threshold;
}

static int start_if_due(struct pcm *pcm)
{
    if (is_capture(pcm) || pcm->status->state != SNDRV_PCM_STATE_PREPARED)
        return 0;
    snd_pcm_sframes_t queued = (snd_pcm_sframes_t)pcm->buffer_size - pcm_mmap_avail(pcm);
    if (queued < (snd_pcm_sframes_t)playback_threshold(pcm))
        return 0;
    return ioctl0(pcm, SNDRV_PCM_IOCTL_START);
}

static int wait_timeout_ms(const struct pcm *pcm)
{
    /* Without period interrupts nothing wakes us: look again each period. */
    if ((pcm->flags & PCM_NOIRQ) && pcm->config.rate != 0)
        return (int)(pcm->config.period_size * 1000ull / pcm->config.rate) + 1;
    return STALL_MS;
}

/* Waits until the kernel has room or data; 0, or the negated errno. A
 * non-blocking stream never waits (its block was found to fit whole before
 * anything was copied). */
static int wait_avail(struct pcm *pcm)
{
    if (pcm->flags & PCM_NONBLOCK)
        return -EAGAIN;
    short revents = 0;
    int n = pcm->kernel->poll(pcm->kernel->ctx, pcm->fd, is_capture(pcm) ? POLLIN : POLLOUT, wait_timeout_ms(pcm),
                              &revents);
    if (n < 0)
        return n;
    if (n == 0)
        return (pcm->flags & PCM_NOIRQ) ? 0 : -EIO;
    if (revents & (POLLERR | POLLNVAL | POLLHUP)) {
        int err = pcm_sync(pcm, 0);
        if (err < 0)
            return err;
        err = state_error(pcm);
        return err < 0 ? err : -EIO;
    }
    return 0;
}

/* Copies n frames between buf and the ring at appl_ptr, in contiguous
 * pieces, and advances appl_ptr (wrapping at the boundary). */
static void copy_frames(struct pcm *pcm, char *buf, snd_pcm_uframes_t n)
{
    size_t frame = pcm_frames_to_bytes(pcm, 1);
    while (n > 0) {
        snd_pcm_uframes_t appl = pcm->control->appl_ptr;
        snd_pcm_uframes_t offset = appl % pcm->buffer_size;
        snd_pcm_uframes_t piece = pcm->buffer_size - offset < n ? pcm->buffer_size - offset : n;
        char *ring = (char *)pcm->area + offset * frame;
        /* The kernel's hw_ptr was read before the data, and the data must
         * land before the kernel can see the new appl_ptr. */
        __atomic_thread_fence(__ATOMIC_SEQ_CST);
        if (is_capture(pcm))
            memcpy(buf, ring, piece * frame);
        else
            memcpy(ring, buf, piece * frame);
        __atomic_thread_fence(__ATOMIC_SEQ_CST);
        appl += piece;
        pcm->control->appl_ptr = appl >= pcm->boundary ? appl - pcm->boundary : appl;
        buf += piece * frame;
        n -= piece;
    }
}

/* The hardware pointer brought up to date, then the stream's state as the
 * error a transfer reports (0 while it can go on). */
static int hwsync_state(struct pcm *pcm)
{
    int err = pcm_sync(pcm, SNDRV_PCM_SYNC_PTR_HWSYNC);
    return err < 0 ? err : state_error(pcm);
}

/* One step: as many frames as the ring allows now; the count or -errno. */
static snd_pcm_sframes_t step(struct pcm *pcm, char *buf, snd_pcm_uframes_t want)
{
    int err = hwsync_state(pcm);
    if (err < 0)
        return err;
    snd_pcm_sframes_t avail = pcm_mmap_avail(pcm);
    if (avail <= 0) {
        /* A full buffer that has not started yet would wait forever. */
        err = start_if_due(pcm);
        return err < 0 ? err : wait_avail(pcm);
    }
    /* A stop threshold beyond the buffer lets avail exceed it; the ring
     * still holds one buffer at most. */
    snd_pcm_uframes_t n = (snd_pcm_uframes_t)avail;
    if (n > pcm->buffer_size)
        n = pcm->buffer_size;
    if (n > want)
        n = want;
    copy_frames(pcm, buf, n);
    err = pcm_sync(pcm, 0);
    if (err == 0)
        err = start_if_due(pcm);
    return err < 0 ? err : (snd_pcm_sframes_t)n;
}

/* An xrun is reported once; the stream is prepared for the next call. So is
 * a suspend the driver could not resume from. With PCM_NORESTART the xrun
 * leaves the stream stopped, as pcm_writei does, until the next call
 * prepares it: this subset has no pcm_prepare for the caller to do it. */
static int fail(struct pcm *pcm, int err)
{
    if (err == -EPIPE) {
        pcm->xruns++;
        if (pcm->flags & PCM_NORESTART)
            pcm->needs_prepare = 1;
        else
            pcm_prepare(pcm);
    } else if (err == -ESTRPIPE) {
        pcm->needs_prepare = 1;
    }
    pcm_set_error(pcm, err, is_capture(pcm) ? "cannot read stream data" : "cannot write stream data");
    return err;
}

/*
 * A non-blocking stream moves a block whole or not at all: when the ring
 * lacks room (or data) for all of it, nothing is copied and the call fails
 * with -EAGAIN, so the caller can offer the same block again. A block
 * larger than the ring could never move at once and is refused.
 */
static int whole_block_ready(struct pcm *pcm, snd_pcm_uframes_t frames)
{
    int err = hwsync_state(pcm);
    if (err < 0)
        return err;
    snd_pcm_sframes_t avail = pcm_mmap_avail(pcm);
    if ((snd_pcm_uframes_t)avail >= frames)
        return 0;
    /* Playback that has not started yet starts now: whole blocks may never
     * reach its start threshold, and only a running ring drains. */
    if (!is_capture(pcm) && pcm->status->state == SNDRV_PCM_STATE_PREPARED &&
        avail < (snd_pcm_sframes_t)pcm->buffer_size) {
        err = ioctl0(pcm, SNDRV_PCM_IOCTL_START);
        if (err < 0)
            return err;
    }
    return -EAGAIN;
}

static int transfer(struct pcm *pcm, char *buf, unsigned int count)
{
    snd_pcm_uframes_t left = pcm_bytes_to_frames(pcm, count);
    size_t frame = pcm_frames_to_bytes(pcm, 1);
    int nonblock = (pcm->flags & PCM_NONBLOCK) != 0;
    if (nonblock && left > pcm->buffer_size) {
        pcm_set_error(pcm, EINVAL, "cannot move %lu frames at once through a ring of %u frames", (unsigned long)left,
                      pcm->buffer_size);
        return -EINVAL;
    }
    int err = begin(pcm);
    if (err == 0 && nonblock && left > 0)
        err = whole_block_ready(pcm, left);
    if (err < 0)
        return fail(pcm, err);
    while (left > 0) {
        snd_pcm_sframes_t n = step(pcm, buf, left);
        /* Suspended while waiting: where the driver can, go on from where
         * the stream stood. */
        if (n == -ESTRPIPE && pcm_resume(pcm) == 0)
            continue;
        if (n < 0)
            return fail(pcm, (int)n);
        buf += (size_t)n * frame;
        left -= (snd_pcm_uframes_t)n;
    }
    return 0;
}

int pcm_mmap_write(struct pcm *pcm, const void *data, unsigned int count)
{
    if (pcm == NULL || !(pcm->flags & PCM_MMAP))
        return -ENOSYS;
    if (pcm->flags & PCM_IN)
        return -EINVAL;
    if (!pcm_is_ready(pcm))
        return -EBADF;
    /* The data is only read: the shared copy loop takes it without const. */
    return transfer(pcm, (char *)data, count);
}

int pcm_mmap_read(struct pcm *pcm, void *data, unsigned int count)
{
    if (pcm == NULL || !(pcm->flags & PCM_MMAP) || !(pcm->flags & PCM_IN))
        return -ENOSYS;
    if (!pcm_is_ready(pcm))
        return -EBADF;
    return transfer(pcm, data, count);
}
