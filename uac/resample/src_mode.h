// The request checks of the conversion wrapper without their messages, for
// the calls that answer questions instead of reporting.
#pragma once

#include <cstdint>

// True for a rate in one of the bands 8000-8999, 16000-16999, 32000-32999
// and 48000-48999 Hz.
bool srcRateAccepted(uint32_t rate);

// The convert mode 0 to 11 of a pair of rates in kHz, or -1.
int32_t srcConvertMode(uint32_t u32InRateKHz, uint32_t u32OutRateKHz);
