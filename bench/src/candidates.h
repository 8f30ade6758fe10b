// The resamplers compared, behind one streaming interface: speexdsp and
// libsoxr called directly, and our converter through the wrapper of
// libuacbridge (BSP_UacSrcProcess). All take and give interleaved 16-bit
// frames.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct Rates {
    uint32_t in_hz;
    uint32_t out_hz;
    uint32_t channels;
};

class Candidate {
public:
    virtual ~Candidate() = default;
    // Converts one block of frames as a streaming caller does: the block is
    // copied into the caller's buffer first (as if it arrived there), and
    // the output stays in the candidate's buffer. Returns the output frames.
    virtual size_t convert(const int16_t *in, size_t frames) = 0;
    virtual const int16_t *output() const = 0;
    // Converts one block and appends the output to out.
    void process(const int16_t *in, size_t frames, std::vector<int16_t> &out, uint32_t channels)
    {
        const size_t n = convert(in, frames) * channels;
        out.insert(out.end(), output(), output() + n);
    }
};

// What a candidate is: its name and how to make one for a pair of rates.
struct CandidateKind {
    std::string name;
    std::unique_ptr<Candidate> (*make)(const Rates &rates, int setting);
    int setting; // speexdsp quality level, soxr recipe, or our u32ConvArg
};

std::unique_ptr<Candidate> make_speex(const Rates &rates, int quality);
std::unique_ptr<Candidate> make_soxr(const Rates &rates, int recipe);
std::unique_ptr<Candidate> make_ours(const Rates &rates, int conv_arg);
