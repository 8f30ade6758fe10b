/* Stand-in for the kernel header of the same name: files and device numbers. */
#ifndef FAKE_LINUX_FS_H
#define FAKE_LINUX_FS_H

#include <linux/types.h>

#ifdef __cplusplus
extern "C" {
#endif

struct cdev;
struct module;

struct inode {
    struct cdev *i_cdev;
};

struct file {
    const struct file_operations *f_op;
    void *private_data;
};

/* Only the operations dimmerdev may set: any other one fails to compile. */
struct file_operations {
    struct module *owner;
    long (*unlocked_ioctl)(struct file *file, unsigned int cmd, unsigned long arg);
    long (*compat_ioctl)(struct file *file, unsigned int cmd, unsigned long arg);
    int (*open)(struct inode *inode, struct file *file);
    int (*release)(struct inode *inode, struct file *file);
};

int alloc_chrdev_region(dev_t *dev, unsigned baseminor, unsigned count, const char *name);
void unregister_chrdev_region(dev_t dev, unsigned count);

#ifdef __cplusplus
}
#endif

#endif
