// Internal pieces of the stream layer shared between its source files.
#pragma once

#include <cstdint>
#include <cstdio>

#include "xu_uac.h"

// The ALSA card list the gadget card is looked up in.
inline constexpr const char *kUacCardsPath = "/proc/asound/cards";

// Scans an open card list for the gadget card's line; true with the low
// 8 bits of its card number in *card when one is found.
bool uacGadgetCardFromList(FILE *list, uint8_t *card);

// The gadget card's number, or 0 when the list cannot be read or names none.
uint8_t uacLookupGadgetCard();

// Reports a handle that failed the tag word test on standard error under the
// operation's name.
void uacReportBadHandle(const UAC_HANDLE_S *handle, const char *operation);

// The tag word test every handle-taking operation starts with: only the high
// half of the tag word counts. Inline, as it runs on every period.
inline bool uacHandleIsValid(const UAC_HANDLE_S *handle, const char *operation)
{
    // A null handle is reported like a zeroed one instead of being dereferenced.
    if (handle != nullptr && (handle->magic & UAC_HANDLE_MAGIC_MASK) == UAC_HANDLE_MAGIC) {
        return true;
    }
    uacReportBadHandle(handle, operation);
    return false;
}
