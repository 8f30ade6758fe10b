/* Interleaved read and write through the kernel's transfer ioctls. */
#include "pcm_internal.h"

#include <errno.h>
#include <string.h>

/* The transfer record has one buffer pointer for both directions; the
 * kernel only reads it for a write, so callers may pass const data. */
static int transfer(struct pcm *pcm, unsigned long request, void *data, unsigned int frames, snd_pcm_sframes_t *done)
{
    struct snd_xferi x = {.result = 0, .buf = data, .frames = frames};
    int err = pcm->kernel->ioctl(pcm->kernel->ctx, pcm->fd, request, &x);
    *done = x.result;
    return err;
}

static int start(struct pcm *pcm)
{
    return pcm->kernel->ioctl(pcm->kernel->ctx, pcm->fd, SNDRV_PCM_IOCTL_START, NULL);
}

/* What both transfers check first: an open stream of their direction. */
static int usable_for(const struct pcm *pcm, int capture)
{
    if (pcm == NULL || ((pcm->flags & PCM_IN) != 0) != capture)
        return -EINVAL;
    return pcm_is_ready(pcm) ? 0 : -EBADF;
}

static int prepare_or_report(struct pcm *pcm)
{
    int err = pcm_prepare(pcm);
    if (err < 0)
        pcm_set_error(pcm, err, "cannot prepare channel");
    return err;
}

/* The kernel stopped the stream (underrun or overrun): count it; the next
 * pass prepares afresh. */
static void note_xrun(struct pcm *pcm)
{
    pcm->xruns++;
    pcm->running = 0;
}

/*
 * A suspended stream (the system went to sleep under it): resumed where it
 * stood when the driver can, and the caller's transfer goes on. Otherwise
 * the failure is reported and the next transfer prepares the stream again.
 */
static int resumed(struct pcm *pcm)
{
    if (pcm_resume(pcm) == 0)
        return 1;
    pcm->running = 0;
    return 0;
}

/* The kernel's state of the stream, or -1 when it cannot be read (a
 * SYNC_PTR that publishes nothing: it only reads the status back). */
static int kernel_state(struct pcm *pcm)
{
    struct snd_pcm_sync_ptr sync;
    memset(&sync, 0, sizeof(sync));
    sync.flags = SNDRV_PCM_SYNC_PTR_APPL | SNDRV_PCM_SYNC_PTR_AVAIL_MIN;
    if (pcm->kernel->ioctl(pcm->kernel->ctx, pcm->fd, SNDRV_PCM_IOCTL_SYNC_PTR, &sync) < 0)
        return -1;
    return (int)sync.s.status.state;
}

/* After a failure the stream is left as it is when nothing happened to it:
 * no room or data on a non-blocking stream, a signal, or a wait that timed
 * out on a stream that still runs (preparing it would drop what it holds).
 * A stream the kernel stopped is prepared again on the next transfer. */
static void after_failure(struct pcm *pcm, int err)
{
    if (err == -EAGAIN || err == -EINTR)
        return;
    int state = kernel_state(pcm);
    if (state != SNDRV_PCM_STATE_RUNNING && state != SNDRV_PCM_STATE_PREPARED && state != SNDRV_PCM_STATE_PAUSED)
        pcm->running = 0;
}

/*
 * One write of at most frame_count frames, with the underrun and suspend
 * handling of pcm_writei. Returns 0 for a write to the running stream, 1
 * for the write that followed its preparation, or -1 (-EPIPE with
 * PCM_NORESTART); *done receives the frames the kernel took either way.
 */
static int write_frames(struct pcm *pcm, const void *data, unsigned int frame_count, snd_pcm_sframes_t *done)
{
    *done = 0;
    for (;;) {
        int err;
        if (!pcm->running) {
            if (prepare_or_report(pcm) < 0)
                return -1;
            err = transfer(pcm, SNDRV_PCM_IOCTL_WRITEI_FRAMES, (void *)data, frame_count, done);
            if (err == 0) {
                pcm->running = 1;
                return 1;
            }
            /* Of the first write's failures only an underrun is retried. */
            *done = 0;
            if (err != -EPIPE) {
                pcm_set_error(pcm, err, "cannot write initial data");
                return -1;
            }
        } else {
            err = transfer(pcm, SNDRV_PCM_IOCTL_WRITEI_FRAMES, (void *)data, frame_count, done);
            if (err == 0)
                return 0;
            *done = 0;
        }
        if (err == -EPIPE) {
            /* Underrun: unless the caller restarts the stream itself. */
            note_xrun(pcm);
            if (pcm->flags & PCM_NORESTART)
                return -EPIPE;
            continue;
        }
        if (err == -ESTRPIPE && resumed(pcm))
            continue;
        after_failure(pcm, err);
        pcm_set_error(pcm, err, "cannot write stream data");
        return -1;
    }
}

/* One read of at most frame_count frames, with the overrun and suspend
 * handling of pcm_readi; the frames read, or -1. */
static int read_frames(struct pcm *pcm, void *data, unsigned int frame_count)
{
    snd_pcm_sframes_t done = 0;
    for (;;) {
        int err;
        if (!pcm->running) {
            if (prepare_or_report(pcm) < 0)
                return -1;
            err = start(pcm);
            if (err < 0) {
                pcm_set_error(pcm, err, "cannot start channel");
                return -1;
            }
            pcm->running = 1;
        }
        err = transfer(pcm, SNDRV_PCM_IOCTL_READI_FRAMES, data, frame_count, &done);
        if (err == 0)
            return (int)done;
        if (err == -EPIPE) {
            /* Overrun: prepared and started again on the next pass. */
            note_xrun(pcm);
            continue;
        }
        if (err == -ESTRPIPE && resumed(pcm))
            continue;
        after_failure(pcm, err);
        pcm_set_error(pcm, err, "cannot read stream data");
        return -1;
    }
}

int pcm_writei(struct pcm *pcm, const void *data, unsigned int frame_count)
{
    int usable = usable_for(pcm, 0);
    if (usable < 0)
        return usable;
    snd_pcm_sframes_t done;
    int err = write_frames(pcm, data, frame_count, &done);
    if (err < 0)
        return err;
    /* Callers of this line see 0 for the write that follows preparation,
     * whatever the kernel took. */
    return err == 1 ? 0 : (int)done;
}

int pcm_readi(struct pcm *pcm, void *data, unsigned int frame_count)
{
    int usable = usable_for(pcm, 1);
    if (usable < 0)
        return usable;
    return read_frames(pcm, data, frame_count);
}

/*
 * The byte-counted calls of the line: the whole of count as whole frames,
 * 0 once all of it moved, or the negative result of the failing step. A
 * short transfer (a signal, or a non-blocking stream filling up) goes on
 * with the rest, so 0 always means everything.
 */
int pcm_write(struct pcm *pcm, const void *data, unsigned int count)
{
    int usable = usable_for(pcm, 0);
    if (usable < 0)
        return usable;
    const char *bytes = data;
    unsigned int left = pcm_bytes_to_frames(pcm, count);
    while (left > 0) {
        snd_pcm_sframes_t done;
        int err = write_frames(pcm, bytes, left, &done);
        if (err < 0)
            return err;
        if (done <= 0) {
            pcm_set_error(pcm, EIO, "cannot write stream data");
            return -EIO;
        }
        bytes += pcm_frames_to_bytes(pcm, (unsigned int)done);
        left -= (unsigned int)done;
    }
    return 0;
}

int pcm_read(struct pcm *pcm, void *data, unsigned int count)
{
    int usable = usable_for(pcm, 1);
    if (usable < 0)
        return usable;
    char *bytes = data;
    unsigned int left = pcm_bytes_to_frames(pcm, count);
    while (left > 0) {
        int got = read_frames(pcm, bytes, left);
        if (got < 0)
            return got;
        if (got == 0) {
            pcm_set_error(pcm, EIO, "cannot read stream data");
            return -EIO;
        }
        bytes += pcm_frames_to_bytes(pcm, (unsigned int)got);
        left -= (unsigned int)got;
    }
    return 0;
}
