/* Stand-in for the kernel header of the same name: character devices. Like the
 * kernel's, a cdev from cdev_init() only forgets its inodes on its last
 * reference, while one from cdev_alloc() also frees itself. */
#ifndef FAKE_LINUX_CDEV_H
#define FAKE_LINUX_CDEV_H

#include <linux/kobject.h>
#include <linux/types.h>

#ifdef __cplusplus
extern "C" {
#endif

struct file_operations;
struct module;

struct cdev {
    struct kobject kobj;
    struct module *owner;
    const struct file_operations *ops;
    dev_t dev;
    unsigned int count;
};

void cdev_init(struct cdev *cdev, const struct file_operations *fops);
struct cdev *cdev_alloc(void);
int cdev_add(struct cdev *cdev, dev_t dev, unsigned count);
void cdev_del(struct cdev *cdev);

#ifdef __cplusplus
}
#endif

#endif
