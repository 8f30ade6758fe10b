/*
 * lab_nandstate: carries the simulated NAND of the device lab from one VM to
 * the next. nandsim keeps the chip in RAM, so at power-off every partition goes
 * to the raw state disk and at the next power-on comes back, block for block.
 *
 * The disk mirrors the chip: erase block i of the chip at byte i * erase size,
 * followed by a map of one byte per block (1: the block holds data, 0: it is
 * erased or bad). Erased blocks are neither written to the disk nor back to the
 * flash, and erased pages inside a block stay unwritten, as the flash held them.
 */
#include <errno.h>
#include <fcntl.h>
#include <mtd/mtd-user.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

static const char USAGE[] = "Usage: lab_nandstate save|restore DISK MTD-DEVICE...\n"
                            "\n"
                            "save writes the partitions, in the order given (the chip's order), to DISK;\n"
                            "restore writes them back onto freshly erased partitions of the same layout.\n"
                            "Bad blocks are skipped both ways: each block keeps its place.\n";

struct part {
    int fd;
    struct mtd_info_user info;
    const char *path;
};

static int open_part(const char *path, struct part *p)
{
    p->path = path;
    p->fd = open(path, O_RDWR);
    if (p->fd < 0 || ioctl(p->fd, MEMGETINFO, &p->info) != 0) {
        fprintf(stderr, "lab_nandstate: %s: %s\n", path, strerror(errno));
        return -1;
    }
    return 0;
}

static int is_erased(const unsigned char *buf, size_t len)
{
    for (size_t i = 0; i < len; i++) {
        if (buf[i] != 0xFF) {
            return 0;
        }
    }
    return 1;
}

static int is_bad(const struct part *p, loff_t offset)
{
    return ioctl(p->fd, MEMGETBADBLOCK, &offset) > 0;
}

static int full_pread(int fd, void *buf, size_t len, off_t offset)
{
    return pread(fd, buf, len, offset) == (ssize_t)len ? 0 : -1;
}

static int full_pwrite(int fd, const void *buf, size_t len, off_t offset)
{
    return pwrite(fd, buf, len, offset) == (ssize_t)len ? 0 : -1;
}

/* One block of one partition; *used says whether the disk holds it. */
static int save_block(const struct part *p, loff_t at, int disk, off_t disk_at, unsigned char *buf, char *used)
{
    const size_t len = p->info.erasesize;
    *used = 0;
    if (is_bad(p, at)) {
        return 0;
    }
    /* A read error (ECC) is part of the state: the page is saved as read. */
    if (pread(p->fd, buf, len, at) != (ssize_t)len && errno != EBADMSG && errno != EUCLEAN) {
        return -1;
    }
    if (is_erased(buf, len)) {
        return 0;
    }
    *used = 1;
    return full_pwrite(disk, buf, len, disk_at);
}

static int restore_block(const struct part *p, loff_t at, int disk, off_t disk_at, unsigned char *buf)
{
    const size_t page = p->info.writesize;
    if (is_bad(p, at)) {
        return 0;
    }
    if (full_pread(disk, buf, p->info.erasesize, disk_at) != 0) {
        return -1;
    }
    for (size_t off = 0; off < p->info.erasesize; off += page) {
        if (!is_erased(buf + off, page) && full_pwrite(p->fd, buf + off, page, at + (loff_t)off) != 0) {
            return -1;
        }
    }
    return 0;
}

static int run(int save, int disk, struct part *parts, int count)
{
    const size_t block = parts[0].info.erasesize;
    size_t blocks = 0;
    for (int i = 0; i < count; i++) {
        blocks += parts[i].info.size / block;
    }
    unsigned char *buf = malloc(block);
    char *map = calloc(blocks, 1);
    const off_t map_at = (off_t)(blocks * block);
    if (buf == NULL || map == NULL || (!save && full_pread(disk, map, blocks, map_at) != 0)) {
        fprintf(stderr, "lab_nandstate: no memory or no map on the disk\n");
        return -1;
    }
    size_t n = 0;
    int ret = 0;
    for (int i = 0; i < count && ret == 0; i++) {
        for (loff_t at = 0; at < (loff_t)parts[i].info.size && ret == 0; at += (loff_t)block, n++) {
            const off_t disk_at = (off_t)(n * block);
            if (save) {
                ret = save_block(&parts[i], at, disk, disk_at, buf, &map[n]);
            } else if (map[n]) {
                ret = restore_block(&parts[i], at, disk, disk_at, buf);
            }
            if (ret != 0) {
                fprintf(stderr, "lab_nandstate: %s block %lld: %s\n", parts[i].path, (long long)(at / (loff_t)block),
                        strerror(errno));
            }
        }
    }
    if (ret == 0 && save && (full_pwrite(disk, map, blocks, map_at) != 0 || fsync(disk) != 0)) {
        ret = -1;
    }
    free(buf);
    free(map);
    return ret;
}

int main(int argc, char **argv)
{
    if (argc > 1 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
        fputs(USAGE, stdout);
        return 0;
    }
    if (argc < 4 || (strcmp(argv[1], "save") != 0 && strcmp(argv[1], "restore") != 0)) {
        fputs(USAGE, stderr);
        return 2;
    }
    const int save = strcmp(argv[1], "save") == 0;
    const int disk = open(argv[2], save ? O_WRONLY : O_RDONLY);
    const int count = argc - 3;
    struct part *parts = calloc((size_t)count, sizeof(*parts));
    if (disk < 0 || parts == NULL) {
        fprintf(stderr, "lab_nandstate: %s: %s\n", argv[2], strerror(errno));
        return 1;
    }
    for (int i = 0; i < count; i++) {
        if (open_part(argv[i + 3], &parts[i]) != 0 || parts[i].info.erasesize != parts[0].info.erasesize) {
            return 1;
        }
    }
    return run(save, disk, parts, count) == 0 ? 0 : 1;
}
