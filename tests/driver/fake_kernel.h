// The kernel as dimmerdev meets it, faked for host tests: the driver core that
// binds and unbinds, the VFS that opens and closes the node (also for 32-bit
// programs), a PWM core that records every applied state, and checks of the
// rules the driver must keep (lock held around the PWM and user copies, no use
// of freed memory or of a PWM given back, states passed on whole, no name
// created twice). Every step that can fail in the kernel can be made to fail.
// Mutexes block as in the kernel, so that a test can run a second thread.
#pragma once

extern "C" {
#include <linux/cdev.h>
#include <linux/fs.h>
#include <linux/mod_devicetable.h>
#include <linux/platform_device.h>
#include <linux/pwm.h>
}

#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace fake {

// Kernel calls of the probe that can fail, in the order the probe makes them.
enum class Step { CdevAlloc, Kzalloc, PwmGet, ChrdevRegion, CdevAdd, ClassCreate, DeviceCreate };

struct Node {
    dev_t devt;
    fake_class *cls;
    device *dev;
};

// A state as the PWM core holds it: besides what the driver sets, fields that
// only the core knows (usage_power, a vendor kernel's own), which every applied
// state must carry on unchanged.
pwm_state core_state();

struct Kernel {
    // What the driver did, in order: resources taken and given back.
    std::vector<std::string> calls;
    // dev_err and dev_info output, as "err: text" and "info: text".
    std::vector<std::string> messages;
    // Broken rules; a correct driver leaves this empty.
    std::vector<std::string> violations;

    // Failure injection: a step listed here fails with this (negative) errno.
    std::map<Step, int> fail;
    // Runs when a step is reached, before it succeeds or fails.
    std::map<Step, std::function<void()>> before;

    // The PWM core: the output's state, every state applied to it, and what
    // the apply answers (the state is taken only when this is 0).
    pwm_state hw = core_state();
    std::vector<pwm_state> applied;
    int apply_result = 0;
    std::deque<pwm_device> pwms;
    // Runs inside the PWM core's apply, while the PWM is in use.
    std::function<void()> during_apply;

    // User memory: copies from or to this address leave that many bytes uncopied.
    const void *fault_addr = nullptr;
    unsigned long fault_uncopied = 0;

    std::string lock_name;
    int lock_waiters = 0; // threads blocked on a mutex
    std::map<unsigned, const void *> compat_addresses;
    std::map<const void *, std::size_t> allocations;
    std::map<dev_t, unsigned> regions;
    std::map<dev_t, cdev *> cdev_map;
    std::map<std::string, fake_class *> classes;
    std::map<std::string, Node> nodes;
    std::map<const device *, std::vector<pwm_device *>> devres;
    platform_driver *driver = nullptr;
    std::vector<platform_device *> bound;
    unsigned next_major = 240;
};

Kernel &kernel();
// Forgets everything and frees what the driver left behind.
void reset();
// Whether nothing the driver created is left: memory, numbers, devices, references.
std::vector<std::string> leftovers();
int module_refcount();

// The driver core.
int load_module();
int unload_module(); // -EBUSY while the module is in use, like delete_module
int bind(platform_device &pdev);
void unbind(platform_device &pdev);

// The VFS: one open file of a character device.
struct OpenFile {
    inode node{};
    file f{};
    bool open = false;
};
int open_devt(dev_t devt, OpenFile &of);
int open_node(const std::string &name, OpenFile &of);
long ioctl(OpenFile &of, unsigned int cmd, const void *arg);
// The same from a 32-bit program on a 64-bit kernel: the argument reaches the
// driver as a 32-bit user address; -ENOTTY without a compat_ioctl, as the VFS.
long compat_ioctl(OpenFile &of, unsigned int cmd, const void *arg);
void close(OpenFile &of);

// Starts fn on a thread of its own and returns once it has finished or is
// blocked on a mutex held by another thread (no timing involved).
std::thread start_thread(std::function<void()> fn);

} // namespace fake
