/*
 * libSRC_LINUX.so: sample-rate converter for streams of interleaved signed
 * 16-bit little-endian audio, 1 or 2 channels, between 8, 16, 32 and 48 kHz.
 *
 * Use:
 *   size = UloSrc_GetBufferSize(mode);       working buffer, from malloc or
 *   handle = UloSrc_Init(buffer, &param);    any storage aligned like it
 *   UloSrc_Run(handle, data, n, &count);     any number of blocks
 *   UloSrc_Run(handle, data, 0, &count);     flush at the end of a stream
 *   UloSrc_Release(handle);                  then free the buffer
 *
 * Convert modes number the twelve ordered pairs of distinct rates, input rate
 * first, each in the order 8, 16, 32, 48 kHz:
 *
 *   in \ out    8   16   32   48
 *      8        -    0    1    2
 *     16        3    -    4    5
 *     32        6    7    -    8
 *     48        9   10   11    -
 *
 * Working buffer: it holds the converter record (mode, channels, delay, the
 * resampler's state pointer) and two staging areas, so that a block can be
 * converted in place. The resampler's filter tables and history are allocated
 * by UloSrc_Init and freed by UloSrc_Release; the buffer itself stays the
 * caller's. The handle points into the buffer: the buffer must outlive it.
 *
 * Blocks: UloSrc_Run(handle, data, n, &count) reads n bytes of input from
 * data (whole frames), writes the output over it in the same buffer and sets
 * count to the number of output bytes, always whole frames. data must hold
 * UloSrc_CapacityBytes(mode, channels, n) bytes; nothing past them is ever
 * written. Consecutive blocks form one continuous stream: how the stream is
 * cut into blocks changes nothing in the output. Over a stream of T input
 * frames the converter has written ceil(T * out / in) output frames.
 *
 * Delay: the output is the input delayed by a constant number of output
 * frames (the resampler's filter latency), UloSrc_GetDelay(handle). At the
 * default quality it is, in output frames (and milliseconds):
 *
 *   in \ out      8          16          32          48
 *      8         -        80 (5)     160 (5)     240 (5)
 *     16      40 (5)        -         80 (2.5)   120 (2.5)
 *     32      40 (5)     40 (2.5)       -         60 (1.25)
 *     48      40 (5)     40 (2.5)    40 (1.25)      -
 *
 * The converter holds no output back beyond that: every block yields its
 * share of output at once, so the delay is all the latency it adds.
 *
 * Flush: UloSrc_Run with n = 0 pushes what the filter still holds out as
 * output (about the delay's worth of frames, at most ULO_SRC_FLUSH_MAX_FRAMES)
 * and then starts a new stream, as if the converter had just been built.
 *
 * Results: 0 for success, -1 for failure. UloSrc_Run always writes count
 * (0 on failure) when the count pointer is not null.
 */
#ifndef ULO_SRC_H
#define ULO_SRC_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Number of convert modes (0 to 11). */
#define ULO_SRC_MODE_COUNT 12U

/* u32Flag: the sample layout, interleaved signed 16-bit little-endian. The
 * only one there is. */
#define ULO_SRC_FLAG_S16LE_INTERLEAVED 1U

/* u32ConvArg: the quality. 0 selects the default (ULO_SRC_QUALITY_DEFAULT);
 * 1 to 11 select quality levels 0 to 10 of the underlying resampler
 * (speexdsp): lower levels have less delay and less rejection of
 * frequencies above the output's Nyquist frequency, higher levels the other
 * way round (level 10: 3.2 times the default's delay). Other values are
 * refused. */
#define ULO_SRC_QUALITY_DEFAULT 0U
#define ULO_SRC_QUALITY_LEVEL(level) ((uint32_t)(level) + 1U)
#define ULO_SRC_QUALITY_MAX ULO_SRC_QUALITY_LEVEL(10)

/* Most output frames that a flush writes, at any mode and quality. */
#define ULO_SRC_FLUSH_MAX_FRAMES 768U

/* Parameter record of UloSrc_Init: five unsigned 32-bit fields. It need not
 * outlive the call. */
typedef struct tagULO_SRC_PARAM_S {
    uint32_t u32InRateKHz;   /* input rate in kHz; must be the mode's input rate */
    uint32_t u32ConvertMode; /* 0 to 11, see the table above */
    uint32_t u32Flag;        /* ULO_SRC_FLAG_S16LE_INTERLEAVED */
    uint32_t u32Channels;    /* 1 or 2 */
    uint32_t u32ConvArg;     /* quality, see ULO_SRC_QUALITY_DEFAULT */
} ULO_SRC_PARAM_S;

#ifdef __cplusplus
static_assert(sizeof(ULO_SRC_PARAM_S) == 20, "ULO_SRC_PARAM_S is five 32-bit fields");
#else
_Static_assert(sizeof(ULO_SRC_PARAM_S) == 20, "ULO_SRC_PARAM_S is five 32-bit fields");
#endif

/* Size in bytes of the working buffer for a converter of this mode; 0 for a
 * mode outside 0 to 11. */
uint32_t UloSrc_GetBufferSize(uint32_t u32ConvertMode);

/* Builds a converter in the working buffer (at least UloSrc_GetBufferSize
 * bytes, aligned as malloc aligns). Returns its handle, or NULL when the
 * buffer or the record is missing or unsuitable, or the parameters are
 * inconsistent (rate not the mode's, flag, channels, quality). A buffer that
 * holds a converter must be released before it is built on again. */
void *UloSrc_Init(void *pWorkBuf, const ULO_SRC_PARAM_S *pstParam);

/* Converts one block in place, or flushes with u32Len = 0 (see above).
 * Fails (count 0) on a bad handle, null data, a length that is not whole
 * frames, or a block whose output would exceed INT32_MAX bytes. */
int32_t UloSrc_Run(void *hSrc, void *pData, uint32_t u32Len, int32_t *ps32Count);

/* Frees what the converter holds and returns 0. Releasing a released
 * converter does nothing and returns 0 again, as long as its working buffer
 * still exists; -1 for a null or unknown handle. */
int32_t UloSrc_Release(void *hSrc);

/* The converter's delay in output frames (constant for its lifetime), or -1
 * for a bad handle. */
int32_t UloSrc_GetDelay(void *hSrc);

/* The converter's rates in kHz, in the order the convert modes count them:
 * 8, 16, 32, 48 for indexes 0 to 3 (ULO_SRC_RATE_COUNT); 0 past them. */
#define ULO_SRC_RATE_COUNT 4U
static inline uint32_t UloSrc_RateKHz(uint32_t u32Index)
{
    static const uint32_t au32KHz[ULO_SRC_RATE_COUNT] = {8, 16, 32, 48};
    return u32Index < ULO_SRC_RATE_COUNT ? au32KHz[u32Index] : 0U;
}

/* Input and output rate of a convert mode in kHz; 0 for a mode outside 0 to 11. */
static inline uint32_t UloSrc_ModeInKHz(uint32_t u32ConvertMode)
{
    return u32ConvertMode < ULO_SRC_MODE_COUNT ? UloSrc_RateKHz(u32ConvertMode / 3U) : 0U;
}

static inline uint32_t UloSrc_ModeOutKHz(uint32_t u32ConvertMode)
{
    uint32_t u32In;
    uint32_t u32Other;
    if (u32ConvertMode >= ULO_SRC_MODE_COUNT) {
        return 0U;
    }
    /* The output is the n-th of the three rates other than the input. */
    u32In = u32ConvertMode / 3U;
    u32Other = u32ConvertMode % 3U;
    return UloSrc_RateKHz(u32Other < u32In ? u32Other : u32Other + 1U);
}

/* Bytes the data buffer of UloSrc_Run must hold for a block of u32Len input
 * bytes: the larger of the input and ceil(frames * out / in) output frames;
 * for a flush (u32Len = 0), ULO_SRC_FLUSH_MAX_FRAMES frames. Output can be up
 * to 6 times the input (8 to 48 kHz). 0 for a mode outside 0 to 11. */
static inline uint64_t UloSrc_CapacityBytes(uint32_t u32ConvertMode, uint32_t u32Channels, uint32_t u32Len)
{
    const uint64_t u64FrameBytes = (uint64_t)u32Channels * 2U;
    const uint64_t u64In = UloSrc_ModeInKHz(u32ConvertMode);
    const uint64_t u64Out = UloSrc_ModeOutKHz(u32ConvertMode);
    uint64_t u64Frames;
    uint64_t u64OutBytes;
    if (u64In == 0U || u64FrameBytes == 0U) {
        return 0U;
    }
    if (u32Len == 0U) {
        return ULO_SRC_FLUSH_MAX_FRAMES * u64FrameBytes;
    }
    u64Frames = u32Len / u64FrameBytes;
    u64OutBytes = (u64Frames * u64Out + u64In - 1U) / u64In * u64FrameBytes;
    return u64OutBytes > u32Len ? u64OutBytes : u32Len;
}

#ifdef __cplusplus
}
#endif

#endif /* ULO_SRC_H */
