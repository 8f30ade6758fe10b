// Command-line handling of bootinfo: parse, read the record, show or change it, store it whole.
#include <cstring>
#include <string>
#include <vector>

#include "bootinfo.h"
#include "bootinfo_text.h"
#include "tool_options.h"
#include "tool_report.h"

namespace {

constexpr const char *USAGE = "Usage: bootinfo [show] [--json]\n"
                              "       bootinfo set boot A|B [--force]\n"
                              "       bootinfo set upgrade SLOT none|running|failed|finish [--force]\n"
                              "       bootinfo set data SLOT ok|wrong [--force]\n"
                              "\n"
                              "Shows or changes the boot-information record kept by the upgrade service.\n"
                              "show prints the boot system and, for each slot 0-13, its name, upgrade status and\n"
                              "data status; --json prints the same as JSON. set changes one field and stores the\n"
                              "record whole. SLOT is a number 0-13 or a partition name (ipl, ipl_cust_a, ..., log).\n"
                              "\n"
                              "  --json    show the record as JSON\n"
                              "  --force   store the change even when the record could not be read, on top of the\n"
                              "            record the service returned in its place\n"
                              "  --help    show this help\n"
                              "\n"
                              "Exit status: 0 done, 1 the record could not be read or stored, 2 bad command line.\n";

struct Options {
    bool json = false;
    bool force = false;
    bool help = false;
    std::vector<std::string> words;
};

// One change to the record, checked in full before the record is read.
struct Change {
    enum class Field { Boot, Upgrade, Data } field;
    PARTITION_TYPE_E slot = PARTITION_E_IPL;
    BOOT_TYPE_E boot = BOOT_E_SYSTEM_A;
    UPGRADE_TYPE_E upgrade = UPGRADE_E_NONE;
    PARTITION_STAT_E data = PARTITION_STAT_E_OK_DATA;
};

constexpr tool_kit::Option kOptions[] = {{"--help", "-h"}, {"--json"}, {"--force"}};

bool parse_options(int argc, char **argv, Options *options, std::string *error)
{
    const tool_kit::ParseError parsed = tool_kit::parse_args(tool_kit::args_of(argc, argv), kOptions,
                                                             [options](const tool_kit::Arg &arg, std::string *) {
                                                                 if (arg.option == nullptr) {
                                                                     options->words.emplace_back(arg.text);
                                                                 } else if (arg.text == "--help") {
                                                                     options->help = true;
                                                                 } else if (arg.text == "--json") {
                                                                     options->json = true;
                                                                 } else {
                                                                     options->force = true;
                                                                 }
                                                                 return tool_kit::Next::Go;
                                                             });
    *error = parsed.message;
    return error->empty();
}

bool parse_slot_arg(const char *text, PARTITION_TYPE_E *slot, std::string *error)
{
    if (!bootinfo::parse_slot(text, slot)) {
        *error = std::string("unknown slot '") + text + "' (a number 0-13 or a name such as kernel_a)";
        return false;
    }
    return true;
}

// words: "set", field, then the field's arguments.
bool parse_change(const std::vector<std::string> &words, Change *change, std::string *error)
{
    const size_t n = words.size();
    const std::string field = n > 1 ? words[1] : "";
    if (field == "boot") {
        change->field = Change::Field::Boot;
        if (n != 3) {
            *error = "usage: bootinfo set boot A|B";
            return false;
        }
        if (!bootinfo::parse_boot(words[2].c_str(), &change->boot)) {
            *error = std::string("unknown boot system '") + words[2] + "' (A or B)";
            return false;
        }
        return true;
    }
    if (field == "upgrade") {
        change->field = Change::Field::Upgrade;
        if (n != 4) {
            *error = "usage: bootinfo set upgrade SLOT none|running|failed|finish";
            return false;
        }
        if (!parse_slot_arg(words[2].c_str(), &change->slot, error)) {
            return false;
        }
        if (!bootinfo::parse_upgrade(words[3].c_str(), &change->upgrade)) {
            *error = std::string("unknown upgrade status '") + words[3] + "' (none, running, failed or finish)";
            return false;
        }
        return true;
    }
    if (field == "data") {
        change->field = Change::Field::Data;
        if (n != 4) {
            *error = "usage: bootinfo set data SLOT ok|wrong";
            return false;
        }
        if (!parse_slot_arg(words[2].c_str(), &change->slot, error)) {
            return false;
        }
        if (!bootinfo::parse_data(words[3].c_str(), &change->data)) {
            *error = std::string("unknown data status '") + words[3] + "' (ok or wrong)";
            return false;
        }
        return true;
    }
    *error =
        n > 1 ? "unknown field '" + field + "' (boot, upgrade or data)" : "set needs a field: boot, upgrade or data";
    return false;
}

void apply(const Change &change, BOOT_INFO_S *record)
{
    switch (change.field) {
    case Change::Field::Boot:
        record->enBootType = change.boot;
        break;
    case Change::Field::Upgrade:
        record->aenUpgradeStat[change.slot] = change.upgrade;
        break;
    case Change::Field::Data:
        record->aenPartStat[change.slot] = change.data;
        break;
    }
}

int show(const Options &options, const tool_kit::Tool &tool)
{
    BOOT_INFO_S record;
    memset(&record, 0, sizeof(record));
    if (BSP_GetBootMode(&record) != 0) {
        return tool_kit::fail(tool, "cannot read the boot-information record: %s", BSP_GetUpgradeError());
    }
    FILE *out = tool.out;
    if (options.json) {
        bootinfo::print_json(out, record);
    } else {
        bootinfo::print_table(out, record);
    }
    return fflush(out) == 0 ? BOOTINFO_OK : BOOTINFO_FAILED;
}

int set(const Options &options, const Change &change, const tool_kit::Tool &tool)
{
    BOOT_INFO_S record;
    memset(&record, 0, sizeof(record));
    if (BSP_GetBootMode(&record) != 0) {
        if (!options.force) {
            return tool_kit::fail(tool,
                                  "cannot read the boot-information record: %s; nothing stored.\n"
                                  "Use --force to store the change on top of the service's default record.",
                                  BSP_GetUpgradeError());
        }
        tool_kit::say(tool,
                      "cannot read the boot-information record: %s; --force: storing the change on top of the "
                      "service's default record",
                      BSP_GetUpgradeError());
    }
    apply(change, &record);
    if (BSP_SetBootMode(&record) != 0) {
        return tool_kit::fail(tool, "storing the boot-information record failed: %s", BSP_GetUpgradeError());
    }
    return BOOTINFO_OK;
}

} // namespace

int bootinfo_run(int argc, char **argv, FILE *out, FILE *err)
{
    const tool_kit::Tool tool{"bootinfo", out, err};
    Options options;
    std::string error;
    if (!parse_options(argc, argv, &options, &error)) {
        return tool_kit::usage_error(tool, error);
    }
    if (options.help) {
        return tool_kit::show_usage(tool, USAGE);
    }

    const std::vector<std::string> &words = options.words;
    if (words.empty() || words[0] == "show") {
        if (words.size() > 1) {
            return tool_kit::usage_error(tool, "show takes no arguments, not '" + words[1] + "'");
        }
        if (options.force) {
            return tool_kit::usage_error(tool, "--force applies to set only");
        }
        return show(options, tool);
    }
    if (words[0] == "set") {
        if (options.json) {
            return tool_kit::usage_error(tool, "--json applies to show only");
        }
        Change change{};
        if (!parse_change(words, &change, &error)) {
            return tool_kit::usage_error(tool, error);
        }
        return set(options, change, tool);
    }
    return tool_kit::usage_error(tool, "unknown command '" + words[0] + "' (show or set)");
}

int bootinfo_main(int argc, char **argv)
{
    return bootinfo_run(argc, argv, stdout, stderr);
}
