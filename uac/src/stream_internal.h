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

// The tag word test every handle-taking operation starts with. Reports a
// failing handle on standard error under the operation's name.
bool uacHandleIsValid(const UAC_HANDLE_S *handle, const char *operation);
