// Validation of a conversion request and the mapping of its rates to the
// converter's convert mode.
#include <cstdio>

#include "bsp_uac_src.h"
#include "src_mode.h"

namespace {

constexpr uint32_t kRateKHz[] = {8, 16, 32, 48};

int32_t rate_index(uint32_t khz)
{
    for (int32_t i = 0; i < 4; i++) {
        if (kRateKHz[i] == khz) {
            return i;
        }
    }
    return -1;
}

} // namespace

// A rate lies in a band when it is at most 999 Hz above the band's base.
bool srcRateAccepted(uint32_t rate)
{
    for (uint32_t khz : kRateKHz) {
        if (rate - khz * 1000 < 1000) {
            return true;
        }
    }
    return false;
}

// The modes count the ordered pairs of distinct rates, input first, each in
// the order 8, 16, 32, 48 kHz: three modes per input rate.
int32_t srcConvertMode(uint32_t u32InRateKHz, uint32_t u32OutRateKHz)
{
    const int32_t in = rate_index(u32InRateKHz);
    const int32_t out = rate_index(u32OutRateKHz);
    if (in < 0 || out < 0 || in == out) {
        return -1;
    }
    return in * 3 + (out < in ? out : out - 1);
}

extern "C" int32_t _BSP_UacSrcCheck(UAC_SRC_S *pstSrc)
{
    if (pstSrc == nullptr) {
        puts("null ptr!");
        return -1;
    }
    if (!srcRateAccepted(pstSrc->u32InRate)) {
        puts("not support input rate");
        return -1;
    }
    if (!srcRateAccepted(pstSrc->u32OutRate)) {
        puts("not support output rate");
        return -1;
    }
    if (pstSrc->u32Channels != 1 && pstSrc->u32Channels != 2) {
        puts("invalid channel!");
        return -1;
    }
    return 0;
}

extern "C" int32_t _BSP_GetConvertMode(uint32_t u32InRateKHz, uint32_t u32OutRateKHz)
{
    const int32_t mode = srcConvertMode(u32InRateKHz, u32OutRateKHz);
    if (mode < 0) {
        puts("not support convert mode!");
    }
    return mode;
}
