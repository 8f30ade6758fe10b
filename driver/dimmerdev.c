// SPDX-License-Identifier: GPL-2.0
/*
 * dimmerdev: publishes the PWM of a "vendor,pwm-ioctl" node as /dev/pwm_ctrl.
 *
 * Every command reads the PWM core's current state under the device's one
 * mutex, changes a copy and applies the whole copy in one call; the driver
 * keeps no setting of its own. The commands and records are in pwm_ioctl.h.
 */
#include <linux/bug.h>
#include <linux/cdev.h>
#include <linux/compat.h>
#include <linux/device.h>
#include <linux/err.h>
#include <linux/fs.h>
#include <linux/kobject.h>
#include <linux/mod_devicetable.h>
#include <linux/module.h>
#include <linux/mutex.h>
#include <linux/platform_device.h>
#include <linux/pwm.h>
#include <linux/slab.h>
#include <linux/stddef.h>
#include <linux/uaccess.h>
#include <linux/version.h>

#include "pwm_ioctl.h"

/*
 * The kernel interfaces that changed between the kernels a board may run
 * (4.9 on the device, 6.1 and 6.12 in Debian 12), and only those:
 * 6.4  class_create() lost its module argument;
 * 6.8  pwm_apply_state() was renamed pwm_apply_might_sleep();
 * 6.11 a platform driver's remove returns nothing.
 */
#if LINUX_VERSION_CODE >= KERNEL_VERSION(6, 4, 0)
#define pwm_ioctl_class_create(name) class_create(name)
#else
#define pwm_ioctl_class_create(name) class_create(THIS_MODULE, name)
#endif
#if LINUX_VERSION_CODE >= KERNEL_VERSION(6, 8, 0)
#define pwm_ioctl_apply pwm_apply_might_sleep
#else
#define pwm_ioctl_apply pwm_apply_state
#endif
#if LINUX_VERSION_CODE >= KERNEL_VERSION(6, 11, 0)
#define PWM_IOCTL_REMOVE_TYPE void
#define PWM_IOCTL_REMOVED
#else
#define PWM_IOCTL_REMOVE_TYPE int
#define PWM_IOCTL_REMOVED 0
#endif

/*
 * One record per bound platform device. Its memory belongs to its cdev (see
 * pwm_ioctl_alloc): an open file keeps the cdev, and so the whole record,
 * until after the file's last release, even when the platform device has
 * been unbound in the meantime.
 */
struct pwm_ioctl_dev {
	struct cdev cdev; /* first: the record and the cdev share one address */
	struct class *cls;
	struct device *device;
	struct pwm_device *pwm;
	struct mutex lock; /* serializes the commands; guards removed */
	bool removed;	   /* the PWM has been given back: commands fail */
};

static long pwm_ioctl_set_config(struct pwm_ioctl_dev *dev, void __user *arg)
{
	struct pwm_ioctl_config cfg;
	struct pwm_state state;

	if (copy_from_user(&cfg, arg, sizeof(cfg)))
		return -EFAULT;
	if (cfg.duty_cycle < 0 || cfg.period < 0)
		return -EINVAL;

	pwm_get_state(dev->pwm, &state);
	if (state.duty_cycle == (u32)cfg.duty_cycle &&
	    state.period == (u32)cfg.period)
		return 0;

	state.duty_cycle = cfg.duty_cycle;
	state.period = cfg.period;
	return pwm_ioctl_apply(dev->pwm, &state);
}

static long pwm_ioctl_enable(struct pwm_ioctl_dev *dev)
{
	struct pwm_state state;

	pwm_get_state(dev->pwm, &state);
	if (state.enabled)
		return 0;

	state.enabled = true;
	return pwm_ioctl_apply(dev->pwm, &state);
}

static long pwm_ioctl_disable(struct pwm_ioctl_dev *dev)
{
	struct pwm_state state;

	pwm_get_state(dev->pwm, &state);
	if (!state.enabled)
		return 0;

	/*
	 * Stopping is best effort: what the output does after a failed
	 * apply is the PWM core's affair, and callers switching off have no
	 * better fallback than to carry on.
	 */
	state.enabled = false;
	pwm_ioctl_apply(dev->pwm, &state);
	return 0;
}

static long pwm_ioctl_set_polarity(struct pwm_ioctl_dev *dev, void __user *arg)
{
	enum pwm_polarity polarity;
	struct pwm_state state;
	s32 value;

	if (copy_from_user(&value, arg, sizeof(value)))
		return -EFAULT;
	polarity = value ? PWM_POLARITY_INVERSED : PWM_POLARITY_NORMAL;

	pwm_get_state(dev->pwm, &state);
	if (state.polarity == polarity)
		return 0;
	/* Flipping a running output would glitch it: stop it first. */
	if (state.enabled)
		return -EBUSY;

	state.polarity = polarity;
	return pwm_ioctl_apply(dev->pwm, &state);
}

static long pwm_ioctl_get_state(struct pwm_ioctl_dev *dev, void __user *arg)
{
	struct pwm_ioctl_status status;
	struct pwm_state state;

	pwm_get_state(dev->pwm, &state);
	status.duty_cycle = state.duty_cycle;
	status.period = state.period;
	status.enabled = state.enabled ? 1 : 0;
	status.polarity = state.polarity == PWM_POLARITY_INVERSED ? 1 : 0;

	if (copy_to_user(arg, &status, sizeof(status)))
		return -EFAULT;
	return 0;
}

/*
 * Commands are told apart by their whole number: one that differs from ours
 * in its direction or size bits was built against another layout.
 */
static long pwm_ioctl_command(struct pwm_ioctl_dev *dev, unsigned int cmd,
			      void __user *arg)
{
	switch (cmd) {
	case PWM_IOCTL_SET_CONFIG:
		return pwm_ioctl_set_config(dev, arg);
	case PWM_IOCTL_ENABLE:
		return pwm_ioctl_enable(dev);
	case PWM_IOCTL_DISABLE:
		return pwm_ioctl_disable(dev);
	case PWM_IOCTL_SET_POLARITY:
		return pwm_ioctl_set_polarity(dev, arg);
	case PWM_IOCTL_GET_STATE:
		return pwm_ioctl_get_state(dev, arg);
	default:
		return -ENOTTY;
	}
}

static long pwm_ioctl_unlocked_ioctl(struct file *file, unsigned int cmd,
				     unsigned long arg)
{
	struct pwm_ioctl_dev *dev = file->private_data;
	long ret;

	mutex_lock(&dev->lock);
	if (dev->removed)
		ret = -ENODEV;
	else
		ret = pwm_ioctl_command(dev, cmd, (void __user *)arg);
	mutex_unlock(&dev->lock);
	return ret;
}

#ifdef CONFIG_COMPAT
/*
 * 32-bit programs on a 64-bit kernel: the records have the same layout and
 * the commands the same numbers in both, so only the pointer is converted.
 */
static long pwm_ioctl_compat_ioctl(struct file *file, unsigned int cmd,
				   unsigned long arg)
{
	return pwm_ioctl_unlocked_ioctl(file, cmd,
					(unsigned long)compat_ptr(arg));
}
#endif

static int pwm_ioctl_open(struct inode *inode, struct file *file)
{
	file->private_data =
		container_of(inode->i_cdev, struct pwm_ioctl_dev, cdev);
	return 0;
}

/* The file's hold on the record is its hold on the cdev, dropped after this. */
static int pwm_ioctl_release(struct inode *inode, struct file *file)
{
	return 0;
}

static const struct file_operations pwm_ioctl_fops = {
	.owner = THIS_MODULE,
	.open = pwm_ioctl_open,
	.release = pwm_ioctl_release,
	.unlocked_ioctl = pwm_ioctl_unlocked_ioctl,
#ifdef CONFIG_COMPAT
	.compat_ioctl = pwm_ioctl_compat_ioctl,
#endif
};

/*
 * The VFS drops an open file's reference to its cdev only after our release
 * has returned, so the record that embeds the cdev must be freed by the cdev
 * itself when its last reference goes. A cdev from cdev_alloc() does exactly
 * that (its kobject release kfree()s it); the record takes over that kobject
 * type, and since the cdev is its first member, the kfree() of the cdev is
 * the kfree() of the record. From here on the record goes with
 * kobject_put() (or cdev_del() once added), never with kfree().
 */
static struct pwm_ioctl_dev *pwm_ioctl_alloc(void)
{
	struct pwm_ioctl_dev *dev;
	struct cdev *model;

	BUILD_BUG_ON(offsetof(struct pwm_ioctl_dev, cdev) != 0);

	model = cdev_alloc();
	if (!model)
		return NULL;

	dev = kzalloc(sizeof(*dev), GFP_KERNEL);
	if (dev) {
		cdev_init(&dev->cdev, &pwm_ioctl_fops);
		dev->cdev.owner = THIS_MODULE;
		dev->cdev.kobj.ktype = model->kobj.ktype;
	}
	kobject_put(&model->kobj);
	return dev;
}

/*
 * After this no command touches the PWM, which the device-managed release
 * gives back once probe has failed or removal has run. Waits for a command
 * in progress.
 */
static void pwm_ioctl_retire(struct pwm_ioctl_dev *dev)
{
	mutex_lock(&dev->lock);
	dev->removed = true;
	mutex_unlock(&dev->lock);
}

/*
 * The node's name and its class are fixed, so one device at a time can
 * publish them. A second matching node is turned away before probe touches
 * anything (its PWM, a device number, the class): creating the class twice
 * would only fail inside sysfs, with a warning and a stack dump.
 */
static DEFINE_MUTEX(pwm_ioctl_publisher_lock);
static struct device *pwm_ioctl_publisher;

static int pwm_ioctl_claim(struct device *dev)
{
	int ret = 0;

	mutex_lock(&pwm_ioctl_publisher_lock);
	if (pwm_ioctl_publisher) {
		dev_err(dev, "/dev/pwm_ctrl is already published by %s\n",
			dev_name(pwm_ioctl_publisher));
		ret = -EBUSY;
	} else {
		pwm_ioctl_publisher = dev;
	}
	mutex_unlock(&pwm_ioctl_publisher_lock);
	return ret;
}

static void pwm_ioctl_unclaim(void)
{
	mutex_lock(&pwm_ioctl_publisher_lock);
	pwm_ioctl_publisher = NULL;
	mutex_unlock(&pwm_ioctl_publisher_lock);
}

static int pwm_ioctl_probe(struct platform_device *pdev)
{
	struct pwm_ioctl_dev *dev;
	dev_t devt;
	int ret;

	ret = pwm_ioctl_claim(&pdev->dev);
	if (ret)
		return ret;

	dev = pwm_ioctl_alloc();
	if (!dev) {
		ret = -ENOMEM;
		goto unclaim;
	}

	dev->pwm = devm_pwm_get(&pdev->dev, NULL);
	if (IS_ERR(dev->pwm)) {
		ret = PTR_ERR(dev->pwm);
		kobject_put(&dev->cdev.kobj);
		/* The controller is not there yet: we are probed again. */
		if (ret != -EPROBE_DEFER) {
			dev_err(&pdev->dev, "Failed to get PWM\n");
			ret = -ENXIO;
		}
		goto unclaim;
	}

	mutex_init(&dev->lock);

	ret = alloc_chrdev_region(&devt, 0, 1, "pwm_ioctl");
	if (ret < 0)
		goto put_record;

	/* Commands can arrive from here on: lock and pwm are set. */
	ret = cdev_add(&dev->cdev, devt, 1);
	if (ret)
		goto put_record_region;

	dev->cls = pwm_ioctl_class_create("pwm_ioctl");
	if (IS_ERR(dev->cls)) {
		ret = PTR_ERR(dev->cls);
		goto del_cdev;
	}

	dev->device = device_create(dev->cls, NULL, devt, NULL, "pwm_ctrl");
	if (IS_ERR(dev->device)) {
		ret = PTR_ERR(dev->device);
		goto destroy_class;
	}

	platform_set_drvdata(pdev, dev);
	dev_info(&pdev->dev, "PWM ioctl driver probed\n");
	return 0;

destroy_class:
	class_destroy(dev->cls);
del_cdev:
	pwm_ioctl_retire(dev);
	cdev_del(&dev->cdev);
	unregister_chrdev_region(devt, 1);
	goto unclaim;

put_record_region:
	unregister_chrdev_region(devt, 1);
put_record:
	kobject_put(&dev->cdev.kobj);
unclaim:
	pwm_ioctl_unclaim();
	return ret;
}

static PWM_IOCTL_REMOVE_TYPE pwm_ioctl_remove(struct platform_device *pdev)
{
	struct pwm_ioctl_dev *dev = platform_get_drvdata(pdev);
	dev_t devt = dev->cdev.dev;

	pwm_ioctl_retire(dev);
	device_destroy(dev->cls, devt);
	class_destroy(dev->cls);
	/* The record goes here, or with the last file still open. */
	cdev_del(&dev->cdev);
	unregister_chrdev_region(devt, 1);
	pwm_ioctl_unclaim();
	return PWM_IOCTL_REMOVED;
}

/*
 * Not wrapped in of_match_ptr(): kernels without CONFIG_OF still bind the
 * node through ACPI (PRP0001) with this table.
 */
static const struct of_device_id pwm_ioctl_of_match[] = {
	{ .compatible = "vendor,pwm-ioctl" },
	{ /* sentinel */ },
};
MODULE_DEVICE_TABLE(of, pwm_ioctl_of_match);

static struct platform_driver pwm_ioctl_driver = {
	.probe = pwm_ioctl_probe,
	.remove = pwm_ioctl_remove,
	.driver = {
		.name = "pwm-ioctl",
		.of_match_table = pwm_ioctl_of_match,
	},
};
module_platform_driver(pwm_ioctl_driver);

MODULE_DESCRIPTION("PWM ioctl control driver");
MODULE_LICENSE("GPL");
