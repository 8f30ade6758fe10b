# shellcheck shell=dash
# On demand: a long 48 kHz stereo stream both ways through the loopback card;
# its figures tell whether the emulated board keeps real time.

audio_checks()
{
    loop_card_up 1024 || return
    run_lab "long stream" lab_uac stream "$(lab_arg seconds)"
}
