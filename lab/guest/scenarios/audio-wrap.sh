# shellcheck shell=dash
# On demand: streams across the kernel's pointer boundary (about 2^30 frames
# on the 32-bit board), every frame around the wrap checked, through our
# tinyalsa (read/write and mapped) and libuacbridge's XU_UAC_* calls. The
# emulator runs with -icount shift=0,sleep=off: the guest's clock jumps over
# the time the board idles, so the 1.5 hours each path streams at 192 kHz cost
# only the instructions that move the frames. The loopback card runs on its
# own timer here (the kernel's jiffies): no second card has to keep up.

audio_checks()
{
    local path
    check "the loopback card $LOOP_ID on its own timer" modprobe snd-aloop id="$LOOP_ID" pcm_substreams=1 || return
    for path in $(lab_arg paths | tr , ' '); do
        run_lab "wrap $path" lab_uac wrap "$path"
    done
}
