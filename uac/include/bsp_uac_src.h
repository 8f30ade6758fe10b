/*
 * Sample-rate conversion of audio blocks in libuacbridge, done by the
 * converter of libSRC_LINUX.so. The caller owns the conversion record.
 *
 *   UAC_SRC_S stSrc = {48000, 16000, 2, 0, NULL, NULL};
 *   BSP_UacSrcInit(&stSrc);
 *   pData = malloc(BSP_UacSrcGetCapacity(&stSrc, u32Bytes));   not u32Bytes
 *   s32Bytes = BSP_UacSrcProcess(&stSrc, pData, u32Bytes);   any number of times
 *   BSP_UacSrcDeinit(&stSrc);
 *
 * Rates are accepted in the bands 8000-8999, 16000-16999, 32000-32999 and
 * 48000-48999 Hz, where only the thousands count; 1 or 2 channels. Blocks are
 * interleaved signed 16-bit little-endian frames, converted in place:
 * BSP_UacSrcProcess returns the output's size in bytes (0 when the converter
 * produced nothing or failed). The output overwrites the input and can be up
 * to six times as long (8 to 48 kHz), so the data buffer must hold what
 * BSP_UacSrcGetCapacity states for the block, not just the input. A block of
 * 0 bytes flushes the converter. u32ConvArg goes to the converter unchanged:
 * 0 is its default quality.
 */
#ifndef BSP_UAC_SRC_H
#define BSP_UAC_SRC_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Conversion record. The caller fills the first four fields before
 * BSP_UacSrcInit and starts with both pointers null; the wrapper fills the
 * pointers and clears them again in BSP_UacSrcDeinit. */
typedef struct tagUAC_SRC_S {
    uint32_t u32InRate;   /* input sample rate in Hz */
    uint32_t u32OutRate;  /* output sample rate in Hz */
    uint32_t u32Channels; /* 1 or 2 */
    uint32_t u32ConvArg;  /* handed to the converter unchanged */
    void *pSrcHandle;     /* converter handle, null when there is none */
    void *workingbufptr;  /* converter's working buffer, null when there is none */
} UAC_SRC_S;

/* Parameters handed to the converter when it is built. */
typedef struct tagUAC_SRC_PARAM_S {
    uint32_t u32InRateKHz;   /* input rate / 1000: 8, 16, 32 or 48 */
    uint32_t u32ConvertMode; /* 0 to 11 */
    uint32_t u32Flag;        /* always 1 */
    uint32_t u32Channels;    /* 1 or 2 */
    uint32_t u32ConvArg;     /* the record's u32ConvArg */
} UAC_SRC_PARAM_S;

/* The records' layout is part of the library's interface, on the 64-bit
 * host and on 32-bit ARM alike. */
#ifdef __cplusplus
#define BSP_UAC_SRC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define BSP_UAC_SRC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif
BSP_UAC_SRC_ASSERT(offsetof(UAC_SRC_S, u32ConvArg) == 12, "UAC_SRC_S: four 32-bit fields first");
BSP_UAC_SRC_ASSERT(offsetof(UAC_SRC_S, pSrcHandle) == 16, "UAC_SRC_S: handle after the four fields");
BSP_UAC_SRC_ASSERT(offsetof(UAC_SRC_S, workingbufptr) == 16 + sizeof(void *), "UAC_SRC_S: buffer last");
BSP_UAC_SRC_ASSERT(sizeof(UAC_SRC_S) == 16 + 2 * sizeof(void *), "UAC_SRC_S: 24 bytes on ARM, 32 on the host");
BSP_UAC_SRC_ASSERT(offsetof(UAC_SRC_PARAM_S, u32ConvArg) == 16, "UAC_SRC_PARAM_S: five 32-bit fields");
BSP_UAC_SRC_ASSERT(sizeof(UAC_SRC_PARAM_S) == 20, "UAC_SRC_PARAM_S: five 32-bit fields");
#undef BSP_UAC_SRC_ASSERT

/* 0 when the record is present, both rates are accepted and the channel
 * count is 1 or 2; otherwise -1 with a message. */
int32_t _BSP_UacSrcCheck(UAC_SRC_S *pstSrc);

/* Convert mode 0 to 11 for a pair of rates in kHz (8, 16, 32, 48), or -1
 * with a message for any other pair, equal rates included. */
int32_t _BSP_GetConvertMode(uint32_t u32InRateKHz, uint32_t u32OutRateKHz);

/* Creates the converter for the record: 0, or -1 with a message. After a
 * failure in the converter's creation the record keeps its working buffer
 * for BSP_UacSrcDeinit to free. */
int32_t BSP_UacSrcInit(UAC_SRC_S *pstSrc);

/* Converts one block of u32Len bytes in place and returns the converter's
 * count of output bytes; -1 with a message for a null record or data.
 * pData must hold BSP_UacSrcGetCapacity(pstSrc, u32Len) bytes: the output
 * is written over the input and may be longer than it. */
int32_t BSP_UacSrcProcess(UAC_SRC_S *pstSrc, void *pData, uint32_t u32Len);

/* Bytes the data buffer of BSP_UacSrcProcess must hold for a block of
 * u32Len input bytes (u32Len = 0: the flush) of the record's conversion:
 * the larger of the input and the output it can give. Only the first three
 * fields of the record are read, so it may be asked before BSP_UacSrcInit.
 * 0, without a message, for a null record, a pair of rates or a channel
 * count that BSP_UacSrcInit refuses, or a size beyond INT32_MAX. */
uint32_t BSP_UacSrcGetCapacity(const UAC_SRC_S *pstSrc, uint32_t u32Len);
/* The same from the two rates in Hz and the channel count. */
uint32_t BSP_UacSrcGetCapacityByRate(uint32_t u32InRate, uint32_t u32OutRate, uint32_t u32Channels, uint32_t u32Len);

/* Releases the converter and frees the working buffer: 0, or -1 with a
 * message (a refused release leaves the record as it was, to try again). */
int32_t BSP_UacSrcDeinit(UAC_SRC_S *pstSrc);

#ifdef __cplusplus
}
#endif

#endif /* BSP_UAC_SRC_H */
