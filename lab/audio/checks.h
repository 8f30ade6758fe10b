// The lab's audio checks, one function per subcommand of lab_uac. Each prints
// its result lines (report.h) and returns the process's exit status.
#pragma once

#include <string>
#include <vector>

using Args = std::vector<std::string>;

int checkStream(const Args &args);  // stream SECONDS
int checkAdapt(const Args &args);   // adapt LABEL HOST_CH HOST_RATE REQ_CH REQ_RATE RESULT CH RATE SECONDS
int checkConvert(const Args &args); // convert SECONDS
int checkVanish(const Args &args);  // vanish DRIVER_DIR DEVICE
int checkBusy(const Args &args);    // busy
int checkSuspend(const Args &args); // suspend
int checkGadget(const Args &args);  // gadget HOST_CARD_ID
int makeWav(const Args &args);      // makewav FILE SECONDS
int hostPlay(const Args &args);     // hostplay FILE [strict]
int hostRecord(const Args &args);   // hostrec FILE SECONDS
int compareWav(const Args &args);   // wavcompare SENT RECEIVED LABEL
int checkWrap(const Args &args);    // wrap PATH
int probeStalls(const Args &args);  // stalls SECONDS
