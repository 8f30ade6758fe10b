#include "candidates.h"

#include <soxr.h>
#include <speex/speex_resampler.h>

#include <cstring>
#include <stdexcept>

#include "bsp_uac_src.h"

namespace {

size_t max_out_frames(const Rates &r, size_t frames)
{
    return (frames * r.out_hz + r.in_hz - 1) / r.in_hz + 16;
}

class SpeexCandidate : public Candidate {
public:
    SpeexCandidate(const Rates &r, int quality) : rates_(r)
    {
        int err = 0;
        st_ = speex_resampler_init(r.channels, r.in_hz, r.out_hz, quality, &err);
        if (st_ == nullptr) {
            throw std::runtime_error("speex_resampler_init failed");
        }
    }
    ~SpeexCandidate() override { speex_resampler_destroy(st_); }
    size_t convert(const int16_t *in, size_t frames) override
    {
        in_.assign(in, in + frames * rates_.channels);
        out_.resize(max_out_frames(rates_, frames) * rates_.channels);
        spx_uint32_t in_len = static_cast<spx_uint32_t>(frames);
        spx_uint32_t out_len = static_cast<spx_uint32_t>(max_out_frames(rates_, frames));
        speex_resampler_process_interleaved_int(st_, in_.data(), &in_len, out_.data(), &out_len);
        return out_len;
    }
    const int16_t *output() const override { return out_.data(); }

private:
    Rates rates_;
    SpeexResamplerState *st_;
    std::vector<int16_t> in_;
    std::vector<int16_t> out_;
};

class SoxrCandidate : public Candidate {
public:
    SoxrCandidate(const Rates &r, int recipe) : rates_(r)
    {
        // Plain rounding to 16 bits, as speexdsp does: no dither noise.
        const soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
        soxr_io_spec_t io_plain = io;
        io_plain.flags |= SOXR_NO_DITHER;
        const soxr_quality_spec_t quality = soxr_quality_spec(recipe, 0);
        const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
        soxr_error_t err = nullptr;
        st_ = soxr_create(r.in_hz, r.out_hz, r.channels, &err, &io_plain, &quality, &runtime);
        if (st_ == nullptr || err != nullptr) {
            throw std::runtime_error(std::string("soxr_create failed: ") + soxr_strerror(err));
        }
    }
    ~SoxrCandidate() override { soxr_delete(st_); }
    size_t convert(const int16_t *in, size_t frames) override
    {
        in_.assign(in, in + frames * rates_.channels);
        out_.clear();
        size_t done = 0;
        while (done < frames) {
            const size_t at = out_.size();
            const size_t room = max_out_frames(rates_, frames - done) + 4096;
            out_.resize(at + room * rates_.channels);
            size_t idone = 0;
            size_t odone = 0;
            soxr_process(st_, in_.data() + done * rates_.channels, frames - done, &idone, out_.data() + at, room,
                         &odone);
            out_.resize(at + odone * rates_.channels);
            done += idone;
        }
        return out_.size() / rates_.channels;
    }
    const int16_t *output() const override { return out_.data(); }

private:
    Rates rates_;
    soxr_t st_;
    std::vector<int16_t> in_;
    std::vector<int16_t> out_;
};

class OursCandidate : public Candidate {
public:
    OursCandidate(const Rates &r, int conv_arg)
        : rates_(r), record_{r.in_hz, r.out_hz, r.channels, static_cast<uint32_t>(conv_arg), nullptr, nullptr}
    {
        if (BSP_UacSrcInit(&record_) != 0) {
            throw std::runtime_error("BSP_UacSrcInit failed");
        }
    }
    ~OursCandidate() override { BSP_UacSrcDeinit(&record_); }
    size_t convert(const int16_t *in, size_t frames) override
    {
        const auto len = static_cast<uint32_t>(frames * rates_.channels * sizeof(int16_t));
        buffer_.resize(BSP_UacSrcGetCapacity(&record_, len) / sizeof(int16_t));
        memcpy(buffer_.data(), in, len);
        const int32_t bytes = BSP_UacSrcProcess(&record_, buffer_.data(), len);
        if (bytes < 0) {
            throw std::runtime_error("BSP_UacSrcProcess failed");
        }
        return static_cast<size_t>(bytes) / (rates_.channels * sizeof(int16_t));
    }
    const int16_t *output() const override { return buffer_.data(); }

private:
    Rates rates_;
    UAC_SRC_S record_;
    std::vector<int16_t> buffer_;
};

} // namespace

std::unique_ptr<Candidate> make_speex(const Rates &rates, int quality)
{
    return std::make_unique<SpeexCandidate>(rates, quality);
}

std::unique_ptr<Candidate> make_soxr(const Rates &rates, int recipe)
{
    return std::make_unique<SoxrCandidate>(rates, recipe);
}

std::unique_ptr<Candidate> make_ours(const Rates &rates, int conv_arg)
{
    return std::make_unique<OursCandidate>(rates, conv_arg);
}
