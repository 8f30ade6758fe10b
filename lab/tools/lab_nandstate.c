/*
 * lab_nandstate: carries the simulated NAND of the device lab from one VM to
 * the next. nandsim keeps the chip in RAM, so at power-off every partition goes
 * to the raw state disk and at the next power-on comes back, block for block.
 *
 * The disk mirrors the chip: page i of the chip at byte i * page size, followed,
 * after the last erase block, by a map of one byte per page (1: the page holds
 * data, 0: it is erased, or its block is bad). Only pages that hold data are
 * written to the disk and back to the flash: erased pages stay unwritten, as
 * the flash held them, and the disk stays sparse.
 *
 * The chip is read raw (no ECC): nandsim flips no bits here, so the raw data is
 * the data, and a power-off no longer pays for the ECC of 128 MiB under the
 * emulator. It is written back through the ECC, which stores the matching ECC
 * bytes in the spare area.
 */
#include <errno.h>
#include <fcntl.h>
#include <mtd/mtd-user.h>
#include <stdint.h>
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

static int open_part(const char *path, int save, struct part *p)
{
    p->path = path;
    p->fd = open(path, O_RDWR);
    if (p->fd < 0 || ioctl(p->fd, MEMGETINFO, &p->info) != 0 ||
        (save && ioctl(p->fd, MTDFILEMODE, MTD_FILE_MODE_RAW) != 0)) {
        fprintf(stderr, "lab_nandstate: %s: %s\n", path, strerror(errno));
        return -1;
    }
    return 0;
}

/* Word by word: under the emulator a byte loop over the whole chip costs
 * seconds. Pages are word-aligned in the block buffer. */
static int is_erased(const unsigned char *buf, size_t len)
{
    const uint32_t *word = (const uint32_t *)(const void *)buf;
    for (size_t i = 0; i < len / sizeof(*word); i++) {
        if (word[i] != UINT32_MAX) {
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

/* The pages of one block that hold data, each run of them in one write;
 * map[] gets one byte per page of the block. */
static int save_block(const struct part *p, loff_t at, int disk, off_t disk_at, unsigned char *buf, char *map)
{
    const size_t len = p->info.erasesize, page = p->info.writesize;
    memset(map, 0, len / page);
    if (is_bad(p, at)) {
        return 0;
    }
    if (full_pread(p->fd, buf, len, at) != 0) {
        return -1;
    }
    size_t run = 0; /* pages in the run that ends before page i */
    for (size_t i = 0; i <= len / page; i++) {
        if (i < len / page && !is_erased(buf + i * page, page)) {
            map[i] = 1;
            run++;
            continue;
        }
        const size_t first = i - run;
        if (run > 0 && full_pwrite(disk, buf + first * page, run * page, disk_at + (off_t)(first * page)) != 0) {
            return -1;
        }
        run = 0;
    }
    return 0;
}

/* The block's pages that held data, back through the ECC, each run of them
 * read from the disk and written in one go. */
static int restore_block(const struct part *p, loff_t at, int disk, off_t disk_at, unsigned char *buf, const char *map)
{
    const size_t len = p->info.erasesize, page = p->info.writesize;
    size_t used = 0;
    for (size_t i = 0; i < len / page; i++) {
        used += map[i] != 0;
    }
    if (used == 0 || is_bad(p, at)) {
        return 0;
    }
    size_t run = 0;
    for (size_t i = 0; i <= len / page; i++) {
        if (i < len / page && map[i]) {
            run++;
            continue;
        }
        const size_t first = i - run, bytes = run * page;
        if (run > 0 && (full_pread(disk, buf, bytes, disk_at + (off_t)(first * page)) != 0 ||
                        full_pwrite(p->fd, buf, bytes, at + (loff_t)(first * page)) != 0)) {
            return -1;
        }
        run = 0;
    }
    return 0;
}

static int run(int save, int disk, struct part *parts, int count)
{
    const size_t block = parts[0].info.erasesize, page = parts[0].info.writesize;
    size_t blocks = 0;
    for (int i = 0; i < count; i++) {
        blocks += parts[i].info.size / block;
    }
    const size_t pages_per_block = block / page;
    unsigned char *buf = malloc(block);
    char *map = calloc(blocks * pages_per_block, 1);
    const off_t map_at = (off_t)(blocks * block);
    if (buf == NULL || map == NULL || (!save && full_pread(disk, map, blocks * pages_per_block, map_at) != 0)) {
        fprintf(stderr, "lab_nandstate: no memory or no map on the disk\n");
        free(buf);
        free(map);
        return -1;
    }
    size_t n = 0;
    int ret = 0;
    for (int i = 0; i < count && ret == 0; i++) {
        for (loff_t at = 0; at < (loff_t)parts[i].info.size && ret == 0; at += (loff_t)block, n++) {
            const off_t disk_at = (off_t)(n * block);
            char *block_map = map + n * pages_per_block;
            ret = save ? save_block(&parts[i], at, disk, disk_at, buf, block_map)
                       : restore_block(&parts[i], at, disk, disk_at, buf, block_map);
            if (ret != 0) {
                fprintf(stderr, "lab_nandstate: %s block %lld: %s\n", parts[i].path, (long long)(at / (loff_t)block),
                        strerror(errno));
            }
        }
    }
    if (ret == 0 && save && (full_pwrite(disk, map, blocks * pages_per_block, map_at) != 0 || fsync(disk) != 0)) {
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
        if (open_part(argv[i + 3], save, &parts[i]) != 0 || parts[i].info.erasesize != parts[0].info.erasesize ||
            parts[i].info.writesize != parts[0].info.writesize) {
            return 1;
        }
    }
    return run(save, disk, parts, count) == 0 ? 0 : 1;
}
