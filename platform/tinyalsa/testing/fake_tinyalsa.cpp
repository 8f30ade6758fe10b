#include "fake_tinyalsa.h"

#include <cerrno>
#include <cstring>

namespace fake_tinyalsa {

namespace {

// The object pcm_open hands out: just the stream's index.
struct FakePcm {
    int index;
};

State g_state;
std::vector<FakePcm *> g_objects;

std::string threshold_text(const pcm_config &c)
{
    return std::to_string(c.start_threshold) + "/" + std::to_string(c.stop_threshold) + "/" +
           std::to_string(c.silence_threshold);
}

Stream *stream_of(const struct pcm *pcm)
{
    const int index = index_of(pcm);
    return index < 0 ? nullptr : &g_state.streams[static_cast<std::size_t>(index)];
}

unsigned frame_bytes(const struct pcm *pcm)
{
    const Stream *s = stream_of(pcm);
    if (s == nullptr) {
        return 0;
    }
    unsigned format = 0;
    std::memcpy(&format, &s->open.config.format, sizeof(format));
    return s->open.config.channels * pcm_format_to_bits(static_cast<pcm_format>(format % PCM_FORMAT_MAX)) / 8;
}

void record(Op op, const struct pcm *pcm, const void *data, unsigned count)
{
    if (g_state.transfer_count < kMaxTransfers) {
        g_state.transfers[g_state.transfer_count] = Transfer{op, index_of(pcm), data, count};
    }
    g_state.transfer_count++;
    if (g_state.during_transfer) {
        g_state.during_transfer();
    }
}

int answer(int programmed, int full)
{
    return programmed == kDefault ? full : programmed;
}

} // namespace

std::string OpenCall::node() const
{
    return "/dev/snd/pcmC" + std::to_string(card) + "D" + std::to_string(device) + ((flags & PCM_IN) ? "c" : "p");
}

State &state()
{
    return g_state;
}

void reset()
{
    for (FakePcm *object : g_objects) {
        delete object;
    }
    g_objects.clear();
    g_state = State{};
}

int index_of(const struct pcm *pcm)
{
    const auto *object = reinterpret_cast<const FakePcm *>(pcm);
    for (const FakePcm *known : g_objects) {
        if (known == object) {
            return object->index;
        }
    }
    return -1;
}

int open_stream_count()
{
    int count = 0;
    for (const Stream &s : g_state.streams) {
        count += s.closed ? 0 : 1;
    }
    return count;
}

std::string journal()
{
    std::string out;
    for (std::size_t i = 0; i < g_state.streams.size(); i++) {
        const OpenCall &o = g_state.streams[i].open;
        out += "open " + o.node().substr(std::strlen("/dev/snd/pcm")) + " flags=" + std::to_string(o.flags) + " " +
               std::to_string(o.config.channels) + "ch " + std::to_string(o.config.rate) + "Hz " +
               std::to_string(o.config.period_size) + "x" + std::to_string(o.config.period_count) +
               " thr=" + threshold_text(o.config) + (g_state.streams[i].ready ? "" : " refused") + "; ";
    }
    for (int index : g_state.closes) {
        out += "close " + std::to_string(index) + "; ";
    }
    return out;
}

} // namespace fake_tinyalsa

using namespace fake_tinyalsa;

extern "C" {

struct pcm *pcm_open(unsigned int card, unsigned int device, unsigned int flags, const struct pcm_config *config)
{
    if (g_state.open_yields_null) {
        return nullptr;
    }
    OpenCall call{card, device, flags, *config};
    const bool ready = !g_state.accept || g_state.accept(call);
    std::string error = ready ? "" : "cannot open device '" + call.node() + "': No such file or directory";
    const int index = static_cast<int>(g_state.streams.size());
    g_state.streams.push_back(Stream{call, ready, false, error});
    auto *object = new FakePcm{index};
    g_objects.push_back(object);
    return reinterpret_cast<struct pcm *>(object);
}

int pcm_close(struct pcm *pcm)
{
    Stream *s = stream_of(pcm);
    if (s != nullptr) {
        s->closed = true;
        g_state.closes.push_back(index_of(pcm));
    }
    return 0;
}

int pcm_is_ready(const struct pcm *pcm)
{
    const Stream *s = stream_of(pcm);
    return s != nullptr && s->ready && !s->closed;
}

const char *pcm_get_error(const struct pcm *pcm)
{
    const Stream *s = stream_of(pcm);
    return s != nullptr ? s->error.c_str() : "unknown stream";
}

unsigned int pcm_get_buffer_size(const struct pcm *pcm)
{
    const Stream *s = stream_of(pcm);
    return s != nullptr ? s->open.config.period_size * s->open.config.period_count : 0;
}

unsigned int pcm_format_to_bits(enum pcm_format format)
{
    switch (format) {
    case PCM_FORMAT_S32_LE:
    case PCM_FORMAT_S32_BE:
    case PCM_FORMAT_S24_LE:
    case PCM_FORMAT_S24_BE:
        return 32;
    case PCM_FORMAT_S24_3LE:
    case PCM_FORMAT_S24_3BE:
        return 24;
    case PCM_FORMAT_S8:
        return 8;
    default:
        return 16;
    }
}

unsigned int pcm_frames_to_bytes(const struct pcm *pcm, unsigned int frames)
{
    return frames * frame_bytes(pcm);
}

unsigned int pcm_bytes_to_frames(const struct pcm *pcm, unsigned int bytes)
{
    const unsigned size = frame_bytes(pcm);
    return size == 0 ? 0 : bytes / size;
}

int pcm_writei(struct pcm *pcm, const void *data, unsigned int frame_count)
{
    record(Op::writei, pcm, data, frame_count);
    const Stream *s = stream_of(pcm);
    if (s == nullptr || (s->open.flags & PCM_IN)) {
        return -EINVAL;
    }
    return answer(g_state.write_result, static_cast<int>(frame_count));
}

int pcm_readi(struct pcm *pcm, void *data, unsigned int frame_count)
{
    record(Op::readi, pcm, data, frame_count);
    const Stream *s = stream_of(pcm);
    if (s == nullptr || !(s->open.flags & PCM_IN)) {
        return -EINVAL;
    }
    const int frames = answer(g_state.read_result, static_cast<int>(frame_count));
    if (frames > 0) {
        // Fill what is reported as read, so a short caller buffer shows up under ASan.
        std::memset(data, g_state.read_fill, pcm_frames_to_bytes(pcm, static_cast<unsigned>(frames)));
    }
    return frames;
}

int pcm_mmap_write(struct pcm *pcm, const void *data, unsigned int count)
{
    record(Op::mmap_write, pcm, data, count);
    const Stream *s = stream_of(pcm);
    if (s == nullptr || !(s->open.flags & PCM_MMAP)) {
        return -ENOSYS;
    }
    return answer(g_state.mmap_result, 0);
}

int pcm_mmap_read(struct pcm *pcm, void *data, unsigned int count)
{
    record(Op::mmap_read, pcm, data, count);
    const Stream *s = stream_of(pcm);
    if (s == nullptr || !(s->open.flags & PCM_MMAP) || !(s->open.flags & PCM_IN)) {
        return -ENOSYS;
    }
    return answer(g_state.mmap_result, 0);
}

} // extern "C"
