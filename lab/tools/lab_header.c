/*
 * lab_header: the image headers of the boot-information record, for the device
 * lab. The upgrade process, which is not part of this system, writes a new
 * image's header when it finishes an upgrade; the lab plays that part with
 * "set", and its checks read headers back with "show". Goes through the
 * upgrade service like every other reader and writer of the record.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "bsp_upgrade_inner.h"

static const char USAGE[] = "Usage: lab_header show SLOT\n"
                            "       lab_header set SLOT VERSION\n"
                            "\n"
                            "show prints the image header of slot SLOT (0-13) on one line, as\n"
                            "\"name=NAME type=INDEX rest=HEX\": every byte but the name and index in hexadecimal.\n"
                            "set writes a new image header into slot SLOT, as an upgrade that just wrote image\n"
                            "version VERSION would, and stores the record whole.\n"
                            "Exit status: 0 done, 1 the record could not be read or stored, 2 bad command line.\n";

static int parse_slot(const char *text, int *slot)
{
    char *end = NULL;
    long value = strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || value < 0 || value >= PARTITION_E_BUTT) {
        return -1;
    }
    *slot = (int)value;
    return 0;
}

static void print_hex(const unsigned char *bytes, size_t len)
{
    for (size_t i = 0; i < len; i++) {
        printf("%02x", bytes[i]);
    }
}

/* The name and the slot index differ between twins by design; the rest must not. */
static void show(const PART_INFO_HEAD_S *head)
{
    const unsigned char *bytes = (const unsigned char *)head;
    const size_t name_at = offsetof(PART_INFO_HEAD_S, as8PartName);
    const size_t after_type = offsetof(PART_INFO_HEAD_S, enPartType) + sizeof(head->enPartType);
    char name[sizeof(head->as8PartName) + 1];

    memcpy(name, head->as8PartName, sizeof(head->as8PartName));
    name[sizeof(head->as8PartName)] = '\0';
    printf("name=%s type=%u rest=", name, (unsigned)head->enPartType);
    print_hex(bytes, name_at);
    print_hex(bytes + after_type, sizeof(*head) - after_type);
    printf("\n");
}

/* What a finished upgrade leaves: the new image's length, version, date and check words. */
static void fill_new_image(PART_INFO_HEAD_S *head, int slot, BU_U32 version)
{
    head->u32BuildDate = 20260000u + version;
    snprintf(head->as8PartName, sizeof(head->as8PartName), "%s", bspPartNumToStr((PARTITION_TYPE_E)slot));
    head->enPartType = (PARTITION_TYPE_E)slot;
    head->u32ImgLen = 0x100000u + version;
    head->u32ImgCrc32 = 0x5eed0000u ^ (version * 2654435761u);
    head->u32ImgVersion = version;
    for (size_t i = 0; i < sizeof(head->s8Reserve); i++) {
        head->s8Reserve[i] = (BU_CHAR)(version + i);
    }
}

int main(int argc, char **argv)
{
    int slot = 0;
    BOOT_INFO_S record;

    if (argc >= 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
        fputs(USAGE, stdout);
        return 0;
    }
    const int is_show = argc == 3 && strcmp(argv[1], "show") == 0;
    const int is_set = argc == 4 && strcmp(argv[1], "set") == 0;
    if ((!is_show && !is_set) || parse_slot(argv[2], &slot) != 0) {
        fputs(USAGE, stderr);
        return 2;
    }
    memset(&record, 0, sizeof(record));
    if (BSP_GetBootMode(&record) != 0) {
        fprintf(stderr, "lab_header: the record could not be read\n");
        return 1;
    }
    if (is_show) {
        show(&record.astPartInfo[slot]);
        return 0;
    }
    fill_new_image(&record.astPartInfo[slot], slot, (BU_U32)strtoul(argv[3], NULL, 10));
    if (BSP_SetBootMode(&record) != 0) {
        fprintf(stderr, "lab_header: the record could not be stored\n");
        return 1;
    }
    return 0;
}
