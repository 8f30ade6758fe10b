#include "host_side.h"

#include <cstdio>
#include <cstring>
#include <vector>

int cardNumberOf(const std::string &id)
{
    std::FILE *cards = std::fopen("/proc/asound/cards", "r");
    if (cards == nullptr) {
        return -1;
    }
    const std::string wanted = "[" + id;
    char line[256];
    int found = -1;
    while (found < 0 && std::fgets(line, sizeof(line), cards) != nullptr) {
        int number = 0;
        char name[64] = "";
        // " 0 [UAC1Gadget     ]: ..." : the id is padded with blanks.
        if (std::sscanf(line, " %d [%63[^] ]", &number, name) == 2 && id == name) {
            found = number;
        }
    }
    std::fclose(cards);
    return found;
}

HostStream::HostStream(int card, unsigned device, unsigned flags, unsigned channels, unsigned rate)
    : capture_((flags & PCM_IN) != 0)
{
    pcm_config config{};
    config.channels = channels;
    config.rate = rate;
    config.period_size = kPeriodFrames;
    config.period_count = kPeriodCount;
    config.format = PCM_FORMAT_S16_LE;
    pcm_ = pcm_open(static_cast<unsigned>(card), device, flags, &config);
}

bool HostStream::hold()
{
    std::vector<char> period(pcm_frames_to_bytes(pcm_, kPeriodFrames), 0);
    return (capture_ ? pcm_readi(pcm_, period.data(), kPeriodFrames)
                     : pcm_writei(pcm_, period.data(), kPeriodFrames)) >= 0;
}

HostStream::~HostStream()
{
    pcm_close(pcm_);
}

int runClock(const std::string &id, unsigned channels, unsigned rate, unsigned period)
{
    const int card = cardNumberOf(id);
    if (card < 0) {
        std::fprintf(stderr, "clock: no card %s\n", id.c_str());
        return 1;
    }
    pcm_config config{channels, rate, period, 4, PCM_FORMAT_S16_LE, 0, 0, 0};
    pcm *stream = pcm_open(static_cast<unsigned>(card), 0, PCM_OUT, &config);
    if (!pcm_is_ready(stream)) {
        std::fprintf(stderr, "clock: %s\n", pcm_get_error(stream));
        return 1;
    }
    std::vector<char> silence(pcm_frames_to_bytes(stream, period), 0);
    while (pcm_writei(stream, silence.data(), period) >= 0) {
    }
    std::fprintf(stderr, "clock stopped: %s\n", pcm_get_error(stream));
    pcm_close(stream);
    return 1;
}
