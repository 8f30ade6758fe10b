/* Interleaved read and write through the kernel's transfer ioctls. */
#include "pcm_internal.h"

#include <errno.h>

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

int pcm_writei(struct pcm *pcm, const void *data, unsigned int frame_count)
{
    int usable = usable_for(pcm, 0);
    if (usable < 0)
        return usable;
    snd_pcm_sframes_t done = 0;
    for (;;) {
        int err;
        if (!pcm->running) {
            if (prepare_or_report(pcm) < 0)
                return -1;
            err = transfer(pcm, SNDRV_PCM_IOCTL_WRITEI_FRAMES, (void *)data, frame_count, &done);
            if (err == 0) {
                /* Callers of this line see 0 for the write that follows
                 * preparation, whatever the kernel took. */
                pcm->running = 1;
                return 0;
            }
        } else {
            err = transfer(pcm, SNDRV_PCM_IOCTL_WRITEI_FRAMES, (void *)data, frame_count, &done);
            if (err == 0)
                return (int)done;
        }
        if (err != -EPIPE) {
            pcm_set_error(pcm, err, "cannot write stream data");
            return -1;
        }
        /* Underrun: unless the caller restarts the stream itself. */
        note_xrun(pcm);
        if (pcm->flags & PCM_NORESTART)
            return -EPIPE;
    }
}

int pcm_readi(struct pcm *pcm, void *data, unsigned int frame_count)
{
    int usable = usable_for(pcm, 1);
    if (usable < 0)
        return usable;
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
        if (err != -EPIPE) {
            pcm_set_error(pcm, err, "cannot read stream data");
            return -1;
        }
        /* Overrun: prepared and started again on the next pass. */
        note_xrun(pcm);
    }
}
