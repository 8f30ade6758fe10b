# On demand: the timed streams through the loopback card, which need the
# emulator to keep real time (a busy host makes them fail): our tinyalsa's
# loopback transfers, the library's streams in both directions at once, and
# streaming after BSP_UacInit_s adapted to the host's format.

audio_checks()
{
    local seconds
    seconds=$(lab_arg seconds)
    loop_card_up 1024 || return
    run_lab alsa_kernel_check lab_alsa_kernel_check $LOOP_ID
    run_lab "stream" lab_uac stream "${seconds:-5}"
    check "the host's stream0 mounted over the loopback card" mount_host_status
    run_lab "adapt" lab_uac adapt "host stream0 present" 2 48000 1 16000 0 2 48000 3
    unmount_host_status
}
