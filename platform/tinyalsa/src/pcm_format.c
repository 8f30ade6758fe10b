/* Sample formats, and the sizes derived from a stream's configuration. */
#include "pcm_internal.h"

#include <stddef.h>

/* The layout callers of the 1.1 line compile against. */
_Static_assert(sizeof(struct pcm_config) == 32, "struct pcm_config is eight 32-bit members");
_Static_assert(offsetof(struct pcm_config, format) == 16, "format follows the four counts");
_Static_assert(sizeof(enum pcm_format) == 4, "format is a 32-bit member");

int pcm_format_to_kernel(enum pcm_format format)
{
    switch (format) {
    case PCM_FORMAT_S16_LE:
        return SNDRV_PCM_FORMAT_S16_LE;
    case PCM_FORMAT_S8:
        return SNDRV_PCM_FORMAT_S8;
    case PCM_FORMAT_S16_BE:
        return SNDRV_PCM_FORMAT_S16_BE;
    case PCM_FORMAT_S24_LE:
        return SNDRV_PCM_FORMAT_S24_LE;
    case PCM_FORMAT_S24_BE:
        return SNDRV_PCM_FORMAT_S24_BE;
    case PCM_FORMAT_S24_3LE:
        return SNDRV_PCM_FORMAT_S24_3LE;
    case PCM_FORMAT_S24_3BE:
        return SNDRV_PCM_FORMAT_S24_3BE;
    case PCM_FORMAT_S32_LE:
        return SNDRV_PCM_FORMAT_S32_LE;
    case PCM_FORMAT_S32_BE:
        return SNDRV_PCM_FORMAT_S32_BE;
    case PCM_FORMAT_MAX:
        break;
    }
    return -1;
}

/* Bits a sample occupies in memory: 24-bit samples in 32-bit words count 32. */
unsigned int pcm_format_to_bits(enum pcm_format format)
{
    switch (format) {
    case PCM_FORMAT_S32_LE:
    case PCM_FORMAT_S32_BE:
    case PCM_FORMAT_S24_LE:
    case PCM_FORMAT_S24_BE:
        return 32;
    case PCM_FORMAT_S24_3LE:
    case PCM_FORMAT_S24_3BE:
        return 24;
    case PCM_FORMAT_S8:
        return 8;
    case PCM_FORMAT_S16_LE:
    case PCM_FORMAT_S16_BE:
    case PCM_FORMAT_MAX:
        break;
    }
    return 16;
}

/* Bytes of one frame; 0 when the handle has no configuration. */
static unsigned int frame_bytes(const struct pcm *pcm)
{
    return pcm == NULL ? 0 : pcm->frame_bytes;
}

unsigned int pcm_frames_to_bytes(const struct pcm *pcm, unsigned int frames)
{
    return frames * frame_bytes(pcm);
}

unsigned int pcm_bytes_to_frames(const struct pcm *pcm, unsigned int bytes)
{
    unsigned int size = frame_bytes(pcm);
    return size == 0 ? 0 : bytes / size;
}

unsigned int pcm_get_buffer_size(const struct pcm *pcm)
{
    if (pcm == NULL || !pcm->configured)
        return 0;
    return pcm->buffer_size;
}
