/* Stand-in for the kernel header of the same name: platform drivers. */
#ifndef FAKE_LINUX_PLATFORM_DEVICE_H
#define FAKE_LINUX_PLATFORM_DEVICE_H

#include <linux/device.h>
#include <linux/module.h>
#include <linux/version.h>

#ifdef __cplusplus
extern "C" {
#endif

struct platform_device {
    const char *compatible; /* what the node's compatible property says */
    struct device dev;
};

/* remove returns nothing from 6.11 on. */
#if LINUX_VERSION_CODE >= KERNEL_VERSION(6, 11, 0)
typedef void fake_remove_result;
#else
typedef int fake_remove_result;
#endif

struct platform_driver {
    int (*probe)(struct platform_device *pdev);
    fake_remove_result (*remove)(struct platform_device *pdev);
    struct device_driver driver;
};

int platform_driver_register(struct platform_driver *drv);
void platform_driver_unregister(struct platform_driver *drv);

static inline void *platform_get_drvdata(const struct platform_device *pdev)
{
    return pdev->dev.driver_data;
}

static inline void platform_set_drvdata(struct platform_device *pdev, void *data)
{
    pdev->dev.driver_data = data;
}

#define module_platform_driver(drv)                                                                                    \
    int fake_module_init(void)                                                                                         \
    {                                                                                                                  \
        return platform_driver_register(&(drv));                                                                       \
    }                                                                                                                  \
    void fake_module_exit(void)                                                                                        \
    {                                                                                                                  \
        platform_driver_unregister(&(drv));                                                                            \
    }                                                                                                                  \
    extern int fake_module_entry_points_defined

#ifdef __cplusplus
}
#endif

#endif
