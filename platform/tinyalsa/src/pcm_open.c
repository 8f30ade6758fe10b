/* Opening and closing a stream. */
#include "pcm_internal.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>

/* Handed out when no handle can be allocated, so pcm_open never returns
 * NULL. It is never ready, its text never changes, and closing it is a
 * no-op. */
static struct pcm placeholder = {
    .kernel = &pcm_system_kernel,
    .fd = -1,
    .error = "cannot allocate memory for the PCM handle",
};

static int is_placeholder(const struct pcm *pcm)
{
    return pcm == &placeholder;
}

static void close_node(struct pcm *pcm)
{
    if (pcm->fd < 0)
        return;
    if (pcm->flags & PCM_MMAP)
        pcm->kernel->ioctl(pcm->kernel->ctx, pcm->fd, SNDRV_PCM_IOCTL_DROP, NULL);
    pcm_unmap(pcm);
    pcm->kernel->close(pcm->kernel->ctx, pcm->fd);
    pcm->fd = -1;
    pcm->running = 0;
    pcm->configured = 0;
}

/* What a stream opened without a configuration runs with. */
static const struct pcm_config default_config = {
    .channels = 2,
    .rate = 48000,
    .period_size = 1024,
    .period_count = 4,
    .format = PCM_FORMAT_S16_LE,
};

/* Every step after the node is open; on failure the text says which. */
static int configure(struct pcm *pcm)
{
    /* Without period interrupts only the mapped transfers, which poll with
     * a timeout of their own, know when to look again. */
    if ((pcm->flags & PCM_NOIRQ) && !(pcm->flags & PCM_MMAP)) {
        pcm_set_error(pcm, EINVAL, "noirq only currently supported with mmap().");
        return -EINVAL;
    }
    struct snd_pcm_info info;
    int err = pcm->kernel->ioctl(pcm->kernel->ctx, pcm->fd, SNDRV_PCM_IOCTL_INFO, &info);
    if (err < 0) {
        pcm_set_error(pcm, err, "cannot get info");
        return err;
    }
    err = pcm_apply_hw_params(pcm);
    if (err < 0) {
        pcm_set_error(pcm, err, "cannot set hw params");
        return err;
    }
    err = pcm_apply_sw_params(pcm);
    if (err < 0) {
        pcm_set_error(pcm, err, "cannot set sw params");
        return err;
    }
    if (pcm->flags & PCM_MMAP) {
        err = pcm_map(pcm);
        if (err < 0)
            return err;
    }
    if (pcm->flags & PCM_MONOTONIC) {
        int type = SNDRV_PCM_TSTAMP_TYPE_MONOTONIC;
        err = pcm->kernel->ioctl(pcm->kernel->ctx, pcm->fd, SNDRV_PCM_IOCTL_TTSTAMP, &type);
        if (err < 0) {
            pcm_set_error(pcm, err, "cannot set timestamp type");
            return err;
        }
    }
    return 0;
}

struct pcm *pcm_open_on(const struct pcm_kernel *kernel, unsigned int card, unsigned int device, unsigned int flags,
                        const struct pcm_config *config)
{
    struct pcm *pcm = kernel->alloc(kernel->ctx, sizeof(*pcm));
    if (pcm == NULL)
        return &placeholder;
    memset(pcm, 0, sizeof(*pcm));
    pcm->kernel = kernel;
    pcm->fd = -1;
    pcm->flags = flags;
    pcm->config = config != NULL ? *config : default_config;
    pcm->frame_bytes = pcm->config.channels * (pcm_format_to_bits(pcm->config.format) / 8);

    char path[64];
    snprintf(path, sizeof(path), "/dev/snd/pcmC%uD%u%c", card, device, (flags & PCM_IN) ? 'c' : 'p');
    /* A blocking open of a stream another process holds sleeps until that
     * process lets it go; a non-blocking one fails at once with EBUSY. */
    int fd = kernel->open(kernel->ctx, path, O_RDWR | O_NONBLOCK);
    if (fd < 0) {
        pcm_set_error(pcm, fd, "cannot open device '%s'", path);
        return pcm;
    }
    /* Transfers take the blocking mode the descriptor has at each PREPARE,
     * so clearing it here, before the first one, makes them all block. */
    if (!(flags & PCM_NONBLOCK)) {
        int err = kernel->set_blocking(kernel->ctx, fd);
        if (err < 0) {
            pcm_set_error(pcm, err, "cannot open device '%s'", path);
            kernel->close(kernel->ctx, fd);
            return pcm;
        }
    }
    pcm->fd = fd;
    if (configure(pcm) < 0)
        close_node(pcm);
    return pcm;
}

struct pcm *pcm_open(unsigned int card, unsigned int device, unsigned int flags, const struct pcm_config *config)
{
    return pcm_open_on(&pcm_system_kernel, card, device, flags, config);
}

int pcm_is_ready(const struct pcm *pcm)
{
    return pcm != NULL && pcm->fd >= 0;
}

const char *pcm_get_error(const struct pcm *pcm)
{
    return pcm != NULL ? pcm->error : placeholder.error;
}

const struct pcm_config *pcm_get_config(const struct pcm *pcm)
{
    return pcm != NULL ? &pcm->config : NULL;
}

int pcm_close(struct pcm *pcm)
{
    if (pcm == NULL || is_placeholder(pcm))
        return 0;
    close_node(pcm);
    pcm->kernel->release(pcm->kernel->ctx, pcm);
    return 0;
}
