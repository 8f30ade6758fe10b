// A scriptable stand-in for libSRC_LINUX.so, linked into the wrapper's tests
// in its place: it records every call and answers as programmed.
#pragma once

#include <vector>

#include "ulo_src.h"

namespace fake_ulo_src {

struct RunCall {
    void *handle;
    void *data;
    uint32_t len;
};

struct State {
    // Programmed answers.
    uint32_t buffer_size = 48;
    bool init_fails = false;
    int32_t release_result = 0;
    bool run_writes_count = true;
    int32_t run_count = 0;
    // What was asked.
    std::vector<uint32_t> size_queries;  // modes passed to UloSrc_GetBufferSize
    std::vector<void *> init_buffers;    // working buffers passed to UloSrc_Init
    std::vector<ULO_SRC_PARAM_S> params; // parameter records, copied during the call
    std::vector<RunCall> runs;
    std::vector<void *> releases;
};

State &state();
void reset();

// The handle the fake returns for a working buffer.
void *handle_for(void *buffer);

} // namespace fake_ulo_src
