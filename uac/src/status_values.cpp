// Picking supported channel counts and rates out of one line of the
// gadget's stream-status file.
#include <cstring>

#include "board_internal.h"
#include "src_mode.h"

namespace {

constexpr const char *kChannelKey = "Channel";
constexpr const char *kRateKey = "Rate";

// A number text holds at most 7 digits: longer runs cannot be a supported
// value (at most 5 digits) and are skipped whole; a line contributes at most
// 8 numbers and later ones are ignored.
constexpr std::size_t kMaxDigits = 7;
constexpr std::size_t kMaxNumbers = 8;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Each maximal run of digits from `text` on, converted by itself, into
// `numbers`; returns how many were taken.
std::size_t collectNumbers(const char *text, int32_t (&numbers)[kMaxNumbers])
{
    std::size_t count = 0;
    while (*text != '\0') {
        if (!isDigit(*text)) {
            text++;
            continue;
        }
        const char *run = text;
        while (isDigit(*text)) {
            text++;
        }
        const std::size_t digits = static_cast<std::size_t>(text - run);
        if (digits > kMaxDigits || count == kMaxNumbers) {
            continue;
        }
        int32_t value = 0;
        for (const char *d = run; d != text; d++) {
            value = value * 10 + (*d - '0');
        }
        numbers[count++] = value;
    }
    return count;
}

} // namespace

extern "C" int32_t _BSP_UAC_CheckValue(uint32_t u32Value, const char *pKey)
{
    if (std::strcmp(pKey, kChannelKey) == 0) {
        return u32Value == 1 || u32Value == 2 ? 0 : -1;
    }
    if (std::strcmp(pKey, kRateKey) == 0) {
        return srcRateAccepted(u32Value) ? 0 : -1;
    }
    return 0;
}

extern "C" int32_t _BSP_UAC_GetValue(const char *pLine, uint32_t *pu32Value, const char *pKey)
{
    const char *key = std::strstr(pLine, pKey);
    if (key == nullptr) {
        return 0;
    }
    int32_t numbers[kMaxNumbers] = {};
    const std::size_t count = collectNumbers(key, numbers);
    // No number after the key: nothing was acceptable.
    int32_t verdict = -1;
    for (std::size_t i = 0; i < count; i++) {
        verdict = _BSP_UAC_CheckValue(static_cast<uint32_t>(numbers[i]), pKey);
        if (verdict == 0) {
            *pu32Value = static_cast<uint32_t>(numbers[i]); // the last acceptable one wins
        }
    }
    return verdict;
}
