// A scriptable stand-in for the upgrade service, linked into guide tests.
// It logs every command line, answers each with a programmed status, keeps
// the record in memory and keeps every stored record.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "bsp_upgrade_inner.h"

namespace fake_upgrade {

struct Rule {
    std::string command; // exact command line
    int status;          // what BU_RunCmd answers
    int times;           // how many matching calls it answers; -1 for all
};

struct State {
    std::vector<std::string> commands;
    std::vector<Rule> rules;
    BOOT_INFO_S record{};
    int get_status = 0;
    int set_status = 0;
    // Statuses of the next stores, in order; set_status once they are used up.
    std::vector<int> set_sequence;
    int copy_status = 0;
    // What BSP_GetUpgradeError answers after a failed read, store or copy ("" after a success).
    std::string cause = "stand-in failure";
    std::string last_error;
    std::vector<BOOT_INFO_S> stores;
    std::vector<std::pair<int, int>> copies; // (source, destination)
};

State &state();
void reset(const BOOT_INFO_S &record);

// The next `times` calls with exactly this line answer `status` (default: fail always).
void answer(const std::string &command, int status = 1, int times = -1);

// A record as a device holds it after a normal boot: every slot named and good.
BOOT_INFO_S sample_record(int boot_type);

} // namespace fake_upgrade
