/* SPDX-License-Identifier: GPL-2.0 */
#ifndef PWM_STRESS_H
#define PWM_STRESS_H

/*
 * Four processes issue mixed commands on device for seconds while the
 * controller's log is sampled; reports checks, returns the exit status.
 */
int pwm_stress(const char *device, unsigned int channel, int seconds);

#endif /* PWM_STRESS_H */
