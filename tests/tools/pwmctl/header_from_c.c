/* The user header compiled as C: the numbers and sizes as a C program sees them. */
#include "pwm_ioctl.h"

#include <stddef.h>

void pwm_ioctl_seen_from_c(unsigned long numbers[5], size_t sizes[2]);

void pwm_ioctl_seen_from_c(unsigned long numbers[5], size_t sizes[2])
{
    numbers[0] = PWM_IOCTL_SET_CONFIG;
    numbers[1] = PWM_IOCTL_ENABLE;
    numbers[2] = PWM_IOCTL_DISABLE;
    numbers[3] = PWM_IOCTL_SET_POLARITY;
    numbers[4] = PWM_IOCTL_GET_STATE;
    sizes[0] = sizeof(struct pwm_ioctl_config);
    sizes[1] = sizeof(struct pwm_ioctl_status);
}
