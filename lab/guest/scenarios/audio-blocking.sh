# shellcheck shell=dash
# Who stalls a blocking writer on the loopback card's host side (device 1),
# clocked by the dummy card: programs we did not write, alsa-utils' aplay and
# arecord, play and record the same file blocking against uaccap and uacplay
# on the gadget side; then our tinyalsa plays it blocking the same way. Each
# blocking program gets a time limit: a writer that is never woken is stopped
# and fails its check. A writer whose wait for room runs out (100 ms on these
# streams) fails at once with EIO, whoever wrote it.
#
# The board runs under the instruction counter (lab/host/audio.sh): its clock
# stops with its CPU, so a host too busy to run the emulator cannot make the
# guest miss 100 ms of periods at once. Beside each blocking program a probe
# (lab_uac stalls) measures how often the guest did not run for 100 ms or
# more; AUDIO_BLOCKING_REALTIME=1 runs the board in real time, where on a busy
# host such stalls, and with them failures of aplay and ours alike, show up.

# probe_start: the stall probe, running until probe_stop WHAT.
probe_start()
{
    lab_uac stalls 120 >/tmp/stalls.log 2>&1 &
    PROBE_PID=$!
}

# probe_stop WHAT: a figure of the stalls while WHAT ran.
probe_stop()
{
    kill "$PROBE_PID" 2>/dev/null
    wait "$PROBE_PID" 2>/dev/null
    figure "while $1 ran, the guest did not run for 100 ms or more $(tr '\n' ' ' </tmp/stalls.log | sed 's/ *$//')"
}

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
    local recorder=$!
    sleep 0.5
    probe_start
    check "$label plays the file blocking on the host side" played_within 15 "$label" "$@"
    probe_stop "$label"
    wait $recorder
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
    probe_start
    check "uacplay sends the file" uacplay --quiet /tmp/sent.wav
    wait $recorder || status=$?
    probe_stop arecord
    check "arecord records blocking on the host side" recorded "$status"
    run_lab "uacplay to arecord" lab_uac wavcompare /tmp/sent.wav /tmp/at-host.wav "uacplay to arecord"
    to_gadget "our tinyalsa" lab_uac hostplay /tmp/sent.wav strict
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
