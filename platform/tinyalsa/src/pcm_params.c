/* Hardware and software parameters of a stream being opened. */
#include "pcm_internal.h"

#include <errno.h>
#include <limits.h>
#include <string.h>

static struct snd_mask *param_mask(struct snd_pcm_hw_params *params, int param)
{
    return &params->masks[param - SNDRV_PCM_HW_PARAM_FIRST_MASK];
}

static struct snd_interval *param_interval(struct snd_pcm_hw_params *params, int param)
{
    return &params->intervals[param - SNDRV_PCM_HW_PARAM_FIRST_INTERVAL];
}

/* Everything allowed: the kernel narrows from here to what we ask. */
static void params_init(struct snd_pcm_hw_params *params)
{
    memset(params, 0, sizeof(*params));
    for (int p = SNDRV_PCM_HW_PARAM_FIRST_MASK; p <= SNDRV_PCM_HW_PARAM_LAST_MASK; p++)
        memset(param_mask(params, p), 0xff, sizeof(struct snd_mask));
    for (int p = SNDRV_PCM_HW_PARAM_FIRST_INTERVAL; p <= SNDRV_PCM_HW_PARAM_LAST_INTERVAL; p++)
        param_interval(params, p)->max = UINT_MAX;
    params->rmask = ~0u;
    params->info = ~0u;
}

static void mask_only(struct snd_pcm_hw_params *params, int param, unsigned int bit)
{
    struct snd_mask *mask = param_mask(params, param);
    memset(mask, 0, sizeof(*mask));
    mask->bits[bit / 32] = 1u << (bit % 32);
}

static void interval_exact(struct snd_pcm_hw_params *params, int param, unsigned int value)
{
    struct snd_interval *i = param_interval(params, param);
    i->min = value;
    i->max = value;
    i->integer = 1;
}

static void interval_min(struct snd_pcm_hw_params *params, int param, unsigned int value)
{
    param_interval(params, param)->min = value;
}

int pcm_apply_hw_params(struct pcm *pcm)
{
    const struct pcm_config *c = &pcm->config;
    int format = pcm_format_to_kernel(c->format);
    if (format < 0)
        return -EINVAL;
    unsigned int bits = pcm_format_to_bits(c->format);

    struct snd_pcm_hw_params params;
    params_init(&params);
    mask_only(&params, SNDRV_PCM_HW_PARAM_ACCESS,
              (pcm->flags & PCM_MMAP) ? (unsigned int)SNDRV_PCM_ACCESS_MMAP_INTERLEAVED
                                      : (unsigned int)SNDRV_PCM_ACCESS_RW_INTERLEAVED);
    mask_only(&params, SNDRV_PCM_HW_PARAM_FORMAT, (unsigned int)format);
    mask_only(&params, SNDRV_PCM_HW_PARAM_SUBFORMAT, (unsigned int)SNDRV_PCM_SUBFORMAT_STD);
    interval_min(&params, SNDRV_PCM_HW_PARAM_PERIOD_SIZE, c->period_size);
    interval_exact(&params, SNDRV_PCM_HW_PARAM_SAMPLE_BITS, bits);
    interval_exact(&params, SNDRV_PCM_HW_PARAM_FRAME_BITS, bits * c->channels);
    interval_exact(&params, SNDRV_PCM_HW_PARAM_CHANNELS, c->channels);
    interval_exact(&params, SNDRV_PCM_HW_PARAM_PERIODS, c->period_count);
    interval_exact(&params, SNDRV_PCM_HW_PARAM_RATE, c->rate);
    if (pcm->flags & PCM_NOIRQ)
        params.flags |= SNDRV_PCM_HW_PARAMS_NO_PERIOD_WAKEUP;

    int err = pcm->kernel->ioctl(pcm->kernel->ctx, pcm->fd, SNDRV_PCM_IOCTL_HW_PARAMS, &params);
    if (err < 0)
        return err;

    /* The driver may have settled on a larger period; what it chose rules. */
    pcm->config.period_size = param_interval(&params, SNDRV_PCM_HW_PARAM_PERIOD_SIZE)->min;
    pcm->config.period_count = param_interval(&params, SNDRV_PCM_HW_PARAM_PERIODS)->min;
    pcm->buffer_size = pcm->config.period_size * pcm->config.period_count;
    pcm->configured = 1;
    return 0;
}

void pcm_default_thresholds(struct pcm_config *config, unsigned int buffer_size, int capture)
{
    /* Playback starts once half the buffer is queued and stops when it
     * runs dry; capture starts with the first frame and tolerates ten
     * buffers of unread data before it counts as an overrun. */
    if (config->start_threshold == 0)
        config->start_threshold = capture ? 1 : buffer_size / 2;
    if (config->stop_threshold == 0)
        config->stop_threshold = capture ? buffer_size * 10 : buffer_size;
}

snd_pcm_uframes_t pcm_boundary(snd_pcm_uframes_t buffer_size)
{
    /* The kernel wraps its pointers at the largest power-of-two multiple
     * of the buffer for which pointer + buffer still fits a signed long. */
    snd_pcm_uframes_t boundary = buffer_size;
    if (boundary == 0)
        return 0;
    while (boundary * 2 <= (snd_pcm_uframes_t)LONG_MAX - buffer_size)
        boundary *= 2;
    return boundary;
}

int pcm_apply_sw_params(struct pcm *pcm)
{
    pcm_default_thresholds(&pcm->config, pcm->buffer_size, (pcm->flags & PCM_IN) != 0);

    struct snd_pcm_sw_params params;
    memset(&params, 0, sizeof(params));
    params.tstamp_mode = SNDRV_PCM_TSTAMP_ENABLE;
    params.period_step = 1;
    params.avail_min = 1;
    params.start_threshold = pcm->config.start_threshold;
    params.stop_threshold = pcm->config.stop_threshold;
    params.silence_threshold = pcm->config.silence_threshold;
    params.silence_size = 0;
    params.boundary = pcm_boundary(pcm->buffer_size);

    int err = pcm->kernel->ioctl(pcm->kernel->ctx, pcm->fd, SNDRV_PCM_IOCTL_SW_PARAMS, &params);
    if (err < 0)
        return err;
    /* The kernel reports the boundary it uses; mapped pointers wrap there. */
    pcm->boundary = params.boundary;
    return 0;
}
