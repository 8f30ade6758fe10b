/* Stand-in for the kernel header of the same name: the module's identity and
 * information, kept in symbols that the tests read. */
#ifndef FAKE_LINUX_MODULE_H
#define FAKE_LINUX_MODULE_H

#include <linux/errno.h>
#include <linux/kernel.h>

#ifdef __cplusplus
extern "C" {
#endif

struct module {
    const char *name;
    int refcount; /* held by open files and character devices */
};

extern struct module __this_module;
#define THIS_MODULE (&__this_module)

extern const char fake_module_description[];
extern const char fake_module_license[];
extern const void *const fake_module_device_table_of;

#define MODULE_DESCRIPTION(text) const char fake_module_description[] = text
#define MODULE_LICENSE(text) const char fake_module_license[] = text
#define MODULE_DEVICE_TABLE(type, table) const void *const fake_module_device_table_##type = table

/* The module's entry points, defined by module_platform_driver(). */
int fake_module_init(void);
void fake_module_exit(void);

#ifdef __cplusplus
}
#endif

#endif
