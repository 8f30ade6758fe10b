// Running a converter over one block in place, and flushing it.
#pragma once

#include <cstdint>

#include "converter_state.h"

namespace ulo_src {

// Converts len bytes at data in place; the output bytes, or -1 on failure.
int64_t convert_block(ConverterState &state, uint8_t *data, uint32_t len);

// Writes out what the filter holds back and starts a new stream; the output
// bytes, or -1 on failure.
int64_t flush_stream(ConverterState &state, uint8_t *data);

} // namespace ulo_src
