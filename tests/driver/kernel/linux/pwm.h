/* Stand-in for the kernel header of the same name: the PWM consumer calls. The
 * state has the 6.1 layout (64-bit times), or with FAKE_PWM_LINUX_4_9 the 4.9
 * one (unsigned int times, a non-const apply argument). Either carries a field
 * that a vendor kernel might add, which only the PWM core knows: a driver must
 * pass on what pwm_get_state() gave it, not build a state of its own. From 6.8
 * on (FAKE_LINUX_6_12) the apply is called pwm_apply_might_sleep(). */
#ifndef FAKE_LINUX_PWM_H
#define FAKE_LINUX_PWM_H

#include <linux/types.h>
#include <linux/version.h>

#ifdef __cplusplus
extern "C" {
#endif

struct device;

enum pwm_polarity {
    PWM_POLARITY_NORMAL,
    PWM_POLARITY_INVERSED,
};

#ifdef FAKE_PWM_LINUX_4_9
struct pwm_state {
    unsigned int period;
    unsigned int duty_cycle;
    enum pwm_polarity polarity;
    bool enabled;
    unsigned int vendor_phase; /* a vendor kernel's own */
};
#define FAKE_PWM_APPLY_CONST
#else
struct pwm_state {
    u64 period;
    u64 duty_cycle;
    enum pwm_polarity polarity;
    bool enabled;
    bool usage_power;
    unsigned int vendor_phase; /* a vendor kernel's own */
};
#define FAKE_PWM_APPLY_CONST const
#endif

/* A consumer's handle; the state lives in the fake PWM core. */
struct pwm_device {
    int index;
    bool put;   /* given back to the core: must not be used any more */
    int in_use; /* PWM core calls in progress */
};

void pwm_get_state(const struct pwm_device *pwm, struct pwm_state *state);
#if LINUX_VERSION_CODE >= KERNEL_VERSION(6, 8, 0)
int pwm_apply_might_sleep(struct pwm_device *pwm, const struct pwm_state *state);
#else
int pwm_apply_state(struct pwm_device *pwm, FAKE_PWM_APPLY_CONST struct pwm_state *state);
#endif
struct pwm_device *devm_pwm_get(struct device *dev, const char *con_id);

#ifdef __cplusplus
}
#endif

#endif
