# shellcheck shell=dash
# Who stalls a blocking writer on the loopback card's host side (device 1),
# clocked by the dummy card: programs we did not write, alsa-utils' aplay and
# arecord, play and record the same file blocking against uaccap and uacplay
# on the gadget side; then our tinyalsa plays it blocking the same way. Each
# blocking program gets a time limit: a writer that is never woken is stopped
# and fails its check.

# played_within SECONDS WHAT COMMAND...: the command ends, successfully, in time.
played_within()
{
    local seconds=$1 what=$2 status=0
    shift 2
    timeout "$seconds" "$@" >/tmp/blocking.log 2>&1 || status=$?
    [ $status = 0 ] && return 0
    [ $status = 124 ] || [ $status = 143 ] && { echo "$what stalled: stopped after $seconds s"; return 1; }
    echo "$what failed with status $status: $(tail -2 /tmp/blocking.log | tr '\n' ' ')"
    return 1
}

# to_gadget LABEL COMMAND...: the host side plays the file with COMMAND while
# uaccap records it on the gadget side.
to_gadget()
{
    local label=$1
    shift
    rm -f /tmp/at-gadget.wav
    uaccap --quiet --seconds 10 /tmp/at-gadget.wav >/tmp/uaccap.log 2>&1 &
    sleep 0.5
    check "$label plays the file blocking on the host side" played_within 15 "$label" "$@"
    wait $!
    run_lab "$label to uaccap" lab_uac wavcompare /tmp/sent.wav /tmp/at-gadget.wav "$label to uaccap"
}

audio_checks()
{
    loop_card_up 1024 || return
    lab_uac makewav /tmp/sent.wav 2 || { fail "a WAV file of the pattern" "makewav failed"; return; }
    to_gadget aplay aplay -q -D "hw:$LOOP_ID,1" --period-size=1024 --buffer-size=4096 /tmp/sent.wav
    rm -f /tmp/at-host.wav
    timeout 15 arecord -q -D "hw:$LOOP_ID,1" -f S16_LE -c 2 -r 48000 --period-size=1024 --buffer-size=4096 \
        -d 5 /tmp/at-host.wav >/tmp/arecord.log 2>&1 &
    local recorder=$! status=0
    sleep 0.5
    check "uacplay sends the file" uacplay --quiet /tmp/sent.wav
    wait $recorder || status=$?
    check "arecord records blocking on the host side" recorded "$status"
    run_lab "uacplay to arecord" lab_uac wavcompare /tmp/sent.wav /tmp/at-host.wav "uacplay to arecord"
    to_gadget "our tinyalsa" lab_uac hostplay /tmp/sent.wav blocking
    # aplay started once half the buffer is queued, as our tinyalsa starts,
    # and asking to be woken for every frame as our tinyalsa does (avail_min
    # 1); alsa-lib raises avail_min to the period size, so the kernel still
    # wakes it once per period.
    to_gadget "aplay, started at half the buffer" aplay -q -D "hw:$LOOP_ID,1" --period-size=1024 --buffer-size=4096 \
        --avail-min=21 --start-delay=-42667 /tmp/sent.wav
}

# recorded STATUS: how arecord (in the background, with its time limit) ended.
recorded()
{
    [ "$1" = 0 ] && return 0
    [ "$1" = 124 ] || [ "$1" = 143 ] && { echo "arecord stalled: stopped after 15 s"; return 1; }
    echo "arecord ended with status $1: $(tail -2 /tmp/arecord.log | tr '\n' ' ')"
    return 1
}
