# shellcheck shell=dash
# The timed streams through the loopback card, which need the emulator to
# keep real time (the lab runs this scenario alone): our tinyalsa's
# loopback transfers, the library's streams in both directions at once, and
# streaming after BSP_UacInit_s adapted to the host's format.

audio_checks()
{
    local seconds
    seconds=$(lab_arg seconds)
    loop_card_up 1024 || return
    run_lab alsa_kernel_check lab_alsa_kernel_check "$LOOP_ID"
    # How often the emulator did not run the board for 100 ms or more, the
    # kernel's wait for room or data on these streams, while they ran.
    lab_uac stalls 600 >/tmp/stalls.log 2>&1 &
    local probe=$!
    run_lab "stream" lab_uac stream "${seconds:-5}"
    kill "$probe" 2>/dev/null
    wait "$probe" 2>/dev/null
    figure "while the streams ran, the guest did not run for 100 ms or more $(tr '\n' ' ' </tmp/stalls.log | sed 's/ *$//')"
    check "the host's stream0 mounted over the loopback card" mount_host_status
    run_lab "adapt" lab_uac adapt "host stream0 present" 2 48000 1 16000 0 2 48000 3
    unmount_host_status
    wav_round_trip
}

# uacplay's file recorded by the host, and the host's playing recorded by
# uaccap, each compared with the file sample by sample.
wav_round_trip()
{
    lab_uac makewav /tmp/sent.wav 2 || { fail "a WAV file of the pattern" "makewav failed"; return; }
    lab_uac hostrec /tmp/at-host.wav 5 2>/tmp/hostrec.log &
    sleep 0.5
    check "uacplay sends the file" uacplay --quiet /tmp/sent.wav
    wait $!
    run_lab "uacplay to the host" lab_uac wavcompare /tmp/sent.wav /tmp/at-host.wav "uacplay to the host"
    uaccap --quiet --seconds 5 /tmp/at-gadget.wav >/tmp/uaccap.log 2>&1 &
    sleep 0.5
    check "the host plays the file" lab_uac hostplay /tmp/sent.wav
    wait $!
    run_lab "the host to uaccap" lab_uac wavcompare /tmp/sent.wav /tmp/at-gadget.wav "the host to uaccap"
}
