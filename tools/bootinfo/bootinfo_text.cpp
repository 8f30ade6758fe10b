#include "bootinfo_text.h"

#include <strings.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

namespace bootinfo {

namespace {

struct Named {
    BU_U32 value;
    const char *name;
};

constexpr Named kBootNames[] = {{BOOT_E_SYSTEM_A, "A"}, {BOOT_E_SYSTEM_B, "B"}};
constexpr Named kUpgradeNames[] = {{UPGRADE_E_NONE, "none"},
                                   {UPGRADE_E_RUNNING, "running"},
                                   {UPGRADE_E_FAILED, "failed"},
                                   {UPGRADE_E_FINISH, "finish"}};
constexpr Named kDataNames[] = {{PARTITION_STAT_E_OK_DATA, "ok"}, {PARTITION_STAT_E_WRONG_DATA, "wrong"}};

template <size_t N> const char *name_of(const Named (&table)[N], BU_U32 value)
{
    for (const Named &entry : table) {
        if (entry.value == value) {
            return entry.name;
        }
    }
    return nullptr;
}

template <size_t N> bool value_of(const Named (&table)[N], const char *text, BU_U32 *value)
{
    for (const Named &entry : table) {
        if (strcasecmp(entry.name, text) == 0) {
            *value = entry.value;
            return true;
        }
    }
    return false;
}

// The stored words may hold anything, so they are read as plain words, never as enum values.
template <typename T> BU_U32 word_of(const T &field)
{
    static_assert(sizeof(T) == sizeof(BU_U32));
    BU_U32 word;
    memcpy(&word, &field, sizeof(word));
    return word;
}

PARTITION_TYPE_E slot_type(int slot)
{
    return static_cast<PARTITION_TYPE_E>(slot);
}

// "none", or "unknown (N)" for a word that names nothing.
std::string shown(const char *name, BU_U32 word)
{
    return name != nullptr ? std::string(name) : "unknown (" + std::to_string(word) + ")";
}

std::string json_string(const char *text)
{
    std::string out = "\"";
    for (const char *p = text; *p != '\0'; p++) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            snprintf(escaped, sizeof(escaped), "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string json_name(const char *name)
{
    return json_string(name != nullptr ? name : "unknown");
}

struct Row {
    std::string slot, name, upgrade, data;
};

} // namespace

const char *boot_name(BU_U32 word)
{
    return name_of(kBootNames, word);
}

const char *upgrade_name(BU_U32 word)
{
    return name_of(kUpgradeNames, word);
}

const char *data_name(BU_U32 word)
{
    return name_of(kDataNames, word);
}

bool parse_boot(const char *text, BOOT_TYPE_E *result)
{
    BU_U32 value;
    if (!value_of(kBootNames, text, &value)) {
        return false;
    }
    *result = static_cast<BOOT_TYPE_E>(value);
    return true;
}

bool parse_upgrade(const char *text, UPGRADE_TYPE_E *result)
{
    BU_U32 value;
    if (!value_of(kUpgradeNames, text, &value)) {
        return false;
    }
    *result = static_cast<UPGRADE_TYPE_E>(value);
    return true;
}

bool parse_data(const char *text, PARTITION_STAT_E *result)
{
    BU_U32 value;
    if (!value_of(kDataNames, text, &value)) {
        return false;
    }
    *result = static_cast<PARTITION_STAT_E>(value);
    return true;
}

bool parse_slot(const char *text, PARTITION_TYPE_E *result)
{
    const size_t len = strlen(text);
    if (len > 0 && len <= 2 && strspn(text, "0123456789") == len) {
        const int slot = atoi(text);
        if (slot >= PARTITION_E_BUTT) {
            return false;
        }
        *result = slot_type(slot);
        return true;
    }
    for (int slot = 0; slot < PARTITION_E_BUTT; slot++) {
        if (strcasecmp(text, bspPartNumToStr(slot_type(slot))) == 0) {
            *result = slot_type(slot);
            return true;
        }
    }
    return false;
}

void print_table(FILE *out, const BOOT_INFO_S &record)
{
    const BU_U32 boot = word_of(record.enBootType);
    const char *bootName = boot_name(boot);
    fprintf(out, "boot system: %s (%u)\n\n", bootName != nullptr ? bootName : "unknown", boot);

    Row rows[PARTITION_E_BUTT + 1] = {{"slot", "name", "upgrade", "data"}};
    size_t width[3] = {0, 0, 0};
    for (int slot = 0; slot < PARTITION_E_BUTT; slot++) {
        Row &row = rows[slot + 1];
        row.slot = std::to_string(slot);
        row.name = bspPartNumToStr(slot_type(slot));
        const BU_U32 upgrade = word_of(record.aenUpgradeStat[slot]);
        const BU_U32 data = word_of(record.aenPartStat[slot]);
        row.upgrade = shown(upgrade_name(upgrade), upgrade);
        row.data = shown(data_name(data), data);
    }
    for (const Row &row : rows) {
        width[0] = std::max(width[0], row.slot.size());
        width[1] = std::max(width[1], row.name.size());
        width[2] = std::max(width[2], row.upgrade.size());
    }
    for (const Row &row : rows) {
        fprintf(out, "%-*s  %-*s  %-*s  %s\n", static_cast<int>(width[0]), row.slot.c_str(), static_cast<int>(width[1]),
                row.name.c_str(), static_cast<int>(width[2]), row.upgrade.c_str(), row.data.c_str());
    }
}

void print_json(FILE *out, const BOOT_INFO_S &record)
{
    const BU_U32 boot = word_of(record.enBootType);
    fprintf(out, "{\n  \"boot\": %s,\n  \"boot_type\": %u,\n  \"slots\": [\n", json_name(boot_name(boot)).c_str(),
            boot);
    for (int slot = 0; slot < PARTITION_E_BUTT; slot++) {
        const BU_U32 upgrade = word_of(record.aenUpgradeStat[slot]);
        const BU_U32 data = word_of(record.aenPartStat[slot]);
        fprintf(out,
                "    {\"slot\": %d, \"name\": %s, \"upgrade\": %s, \"upgrade_value\": %u, \"data\": %s, "
                "\"data_value\": %u}%s\n",
                slot, json_string(bspPartNumToStr(slot_type(slot))).c_str(), json_name(upgrade_name(upgrade)).c_str(),
                upgrade, json_name(data_name(data)).c_str(), data, slot + 1 < PARTITION_E_BUTT ? "," : "");
    }
    fputs("  ]\n}\n", out);
}

} // namespace bootinfo
