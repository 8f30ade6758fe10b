/* The interface header as a C program sees it: it compiles as C, and the
 * record layout is the one of the 1.1 line on every target. */
#include <stddef.h>
#include <tinyalsa/asoundlib.h>

_Static_assert(sizeof(struct pcm_config) == 32, "eight 32-bit members");
_Static_assert(offsetof(struct pcm_config, format) == 16, "format after the four counts");
_Static_assert(offsetof(struct pcm_config, silence_threshold) == 28, "silence threshold last");

unsigned int header_check_frame_bits(void);

unsigned int header_check_frame_bits(void)
{
    struct pcm_config config = {.channels = 2, .rate = 48000, .format = PCM_FORMAT_S24_3LE};
    return config.channels * pcm_format_to_bits(config.format);
}
