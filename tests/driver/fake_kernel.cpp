#include "fake_kernel.h"

#include <condition_variable>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

extern "C" {
#include <linux/compat.h>
#include <linux/err.h>
#include <linux/kobject.h>
#include <linux/module.h>
#include <linux/mutex.h>
#include <linux/slab.h>
#include <linux/uaccess.h>
#include <linux/version.h>
}

struct fake_class {
    std::string name;
    module *owner;
};

extern "C" {
struct module __this_module = {"dimmerdev", 0};
}

namespace fake {
namespace {

Kernel *current = new Kernel;

// Guards the fake mutexes; their waiters sleep on the condition.
std::mutex scheduler;
std::condition_variable wakeup;
// Mutexes of records (not DEFINE_MUTEX ones) the calling thread holds.
thread_local int held_locks = 0;
thread_local const char thread_token = 0;

void violation(const std::string &what)
{
    current->violations.push_back(what);
}

void call(const std::string &what)
{
    current->calls.push_back(what);
}

// Runs the step's hook and reports the errno it is told to fail with, or 0.
int step(Step s)
{
    if (auto hook = current->before.find(s); hook != current->before.end()) {
        auto run = hook->second;
        run();
    }
    auto it = current->fail.find(s);
    return it == current->fail.end() ? 0 : it->second;
}

void *allocate(std::size_t size)
{
    void *p = std::calloc(1, size);
    if (p == nullptr)
        std::abort();
    current->allocations[p] = size;
    return p;
}

// Whether the address lies in memory handed out and not freed.
bool alive(const void *p)
{
    auto addr = reinterpret_cast<std::uintptr_t>(p);
    auto it = current->allocations.upper_bound(p);
    if (it == current->allocations.begin())
        return false;
    --it;
    auto start = reinterpret_cast<std::uintptr_t>(it->first);
    return addr >= start && addr < start + it->second;
}

void check_locked(const char *what)
{
    if (held_locks != 1)
        violation(std::string(what) + " without the device lock held");
}

void module_get(module *owner)
{
    if (owner != nullptr)
        ++owner->refcount;
}

void module_put(module *owner)
{
    if (owner != nullptr && --owner->refcount < 0)
        violation("module reference count below zero");
}

void release_default(kobject *) {}

void release_dynamic(kobject *kobj)
{
    kfree(container_of(kobj, struct cdev, kobj));
}

// A cdev from cdev_init() only forgets its inodes; one from cdev_alloc() is freed.
const kobj_type ktype_cdev_default = {release_default};
const kobj_type ktype_cdev_dynamic = {release_dynamic};

void release_devres(device *dev)
{
    for (pwm_device *pwm : current->devres[dev]) {
        if (pwm->in_use != 0)
            violation("the PWM was given back while a command was using it");
        pwm->put = true;
        call("pwm_put");
    }
    current->devres.erase(dev);
}

// A user address handed to the driver as a 32-bit program's: a small handle
// that only compat_ptr() turns back into the address.
unsigned compat_address(const void *p)
{
    if (p == nullptr)
        return 0;
    for (auto &[handle, addr] : current->compat_addresses)
        if (addr == p)
            return handle;
    unsigned handle = 0x1000 + 16 * static_cast<unsigned>(current->compat_addresses.size());
    current->compat_addresses[handle] = p;
    return handle;
}

// A user copy through a 32-bit handle the driver did not convert: a fault.
bool unconverted(const void *p)
{
    return current->compat_addresses.count(static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(p))) != 0 &&
           reinterpret_cast<std::uintptr_t>(p) < 0x10000;
}

} // namespace

pwm_state core_state()
{
    pwm_state s{};
#ifndef FAKE_PWM_LINUX_4_9
    s.usage_power = true;
#endif
    s.vendor_phase = 0x5a;
    return s;
}

Kernel &kernel()
{
    return *current;
}

void reset()
{
    for (auto &[p, size] : current->allocations)
        std::free(const_cast<void *>(p));
    for (auto &[name, cls] : current->classes)
        delete cls;
    for (auto &[name, node] : current->nodes)
        delete node.dev;
    delete current;
    current = new Kernel;
    __this_module.refcount = 0;
}

std::vector<std::string> leftovers()
{
    std::vector<std::string> left;
    if (!current->allocations.empty())
        left.push_back(std::to_string(current->allocations.size()) + " allocation(s)");
    if (!current->regions.empty())
        left.push_back("device-number region");
    if (!current->cdev_map.empty())
        left.push_back("character device");
    if (!current->classes.empty())
        left.push_back("class");
    if (!current->nodes.empty())
        left.push_back("device node");
    if (__this_module.refcount != 0)
        left.push_back("module references");
    for (const pwm_device &pwm : current->pwms)
        if (!pwm.put)
            left.push_back("PWM handle");
    return left;
}

int module_refcount()
{
    return __this_module.refcount;
}

int load_module()
{
    return fake_module_init();
}

int unload_module()
{
    if (__this_module.refcount != 0)
        return -EBUSY;
    fake_module_exit();
    return 0;
}

int bind(platform_device &pdev)
{
    platform_driver *drv = current->driver;
    if (drv == nullptr)
        return -ENODEV;
    bool match = false;
    for (const of_device_id *id = drv->driver.of_match_table; id != nullptr && id->compatible[0] != '\0'; ++id)
        match = match || std::strcmp(id->compatible, pdev.compatible) == 0;
    if (!match)
        return -ENODEV;
    int ret = drv->probe(&pdev);
    if (ret != 0) {
        if (pdev.dev.driver_data != nullptr)
            violation("a failed probe left driver data behind");
        release_devres(&pdev.dev);
        return ret;
    }
    current->bound.push_back(&pdev);
    return 0;
}

void unbind(platform_device &pdev)
{
#if LINUX_VERSION_CODE >= KERNEL_VERSION(6, 11, 0)
    current->driver->remove(&pdev);
#else
    if (current->driver->remove(&pdev) != 0)
        violation("remove returned non-zero");
#endif
    release_devres(&pdev.dev);
    pdev.dev.driver_data = nullptr;
    std::erase(current->bound, &pdev);
}

int open_devt(dev_t devt, OpenFile &of)
{
    auto it = current->cdev_map.find(devt);
    if (it == current->cdev_map.end())
        return -ENXIO;
    cdev *cd = it->second;
    module_get(cd->owner);
    kobject_get(&cd->kobj);
    of.node.i_cdev = cd;
    of.f.f_op = cd->ops;
    module_get(cd->ops->owner);
    int ret = cd->ops->open ? cd->ops->open(&of.node, &of.f) : 0;
    if (ret != 0) {
        module_put(cd->ops->owner);
        module *owner = cd->owner;
        kobject_put(&cd->kobj);
        module_put(owner);
        return ret;
    }
    of.open = true;
    return 0;
}

int open_node(const std::string &name, OpenFile &of)
{
    auto it = current->nodes.find(name);
    return it == current->nodes.end() ? -ENOENT : open_devt(it->second.devt, of);
}

long ioctl(OpenFile &of, unsigned int cmd, const void *arg)
{
    return of.f.f_op->unlocked_ioctl(&of.f, cmd, reinterpret_cast<unsigned long>(arg));
}

long compat_ioctl(OpenFile &of, unsigned int cmd, const void *arg)
{
    if (of.f.f_op->compat_ioctl == nullptr)
        return -ENOTTY;
    return of.f.f_op->compat_ioctl(&of.f, cmd, compat_address(arg));
}

std::thread start_thread(std::function<void()> fn)
{
    auto finished = std::make_shared<bool>(false);
    std::thread t([fn, finished] {
        fn();
        std::lock_guard<std::mutex> guard(scheduler);
        *finished = true;
        wakeup.notify_all();
    });
    std::unique_lock<std::mutex> guard(scheduler);
    wakeup.wait(guard, [&] { return *finished || current->lock_waiters > 0; });
    return t;
}

// As the VFS does: the driver's release first, then the file's hold on the
// cdev and on the module go.
void close(OpenFile &of)
{
    const file_operations *ops = of.f.f_op;
    if (ops->release)
        ops->release(&of.node, &of.f);
    cdev *cd = of.node.i_cdev;
    if (!alive(cd)) {
        violation("the cdev of an open file was freed before the file was closed");
    } else {
        module *owner = cd->owner;
        kobject_put(&cd->kobj);
        module_put(owner);
    }
    module_put(ops->owner);
    of.open = false;
}

} // namespace fake

using fake::call;
using fake::current;
using fake::violation;

extern "C" {

void kobject_init(kobject *kobj, const kobj_type *ktype)
{
    kobj->ktype = ktype;
    kobj->refcount = 1;
}

kobject *kobject_get(kobject *kobj)
{
    if (!fake::alive(kobj))
        violation("kobject_get on freed memory");
    else
        ++kobj->refcount;
    return kobj;
}

void kobject_put(kobject *kobj)
{
    if (!fake::alive(kobj)) {
        violation("kobject_put on freed memory");
        return;
    }
    if (kobj->refcount <= 0) {
        violation("kobject_put without a reference");
        return;
    }
    if (--kobj->refcount == 0 && kobj->ktype != nullptr && kobj->ktype->release != nullptr)
        kobj->ktype->release(kobj);
}

void *kzalloc(size_t size, gfp_t flags)
{
    if (flags != GFP_KERNEL)
        violation("kzalloc with unexpected flags");
    return fake::step(fake::Step::Kzalloc) != 0 ? nullptr : fake::allocate(size);
}

void kfree(const void *ptr)
{
    if (ptr == nullptr)
        return;
    auto it = current->allocations.find(ptr);
    if (it == current->allocations.end()) {
        violation("kfree of memory that is not allocated");
        return;
    }
    // Poison first, so that a later read through a stale pointer shows even
    // without a sanitizer; called through a volatile pointer, as the compiler
    // would drop a plain store to memory about to be freed.
    static void *(*volatile poison)(void *, int, std::size_t) = std::memset;
    poison(const_cast<void *>(ptr), 0x6b, it->second);
    std::free(const_cast<void *>(ptr));
    current->allocations.erase(it);
}

void fake_mutex_init(mutex *lock, const char *name)
{
    lock->name = name;
    lock->locked = 0;
    lock->is_static = 0;
    lock->owner = nullptr;
    current->lock_name = name;
    call(std::string("mutex_init ") + name);
}

void mutex_lock(mutex *lock)
{
    if (!lock->is_static && !fake::alive(lock)) {
        violation("mutex_lock on freed memory");
        return;
    }
    std::unique_lock<std::mutex> guard(fake::scheduler);
    if (lock->locked && lock->owner == &fake::thread_token) {
        violation("mutex_lock on a mutex this thread holds: deadlock");
        return;
    }
    if (lock->locked) {
        ++current->lock_waiters;
        fake::wakeup.notify_all();
        fake::wakeup.wait(guard, [lock] { return !lock->locked; });
        --current->lock_waiters;
    }
    lock->locked = 1;
    lock->owner = &fake::thread_token;
    if (!lock->is_static)
        ++fake::held_locks;
}

void mutex_unlock(mutex *lock)
{
    if (!lock->is_static && !fake::alive(lock)) {
        violation("mutex_unlock on freed memory");
        return;
    }
    std::lock_guard<std::mutex> guard(fake::scheduler);
    if (!lock->locked || lock->owner != &fake::thread_token)
        violation("mutex_unlock of a mutex this thread does not hold");
    lock->locked = 0;
    lock->owner = nullptr;
    if (!lock->is_static)
        --fake::held_locks;
    fake::wakeup.notify_all();
}

unsigned long copy_from_user(void *to, const void *from, unsigned long n)
{
    fake::check_locked("copy_from_user");
    if (fake::unconverted(from)) {
        violation("copy_from_user from a 32-bit address not converted by compat_ptr()");
        return n;
    }
    unsigned long missing = from == current->fault_addr ? current->fault_uncopied : 0;
    std::memcpy(to, from, n - missing);
    return missing;
}

unsigned long copy_to_user(void *to, const void *from, unsigned long n)
{
    fake::check_locked("copy_to_user");
    if (fake::unconverted(to)) {
        violation("copy_to_user to a 32-bit address not converted by compat_ptr()");
        return n;
    }
    unsigned long missing = to == current->fault_addr ? current->fault_uncopied : 0;
    std::memcpy(to, from, n - missing);
    return missing;
}

void cdev_init(cdev *cd, const file_operations *fops)
{
    std::memset(cd, 0, sizeof(*cd));
    kobject_init(&cd->kobj, &fake::ktype_cdev_default);
    cd->ops = fops;
}

cdev *cdev_alloc(void)
{
    if (fake::step(fake::Step::CdevAlloc) != 0)
        return nullptr;
    auto *cd = static_cast<cdev *>(fake::allocate(sizeof(cdev)));
    kobject_init(&cd->kobj, &fake::ktype_cdev_dynamic);
    return cd;
}

int cdev_add(cdev *cd, dev_t dev, unsigned count)
{
    if (int err = fake::step(fake::Step::CdevAdd))
        return err;
    if (cd->owner != &__this_module || cd->ops == nullptr || cd->ops->owner != &__this_module)
        violation("cdev_add: the cdev or its operations do not name this module as owner");
    if (current->regions.count(dev) == 0 || count != 1)
        violation("cdev_add outside the allocated region");
    cd->dev = dev;
    cd->count = count;
    current->cdev_map[dev] = cd;
    call("cdev_add");
    return 0;
}

void cdev_del(cdev *cd)
{
    call("cdev_del");
    if (current->cdev_map.erase(cd->dev) == 0)
        violation("cdev_del of a cdev that was not added");
    kobject_put(&cd->kobj);
}

int alloc_chrdev_region(dev_t *dev, unsigned baseminor, unsigned count, const char *name)
{
    if (int err = fake::step(fake::Step::ChrdevRegion))
        return err;
    *dev = static_cast<dev_t>(current->next_major++) << 20 | baseminor;
    current->regions[*dev] = count;
    call("alloc_chrdev_region " + std::string(name) + " " + std::to_string(baseminor) + " " + std::to_string(count));
    return 0;
}

void unregister_chrdev_region(dev_t dev, unsigned count)
{
    call("unregister_chrdev_region " + std::to_string(count));
    auto it = current->regions.find(dev);
    if (it == current->regions.end() || it->second != count)
        violation("unregister_chrdev_region of a region that was not allocated");
    else
        current->regions.erase(it);
}

void *compat_ptr(compat_uptr_t uptr)
{
    auto it = current->compat_addresses.find(uptr);
    return it == current->compat_addresses.end() ? reinterpret_cast<void *>(std::uintptr_t{uptr})
                                                 : const_cast<void *>(it->second);
}

fake_class *fake_class_create(module *owner, const char *name)
{
    if (int err = fake::step(fake::Step::ClassCreate))
        return static_cast<fake_class *>(ERR_PTR(err));
    // The kernel fails this in sysfs, with a warning and a stack dump.
    if (current->classes.count(name) != 0) {
        violation(std::string("class_create of the existing class ") + name + ": \"cannot create duplicate filename\"");
        return static_cast<fake_class *>(ERR_PTR(-EEXIST));
    }
#if LINUX_VERSION_CODE < KERNEL_VERSION(6, 4, 0)
    if (owner != &__this_module)
        violation("class_create: owner is not this module");
#endif
    auto *cls = new fake_class{name, owner};
    current->classes[name] = cls;
    call("class_create " + cls->name);
    return cls;
}

void class_destroy(fake_class *cls)
{
    if (cls == nullptr || IS_ERR(cls) || current->classes.erase(cls->name) == 0) {
        violation("class_destroy of a class that does not exist");
        return;
    }
    call("class_destroy " + cls->name);
    delete cls;
}

device *device_create(fake_class *cls, device *parent, dev_t devt, void *drvdata, const char *fmt, ...)
{
    if (int err = fake::step(fake::Step::DeviceCreate))
        return static_cast<device *>(ERR_PTR(err));
    char name[64];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(name, sizeof(name), fmt, args);
    va_end(args);
    if (current->nodes.count(name) != 0) {
        violation(std::string("device_create of the existing device ") + name +
                  ": \"cannot create duplicate filename\"");
        return static_cast<device *>(ERR_PTR(-EEXIST));
    }
    if (parent != nullptr || drvdata != nullptr)
        violation("device_create with a parent or driver data");
    auto *dev = new device{};
    current->nodes[name] = fake::Node{devt, cls, dev};
    call("device_create " + std::string(name));
    return dev;
}

void device_destroy(fake_class *cls, dev_t devt)
{
    for (auto it = current->nodes.begin(); it != current->nodes.end(); ++it) {
        if (it->second.cls == cls && it->second.devt == devt) {
            call("device_destroy " + it->first);
            delete it->second.dev;
            current->nodes.erase(it);
            return;
        }
    }
    violation("device_destroy of a node that does not exist");
}

void fake_dev_log(const char *level, const device *, const char *fmt, ...)
{
    char text[256];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof(text), fmt, args);
    va_end(args);
    current->messages.push_back(std::string(level) + ": " + text);
}

int platform_driver_register(platform_driver *drv)
{
    current->driver = drv;
    call("platform_driver_register");
    return 0;
}

void platform_driver_unregister(platform_driver *drv)
{
    while (!current->bound.empty())
        fake::unbind(*current->bound.front());
    if (current->driver == drv)
        current->driver = nullptr;
    call("platform_driver_unregister");
}

pwm_device *devm_pwm_get(device *dev, const char *con_id)
{
    if (int err = fake::step(fake::Step::PwmGet))
        return static_cast<pwm_device *>(ERR_PTR(err));
    if (con_id != nullptr)
        violation("devm_pwm_get with a connection name");
    pwm_device &pwm = current->pwms.emplace_back(pwm_device{static_cast<int>(current->pwms.size()), false, 0});
    current->devres[dev].push_back(&pwm);
    call("devm_pwm_get");
    return &pwm;
}

void pwm_get_state(const pwm_device *pwm, pwm_state *state)
{
    fake::check_locked("pwm_get_state");
    if (pwm->put)
        violation("pwm_get_state on a PWM given back");
    *state = current->hw;
}

} // extern "C"

namespace fake {
namespace {

int apply(pwm_device *pwm, const pwm_state *state)
{
    check_locked("the PWM apply");
    if (pwm->put)
        violation("the PWM apply on a PWM given back");
#ifndef FAKE_PWM_LINUX_4_9
    if (state->usage_power != current->hw.usage_power)
        violation("an applied state lost the core's usage_power");
#endif
    if (state->vendor_phase != current->hw.vendor_phase)
        violation("an applied state lost a field of the core's (vendor_phase)");
    ++pwm->in_use;
    if (current->during_apply) {
        auto run = current->during_apply;
        run();
    }
    --pwm->in_use;
    current->applied.push_back(*state);
    if (current->apply_result == 0)
        current->hw = *state;
    return current->apply_result;
}

} // namespace
} // namespace fake

extern "C" {

#if LINUX_VERSION_CODE >= KERNEL_VERSION(6, 8, 0)
int pwm_apply_might_sleep(pwm_device *pwm, const pwm_state *state)
{
    return fake::apply(pwm, state);
}
#else
int pwm_apply_state(pwm_device *pwm, FAKE_PWM_APPLY_CONST pwm_state *state)
{
    return fake::apply(pwm, state);
}
#endif

} // extern "C"
