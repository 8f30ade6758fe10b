/*
 * Firmware description of the lab board's PWM devices, for a kernel without a
 * device tree: ACPI "PRP0001" devices whose _DSD carries device-tree
 * properties, so drivers bind through their OF match tables.
 *   PWM0  the lab's PWM controller ("lab,fake-pwm", three cells per reference)
 *   PWMC  the consumer node of /dev/pwm_ctrl ("vendor,pwm-ioctl")
 * PWMD  a second consumer node, on channel 1: only one of the two can bind.
 * "pwms" = { controller, channel, period in ns, flags }; flag bit 0 = inversed.
 * Compiled with iasl and given to qemu as -acpitable file=<aml>.
 */
DefinitionBlock ("", "SSDT", 2, "PLATFM", "PWMLAB", 0x00000001)
{
    Scope (\_SB)
    {
        Device (PWM0)
        {
            Name (_HID, "PRP0001")
            Name (_UID, 0)
            Name (_DSD, Package () {
                ToUUID ("daffd814-6eba-4d8c-8a91-bc9bbf4aa301"),
                Package () {
                    Package () { "compatible", "lab,fake-pwm" },
                    Package () { "#pwm-cells", 3 },
                }
            })
        }

        Device (PWMC)
        {
            Name (_HID, "PRP0001")
            Name (_UID, 1)
            Name (_DSD, Package () {
                ToUUID ("daffd814-6eba-4d8c-8a91-bc9bbf4aa301"),
                Package () {
                    Package () { "compatible", "vendor,pwm-ioctl" },
                    Package () { "pwms", Package () { \_SB.PWM0, 0, 1000000, 0 } },
                }
            })
        }

        Device (PWMD)
        {
            Name (_HID, "PRP0001")
            Name (_UID, 2)
            Name (_DSD, Package () {
                ToUUID ("daffd814-6eba-4d8c-8a91-bc9bbf4aa301"),
                Package () {
                    Package () { "compatible", "vendor,pwm-ioctl" },
                    Package () { "pwms", Package () { \_SB.PWM0, 1, 1000000, 0 } },
                }
            })
        }
    }
}
