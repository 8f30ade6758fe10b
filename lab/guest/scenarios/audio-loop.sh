# shellcheck shell=dash
# Audio through real ALSA on the loopback card UAC1Gadget: device 0 is the
# gadget's side (the library's), device 1 plays the USB host's part. Only
# checks that do not depend on the emulator keeping real time: the timed
# streams are in audio-stream (on demand).

audio_checks()
{
    loop_card_up 1024 || return
    run_lab alsa_kernel_check lab_alsa_kernel_check --no-loopback "$LOOP_ID"
    check "the host's stream0 mounted over the loopback card" mount_host_status
    run_lab "adapt" lab_uac adapt "host stream0 present" 2 48000 1 16000 0 2 48000 0
    unmount_host_status
    run_lab "fallback" lab_uac adapt "no stream0" 2 48000 1 16000 -1 0 0 0
    # 1024 frames at 16000 Hz last as long as 3072 at 48000 Hz.
    clock_at 3072 "the dummy clock at 16000 Hz periods"
    run_lab "convert" lab_uac convert 2
    clock_at 1024 "the dummy clock at 48000 Hz periods"
    run_lab "busy" lab_uac busy
    run_lab "suspend" lab_uac suspend
    run_lab "vanish" lab_uac vanish /sys/bus/platform/drivers/snd_aloop snd_aloop.0
}
