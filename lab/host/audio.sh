# shellcheck shell=bash
# Audio scenarios (audio-*): the loopback card carries data, the real UAC1
# gadget on USB/IP's virtual UDC shows discovery, opening, refusal and the
# probe. The guest's part is lab/guest/lib/audio.sh and lab/guest/scenarios/
# audio-*.sh; its programs come from lab/audio/.

# What the initramfs needs for them (lab/host/initramfs.sh adds these).
# shellcheck disable=SC2034
AUDIO_TOOLS="/usr/sbin/usbipd /usr/sbin/usbip"
# shellcheck disable=SC2034
AUDIO_MODULES="snd-dummy snd-aloop configfs libcomposite usb_f_uac1 usbip-core usbip-vudc vhci-hcd snd-usb-audio"

# On-demand scenarios are marked so and left out of the default run.
list_audio_scenarios()
{
    cat <<LIST
audio-loop       libuacbridge and tinyalsa on the loopback card: formats, conversion, card removal (1 boot)
audio-gadget     the real UAC1 gadget over USB/IP: discovery, open, refusal, probe (1 boot)
audio-stream     timed streams both ways through the loopback card, intact; runs alone (1 boot)
audio-cost       [on-demand] per-period cost on the real kernel, instructions counted by the emulator (1 boot)
audio-long       [on-demand] a long 48 kHz stereo stream both ways (LAB_AUDIO_SECONDS, default 600)
audio-blocking   [on-demand] aplay and arecord, then our tinyalsa, blocking on the host side; instructions counted (1 boot, ARM)
audio-wrap       [on-demand] streams across the kernel's pointer boundary (2^30 frames), every frame around it checked (1 boot, ARM)
LIST
}

# One power-on of an audio scenario; no NAND is involved.
audio_run()
{
    new_run "$1"
    power_on "$1" 1 "${@:2}"
    expect_state audio 1
}

scenario_audio_loop()
{
    audio_run audio-loop
}

scenario_audio_stream()
{
    audio_run audio-stream lab.seconds="${LAB_AUDIO_SECONDS:-20}"
}

# Needs alsa-utils in the guest: the ARM board's userland has it. Instructions
# counted, so that the guest's clock stops with its CPU and a busy host cannot
# stall it past the kernel's 100 ms wait for room (the guest's script says
# why); AUDIO_BLOCKING_REALTIME=1 runs it in real time.
scenario_audio_blocking()
{
    if [ "$LAB_ARCH" != arm ]; then
        host_fail "audio-blocking" "only the ARM board's userland has alsa-utils: lab/run --arch arm audio-blocking"
        return
    fi
    local LAB_QEMU_ARGS=("${LAB_ICOUNT[@]}")
    if [ "${AUDIO_BLOCKING_REALTIME:-0}" = 1 ]; then
        LAB_QEMU_ARGS=()
    fi
    audio_run audio-blocking
}

scenario_audio_gadget()
{
    audio_run audio-gadget
}

# Instructions counted: the guest's CPU times are instruction counts.
scenario_audio_cost()
{
    # shellcheck disable=SC2034 # boot_vm's, for this scenario's power-ons
    local LAB_QEMU_ARGS=("${LAB_ICOUNT[@]}")
    audio_run audio-cost lab.periods="${AUDIO_COST_PERIODS:-2000}"
}

scenario_audio_long()
{
    local seconds=${LAB_AUDIO_SECONDS:-600}
    # The VM's time limit grows with the stream.
    LAB_VM_TIMEOUT=$((seconds * 3 + 300)) audio_run audio-long lab.seconds="$seconds"
}

# Across the kernel's pointer boundary: 2^30 frames per path with a 32-bit
# long, reached in the emulator's counted time (idle time skipped). With a
# 64-bit long the boundary is some 2^62 frames, out of any stream's reach.
scenario_audio_wrap()
{
    if [ "$LAB_ARCH" != arm ]; then
        host_fail "audio-wrap" "a 64-bit kernel's pointer boundary (about 2^62 frames) is out of reach: lab/run --arch arm audio-wrap"
        return
    fi
    local LAB_QEMU_ARGS=("${LAB_ICOUNT[@]}")
    LAB_VM_TIMEOUT=${AUDIO_WRAP_TIMEOUT:-1800} audio_run audio-wrap lab.paths="${AUDIO_WRAP_PATHS:-rw,mmap,xu-rw,xu-mmap}"
}
