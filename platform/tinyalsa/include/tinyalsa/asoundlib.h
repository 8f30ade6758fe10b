/*
 * PCM interface of the tinyalsa 1.1 line: the subset this platform uses.
 *
 * Applications and libraries built against this header also run against the
 * device's own tinyalsa 1.1, so every constant, record and signature below
 * keeps that line's values and layout. The contracts below are those of this
 * platform's implementation (platform/tinyalsa/src), which keeps the 1.1
 * line's results; where the kernel decides, they say so.
 *
 * Common to every call:
 * - A struct pcm comes only from pcm_open and belongs to the library; the
 *   caller holds it until pcm_close and never looks inside.
 * - Buffers and configurations are lent for the call and never kept.
 * - Errors: calls that return int give a negative number; what the kernel
 *   refused is also described in the handle's error text (pcm_get_error).
 *   errno is not part of this contract.
 * - Threads: no call takes a lock. One handle must not be used by two threads
 *   at once, nor closed while another thread uses it; different handles are
 *   independent.
 */
#ifndef TINYALSA_ASOUNDLIB_H
#define TINYALSA_ASOUNDLIB_H

#ifdef __cplusplus
extern "C" {
#endif

/* Open flags, ORed together for pcm_open. */
#define PCM_OUT 0x00000000       /* playback (the default) */
#define PCM_IN 0x10000000        /* capture */
#define PCM_MMAP 0x00000001      /* transfers through the mapped ring buffer: pcm_mmap_write/read */
#define PCM_NOIRQ 0x00000002     /* no period interrupts; only together with PCM_MMAP */
#define PCM_NORESTART 0x00000004 /* writes and mapped calls report an xrun (-EPIPE); the next call restarts */
#define PCM_MONOTONIC 0x00000008 /* the stream's timestamps from the monotonic clock */
#define PCM_NONBLOCK 0x00000010  /* transfers fail at once instead of waiting for room or data */

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

/* A stream's configuration: sizes and thresholds in frames. Zero thresholds
 * are replaced by defaults when the stream is opened (see pcm_open). */
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

/**
 * Opens PCM device `device` of sound card `card`: the node
 * "/dev/snd/pcmC<card>D<device>p" (or "...c" with PCM_IN), read-write, then
 * applies the hardware parameters of `config` (access, format, channels,
 * rate, period count exactly; period size as a minimum, the driver may settle
 * on a larger one) and the software parameters (zero thresholds replaced:
 * start at half the buffer for playback, at the first frame for capture;
 * stop at a full buffer for playback, at ten buffers for capture).
 * With PCM_MMAP the ring buffer is mapped too.
 *
 * @param card, device  ALSA card and PCM device numbers.
 * @param flags  PCM_* flags. PCM_NOIRQ without PCM_MMAP is refused ("noirq
 *     only currently supported with mmap().").
 * @param config  Copied; not kept after the call. NULL opens 2 channels,
 *     48000 Hz, PCM_FORMAT_S16_LE, four 1024-frame periods.
 * @return Never NULL. A handle that pcm_is_ready reports ready, or one that
 *     is not ready and whose pcm_get_error text says what failed ("cannot open
 *     device '<node>': <reason>", "cannot set hw params: <reason>", ...; when
 *     no handle can be allocated, a shared placeholder that is never ready).
 *     Either way the caller gives it back with pcm_close.
 *
 * Blocking: never waits. A stream another process holds fails at once with
 * "Device or resource busy", also without PCM_NONBLOCK (the node is opened
 * non-blocking and made blocking again before the first transfer unless
 * PCM_NONBLOCK was asked for).
 */
struct pcm *pcm_open(unsigned int card, unsigned int device, unsigned int flags, const struct pcm_config *config);

/**
 * Closes the stream and frees the handle: a mapped stream is dropped and
 * unmapped, then the node is closed. Frames still queued for playback are not
 * played (the kernel drops them on close); nothing is drained.
 *
 * @param pcm  From pcm_open, ready or not; invalid afterwards. NULL and the
 *     placeholder are accepted and left alone.
 * @return 0, always.
 * Blocking: never waits.
 */
int pcm_close(struct pcm *pcm);

/**
 * @return 1 when pcm_open opened and configured the stream (until pcm_close;
 *     a failed transfer does not change it), 0 otherwise and for NULL.
 */
int pcm_is_ready(const struct pcm *pcm);

/**
 * @return The text of the handle's last failure: what failed and the
 *     system's reason ("cannot write stream data: Broken pipe"); "" when
 *     nothing failed. The text belongs to the handle: it changes with the next
 *     failure and goes with pcm_close. Transfers refused for NULL, for the
 *     wrong kind of stream or for one that is not ready (-EINVAL, -EBADF,
 *     -ENOSYS) leave it alone. For NULL, the placeholder's fixed text ("cannot
 *     allocate memory for the PCM handle").
 */
const char *pcm_get_error(const struct pcm *pcm);

/**
 * @return The configuration in effect: the driver's period size and count,
 *     and the thresholds with their defaults filled in (for a handle that
 *     failed to open, what was asked). It belongs to the handle and goes with
 *     pcm_close. NULL for a NULL pcm.
 */
const struct pcm_config *pcm_get_config(const struct pcm *pcm);

/**
 * @return The ring buffer's size in frames, period size × period count as in
 *     effect; 0 for NULL and for a handle whose open failed.
 */
unsigned int pcm_get_buffer_size(const struct pcm *pcm);

/**
 * @return Bits a sample of the format occupies in memory: 32 for the S32 and
 *     S24_LE/BE formats (24 bits in a 32-bit container), 24 for S24_3LE/BE,
 *     8 for S8, 16 for S16 and for any other value.
 */
unsigned int pcm_format_to_bits(enum pcm_format format);

/**
 * Conversions with the frame size of the configuration given at open
 * (channels × bits of the format / 8), also for a handle whose open failed.
 * @return frames × frame size (modulo 2^32), or bytes ÷ frame size with the
 *     remainder dropped; 0 for NULL and for a frame size of 0.
 */
unsigned int pcm_frames_to_bytes(const struct pcm *pcm, unsigned int frames);
unsigned int pcm_bytes_to_frames(const struct pcm *pcm, unsigned int bytes);

/**
 * Writes frame_count interleaved frames to a playback stream opened without
 * PCM_MMAP. A stream that is not running is prepared first; the kernel
 * starts it once its start threshold is queued. After an underrun (-EPIPE
 * from the kernel) the stream is prepared again and the write retried, unless
 * PCM_NORESTART; after a suspend it is resumed where the driver can. After a
 * failure the next call prepares the stream only if the kernel stopped it.
 *
 * @param data  frame_count frames; only read, not kept.
 * @return The frames the kernel took, which may be fewer than frame_count (a
 *     signal, or a non-blocking stream with room for part), and 0 for the
 *     write that followed a preparation, whatever it took (as the 1.1 line
 *     does); -1 when the kernel refused (text in pcm_get_error), -EPIPE on an
 *     underrun with PCM_NORESTART, -EINVAL for NULL or a capture stream,
 *     -EBADF for a stream that is not ready.
 * Blocking: without PCM_NONBLOCK, waits until every frame is queued (the
 *     kernel gives up with -1, "Input/output error", when the stream does not
 *     move within its wait time); with it, fails at once (-1, "Resource
 *     temporarily unavailable") when there is no room at all.
 */
int pcm_writei(struct pcm *pcm, const void *data, unsigned int frame_count);

/**
 * Reads up to frame_count interleaved frames from a capture stream opened
 * without PCM_MMAP. A stream that is not running is prepared and started
 * first; after an overrun it is prepared, started and read again (also with
 * PCM_NORESTART, as in the 1.1 line); after a suspend it is resumed where the
 * driver can.
 *
 * @param data  Room for frame_count frames; written, not kept.
 * @return The frames read; -1 when the kernel refused (text in pcm_get_error),
 *     -EINVAL for NULL or a playback stream, -EBADF for a stream that is not
 *     ready.
 * Blocking: without PCM_NONBLOCK, waits until frame_count frames have arrived
 *     (fewer on a signal; -1 when the stream does not move within the
 *     kernel's wait time); with it, returns what is there, -1 when nothing is.
 */
int pcm_readi(struct pcm *pcm, void *data, unsigned int frame_count);

/**
 * The byte-counted forms of pcm_writei and pcm_readi: count is in bytes and
 * is moved as whole frames (a trailing part of a frame is ignored), going on
 * after short transfers until all of it has moved.
 *
 * @return 0 once every whole frame moved; on failure the negative result of
 *     the failing step (as pcm_writei/pcm_readi) or -EIO when the kernel moved
 *     nothing; frames before the failure may have moved.
 * Blocking: as pcm_writei/pcm_readi, for every frame of count.
 */
int pcm_write(struct pcm *pcm, const void *data, unsigned int count);
int pcm_read(struct pcm *pcm, void *data, unsigned int count);

/**
 * Moves count bytes (as whole frames) through the mapped ring buffer of a
 * stream opened with PCM_MMAP: pcm_mmap_write to a playback stream, which is
 * started once its start threshold (at most the buffer) is queued;
 * pcm_mmap_read from a capture stream, which is started first. After an xrun
 * the call fails and the stream is prepared again, at once or, with
 * PCM_NORESTART (which leaves it stopped meanwhile), by the next call. A
 * suspended stream is resumed where the driver can, otherwise the call fails
 * and the next one starts it afresh.
 *
 * @param data  count bytes to write, or room for count bytes to read; not
 *     kept.
 * @return 0 once all of count moved; otherwise a negative errno: -ENOSYS for
 *     NULL, a stream without PCM_MMAP, or (read) one without PCM_IN; -EINVAL
 *     for a write to a capture stream or, non-blocking, a block larger than
 *     the ring; -EBADF for a stream that is not ready; -EAGAIN (non-blocking,
 *     see below); -EPIPE (xrun), -ESTRPIPE (suspended), -ENODEV
 *     (disconnected), -EIO (no room or data for 10 s), or what the kernel
 *     refused. Every failure but the refusals for NULL, the wrong kind of
 *     stream or one that is not ready also sets the text.
 * Blocking: without PCM_NONBLOCK, waits for room or data as often as needed
 *     (each wait up to 10 s; with PCM_NOIRQ one period); part of the block may
 *     have moved when it fails. With PCM_NONBLOCK the block moves whole or not
 *     at all: -EAGAIN means none of it moved, and the same block can be
 *     offered again.
 */
int pcm_mmap_write(struct pcm *pcm, const void *data, unsigned int count);
int pcm_mmap_read(struct pcm *pcm, void *data, unsigned int count);

#ifdef __cplusplus
}
#endif

#endif /* TINYALSA_ASOUNDLIB_H */
