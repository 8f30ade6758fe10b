// SPDX-License-Identifier: GPL-2.0
/*
 * labpwm: a software PWM controller, lab equipment for testing PWM consumers
 * on a real kernel without PWM hardware.
 *
 * It binds to a firmware node with compatible "lab,fake-pwm" (ACPI PRP0001
 * with device-tree properties on kernels without a device tree) and registers
 * a pwm_chip with LABPWM_CHANNELS channels. Applying a state only records it.
 * Attribute files of the platform device let the lab watch and steer it:
 *   applies    the newest states applied (at most LABPWM_SHOW), oldest
 *              first, one line each, numbered from 0 since the log was
 *              cleared; writing anything clears the log
 *   fail_next  write "CHANNEL ERRNO": the next apply on that channel fails
 *              with -ERRNO and records nothing
 *   round_ns   write N: the state read back from the "hardware" (what the
 *              core sees when a consumer takes the PWM) has period and duty
 *              cycle rounded down to a multiple of N, as real hardware rounds
 */
#include <linux/device.h>
#include <linux/kernel.h>
#include <linux/math64.h>
#include <linux/mod_devicetable.h>
#include <linux/module.h>
#include <linux/mutex.h>
#include <linux/platform_device.h>
#include <linux/pwm.h>
#include <linux/slab.h>

#define LABPWM_CHANNELS 4
#define LABPWM_LOG_LEN 256
/* Lines of at most ~100 characters: this many fit a sysfs page. */
#define LABPWM_SHOW 40

struct labpwm_entry {
	unsigned long seq;
	unsigned int channel;
	struct pwm_state state;
};

struct labpwm {
	struct pwm_chip chip;
	struct mutex lock; /* guards everything below */
	struct pwm_state hw[LABPWM_CHANNELS];
	int fail_next[LABPWM_CHANNELS];
	u64 round_ns;
	unsigned long applied; /* applies since the log was cleared */
	struct labpwm_entry log[LABPWM_LOG_LEN];
};

static struct labpwm *to_labpwm(struct pwm_chip *chip)
{
	return container_of(chip, struct labpwm, chip);
}

static void labpwm_record(struct labpwm *lp, unsigned int channel,
			  const struct pwm_state *state)
{
	struct labpwm_entry *e = &lp->log[lp->applied % LABPWM_LOG_LEN];

	e->seq = lp->applied++;
	e->channel = channel;
	e->state = *state;
	lp->hw[channel] = *state;
}

static int labpwm_apply(struct pwm_chip *chip, struct pwm_device *pwm,
			const struct pwm_state *state)
{
	struct labpwm *lp = to_labpwm(chip);
	int ret = 0;

	mutex_lock(&lp->lock);
	if (lp->fail_next[pwm->hwpwm]) {
		ret = -lp->fail_next[pwm->hwpwm];
		lp->fail_next[pwm->hwpwm] = 0;
	} else {
		labpwm_record(lp, pwm->hwpwm, state);
	}
	mutex_unlock(&lp->lock);
	return ret;
}

/* div64_u64_rem(): a plain u64 % u64 needs libgcc's __aeabi_uldivmod on
 * 32-bit ARM, which the kernel does not provide. */
static u64 labpwm_round(u64 value, u64 step)
{
	u64 rem;

	if (!step)
		return value;
	div64_u64_rem(value, step, &rem);
	return value - rem;
}

static int labpwm_get_state(struct pwm_chip *chip, struct pwm_device *pwm,
			    struct pwm_state *state)
{
	struct labpwm *lp = to_labpwm(chip);

	mutex_lock(&lp->lock);
	*state = lp->hw[pwm->hwpwm];
	state->period = labpwm_round(state->period, lp->round_ns);
	state->duty_cycle = labpwm_round(state->duty_cycle, lp->round_ns);
	mutex_unlock(&lp->lock);
	return 0;
}

static const struct pwm_ops labpwm_ops = {
	.apply = labpwm_apply,
	.get_state = labpwm_get_state,
	.owner = THIS_MODULE,
};

static ssize_t applies_show(struct device *dev, struct device_attribute *attr,
			    char *buf)
{
	struct labpwm *lp = dev_get_drvdata(dev);
	unsigned long first, i;
	int n = 0;

	mutex_lock(&lp->lock);
	/* The newest entries: the lab reads the log after what it watches. */
	first = lp->applied > LABPWM_SHOW ? lp->applied - LABPWM_SHOW : 0;
	for (i = first; i < lp->applied && n < PAGE_SIZE - 128; i++) {
		const struct labpwm_entry *e = &lp->log[i % LABPWM_LOG_LEN];

		n += sysfs_emit_at(buf, n,
				   "%lu ch%u period=%llu duty=%llu polarity=%d "
				   "enabled=%d\n",
				   e->seq, e->channel, e->state.period,
				   e->state.duty_cycle, e->state.polarity,
				   e->state.enabled);
	}
	mutex_unlock(&lp->lock);
	return n;
}

static ssize_t applies_store(struct device *dev, struct device_attribute *attr,
			     const char *buf, size_t count)
{
	struct labpwm *lp = dev_get_drvdata(dev);

	mutex_lock(&lp->lock);
	lp->applied = 0;
	mutex_unlock(&lp->lock);
	return count;
}
static DEVICE_ATTR_RW(applies);

static ssize_t fail_next_store(struct device *dev,
			       struct device_attribute *attr, const char *buf,
			       size_t count)
{
	struct labpwm *lp = dev_get_drvdata(dev);
	unsigned int channel;
	int err;

	if (sscanf(buf, "%u %d", &channel, &err) != 2 ||
	    channel >= LABPWM_CHANNELS || err <= 0 || err >= MAX_ERRNO)
		return -EINVAL;
	mutex_lock(&lp->lock);
	lp->fail_next[channel] = err;
	mutex_unlock(&lp->lock);
	return count;
}
static DEVICE_ATTR_WO(fail_next);

static ssize_t round_ns_show(struct device *dev, struct device_attribute *attr,
			     char *buf)
{
	struct labpwm *lp = dev_get_drvdata(dev);

	return sysfs_emit(buf, "%llu\n", lp->round_ns);
}

static ssize_t round_ns_store(struct device *dev, struct device_attribute *attr,
			      const char *buf, size_t count)
{
	struct labpwm *lp = dev_get_drvdata(dev);
	u64 step;
	int ret = kstrtou64(buf, 0, &step);

	if (ret)
		return ret;
	mutex_lock(&lp->lock);
	lp->round_ns = step;
	mutex_unlock(&lp->lock);
	return count;
}
static DEVICE_ATTR_RW(round_ns);

static struct attribute *labpwm_attrs[] = {
	&dev_attr_applies.attr,
	&dev_attr_fail_next.attr,
	&dev_attr_round_ns.attr,
	NULL,
};
ATTRIBUTE_GROUPS(labpwm);

static int labpwm_probe(struct platform_device *pdev)
{
	struct labpwm *lp;

	lp = devm_kzalloc(&pdev->dev, sizeof(*lp), GFP_KERNEL);
	if (!lp)
		return -ENOMEM;
	mutex_init(&lp->lock);
	platform_set_drvdata(pdev, lp);

	/* chip.dev must be this device: firmware "pwms" references resolve to it. */
	lp->chip.dev = &pdev->dev;
	lp->chip.ops = &labpwm_ops;
	lp->chip.npwm = LABPWM_CHANNELS;
	return devm_pwmchip_add(&pdev->dev, &lp->chip);
}

/* No of_match_ptr(): ACPI PRP0001 devices match through this table too. */
static const struct of_device_id labpwm_of_match[] = {
	{ .compatible = "lab,fake-pwm" }, {}
};
MODULE_DEVICE_TABLE(of, labpwm_of_match);

static struct platform_driver labpwm_driver = {
	.probe = labpwm_probe,
	.driver = {
		.name = "lab-pwm",
		.of_match_table = labpwm_of_match,
		.dev_groups = labpwm_groups,
	},
};
module_platform_driver(labpwm_driver);

MODULE_DESCRIPTION("Software PWM controller for the device lab");
MODULE_LICENSE("GPL");
