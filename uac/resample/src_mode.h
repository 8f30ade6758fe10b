// The request checks of the conversion wrapper without their messages, for
// the calls that answer questions instead of reporting.
#pragma once

#include <cstdint>

#include "ulo_src.h"

// The library's rule for a rate in Hz, the one place it is written: only the
// thousands count, and they must be one of the converter's rates
// (UloSrc_RateKHz), so the bands 8000-8999, 16000-16999, 32000-32999 and
// 48000-48999 Hz. The conversion wrapper and the stream-status probe both
// apply it.
inline bool srcRateAccepted(uint32_t rate)
{
    for (uint32_t i = 0; i < ULO_SRC_RATE_COUNT; i++) {
        if (UloSrc_RateKHz(i) == rate / 1000) {
            return true;
        }
    }
    return false;
}

// The convert mode 0 to 11 of a pair of rates in kHz, or -1.
int32_t srcConvertMode(uint32_t u32InRateKHz, uint32_t u32OutRateKHz);
