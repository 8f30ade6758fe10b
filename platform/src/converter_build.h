// Building a converter in its working buffer and releasing it.
#pragma once

#include <cstdint>

#include "ulo_src.h"

namespace ulo_src {

// The resampler quality level that u32ConvArg selects, or -1 for none.
int quality_level(uint32_t conv_arg);

// The handle of a converter built in buffer, or nullptr when the buffer or
// the parameters are unsuitable or the resampler cannot be created.
void *build_converter(void *buffer, const ULO_SRC_PARAM_S *param);

// 0 when the converter was released now or before, -1 for no converter.
int32_t release_converter(void *handle);

} // namespace ulo_src
