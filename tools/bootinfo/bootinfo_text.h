// How bootinfo names the record's values and slots, and how it prints the record.
#pragma once

#include <cstdio>

#include "bsp_upgrade_inner.h"

namespace bootinfo {

// Names of the known values of the record's words; null for a word that names nothing.
const char *boot_name(BU_U32 word);
const char *upgrade_name(BU_U32 word);
const char *data_name(BU_U32 word);

// Each parser accepts exactly the names above (case-insensitive); false leaves the result alone.
bool parse_boot(const char *text, BOOT_TYPE_E *result);
bool parse_upgrade(const char *text, UPGRADE_TYPE_E *result);
bool parse_data(const char *text, PARTITION_STAT_E *result);

// A slot is a decimal number 0-13 or its partition name.
bool parse_slot(const char *text, PARTITION_TYPE_E *result);

void print_table(FILE *out, const BOOT_INFO_S &record);
void print_json(FILE *out, const BOOT_INFO_S &record);

} // namespace bootinfo
