/* Stand-in for the kernel header of the same name: reference-counted objects.
 * The fake calls the type's release when the count drops to zero. */
#ifndef FAKE_LINUX_KOBJECT_H
#define FAKE_LINUX_KOBJECT_H

#ifdef __cplusplus
extern "C" {
#endif

struct kobject;

struct kobj_type {
    void (*release)(struct kobject *kobj);
};

struct kobject {
    const struct kobj_type *ktype;
    int refcount;
};

void kobject_init(struct kobject *kobj, const struct kobj_type *ktype);
struct kobject *kobject_get(struct kobject *kobj);
void kobject_put(struct kobject *kobj);

#ifdef __cplusplus
}
#endif

#endif
