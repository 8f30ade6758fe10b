// Finds the USB Audio Class 1 gadget's sound card in the ALSA card list.
#include <cctype>
#include <cstring>

#include "proc_files.h"
#include "stream_internal.h"

namespace {

// The gadget's card id, without the closing bracket: ids that merely begin
// with it match too.
constexpr const char *kGadgetIdText = "[UAC1Gadget";
constexpr int kLineBufferSize = 256;

// The decimal number a card-list line starts with (blanks skipped), 0 when
// it starts with none. Unsigned arithmetic wraps modulo 2^32, which keeps the
// low 8 bits of any length of number exact.
uint8_t leadingCardNumber(const char *line)
{
    while (std::isspace(static_cast<unsigned char>(*line))) {
        line++;
    }
    uint32_t number = 0;
    for (; *line >= '0' && *line <= '9'; line++) {
        number = number * 10u + static_cast<uint32_t>(*line - '0');
    }
    return static_cast<uint8_t>(number);
}

} // namespace

bool uacGadgetCardFromList(FILE *list, uint8_t *card)
{
    char line[kLineBufferSize];
    while (std::fgets(line, sizeof(line), list) != nullptr) {
        if (std::strstr(line, kGadgetIdText) != nullptr) {
            *card = leadingCardNumber(line);
            return true;
        }
    }
    return false;
}

uint8_t uacLookupGadgetCard()
{
    uint8_t card = 0;
    FILE *list = uacOpenProcFile(kUacCardsPath, "r");
    if (list == nullptr) {
        return 0;
    }
    if (uacGadgetCardFromList(list, &card)) {
        std::printf("uac_config->card=%d\n", card);
    }
    std::fclose(list);
    return card;
}
