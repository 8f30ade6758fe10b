/*
 * PCM interface of the tinyalsa 1.1 line: the subset this platform uses.
 *
 * Applications and libraries built against this header also run against the
 * device's own tinyalsa 1.1, so every constant, record and signature below
 * keeps that line's values and layout.
 */
#ifndef TINYALSA_ASOUNDLIB_H
#define TINYALSA_ASOUNDLIB_H

#ifdef __cplusplus
extern "C" {
#endif

/* Open flags. */
#define PCM_OUT 0x00000000
#define PCM_IN 0x10000000
#define PCM_MMAP 0x00000001
#define PCM_NOIRQ 0x00000002
#define PCM_NORESTART 0x00000004
#define PCM_MONOTONIC 0x00000008
#define PCM_NONBLOCK 0x00000010

struct pcm;

enum pcm_format {
    PCM_FORMAT_S16_LE = 0,
    PCM_FORMAT_S8,
    PCM_FORMAT_S16_BE,
    PCM_FORMAT_S24_LE,
    PCM_FORMAT_S24_BE,
    PCM_FORMAT_S24_3LE,
    PCM_FORMAT_S24_3BE,
    PCM_FORMAT_S32_LE,
    PCM_FORMAT_S32_BE,

    PCM_FORMAT_MAX,
};

/* Zero thresholds are replaced by defaults when the stream is opened. */
struct pcm_config {
    unsigned int channels;
    unsigned int rate;
    unsigned int period_size;
    unsigned int period_count;
    enum pcm_format format;
    unsigned int start_threshold;
    unsigned int stop_threshold;
    unsigned int silence_threshold;
};

/* A NULL config opens the stream with 2 channels, 48000 Hz, S16_LE and four
 * 1024-frame periods. */
struct pcm *pcm_open(unsigned int card, unsigned int device, unsigned int flags, const struct pcm_config *config);
int pcm_close(struct pcm *pcm);
int pcm_is_ready(const struct pcm *pcm);
const char *pcm_get_error(const struct pcm *pcm);
/* The configuration in effect: the driver's period size and count, and
 * the thresholds with their defaults filled in. NULL for a NULL pcm. */
const struct pcm_config *pcm_get_config(const struct pcm *pcm);

unsigned int pcm_get_buffer_size(const struct pcm *pcm);
unsigned int pcm_format_to_bits(enum pcm_format format);
unsigned int pcm_frames_to_bytes(const struct pcm *pcm, unsigned int frames);
unsigned int pcm_bytes_to_frames(const struct pcm *pcm, unsigned int bytes);

int pcm_writei(struct pcm *pcm, const void *data, unsigned int frame_count);
int pcm_readi(struct pcm *pcm, void *data, unsigned int frame_count);
/* count in bytes, whole frames; 0 once all of it was transferred. */
int pcm_write(struct pcm *pcm, const void *data, unsigned int count);
int pcm_read(struct pcm *pcm, void *data, unsigned int count);
int pcm_mmap_write(struct pcm *pcm, const void *data, unsigned int count);
int pcm_mmap_read(struct pcm *pcm, void *data, unsigned int count);

#ifdef __cplusplus
}
#endif

#endif /* TINYALSA_ASOUNDLIB_H */
