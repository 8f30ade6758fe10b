/* Stand-in for the kernel header of the same name: devices, classes, logging. */
#ifndef FAKE_LINUX_DEVICE_H
#define FAKE_LINUX_DEVICE_H

#include <linux/err.h>
#include <linux/kernel.h>
#include <linux/version.h>

#ifdef __cplusplus
extern "C" {
#endif

struct module;
struct of_device_id;

struct device {
    const char *name;
    void *driver_data;
};

struct device_driver {
    const char *name;
    const struct of_device_id *of_match_table;
};

/* C++ cannot spell "struct class": the test code sees the same pointers under
 * another tag, which the C linkage of these functions does not carry. */
#ifdef __cplusplus
#define FAKE_CLASS fake_class
#else
#define FAKE_CLASS class
#endif
struct FAKE_CLASS;

/* Until 6.4 the class names its module; both forms end in the same fake. */
struct FAKE_CLASS *fake_class_create(struct module *owner, const char *name);
#if LINUX_VERSION_CODE >= KERNEL_VERSION(6, 4, 0)
#define class_create(name) fake_class_create(NULL, (name))
#else
#define class_create(owner, name) fake_class_create((owner), (name))
#endif
void class_destroy(struct FAKE_CLASS *cls);
struct device *device_create(struct FAKE_CLASS *cls, struct device *parent, dev_t devt, void *drvdata, const char *fmt,
                             ...) __attribute__((format(printf, 5, 6)));
void device_destroy(struct FAKE_CLASS *cls, dev_t devt);

void fake_dev_log(const char *level, const struct device *dev, const char *fmt, ...)
    __attribute__((format(printf, 3, 4)));
static inline const char *dev_name(const struct device *dev)
{
    return dev->name;
}

#define dev_err(dev, ...) fake_dev_log("err", (dev), __VA_ARGS__)
#define dev_info(dev, ...) fake_dev_log("info", (dev), __VA_ARGS__)

#ifdef __cplusplus
}
#endif

#endif
