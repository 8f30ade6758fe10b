# shellcheck shell=dash
# Audio power-ons (scenarios audio-*): no NAND and no device boot, only the
# sound cards. The loopback card (snd-aloop, id UAC1Gadget) carries data,
# clocked by a running stream on snd-dummy; the real UAC1 gadget on USB/IP's
# virtual UDC is opened, refused and probed but moves no audio.

case $SCENARIO in
audio-*)
    # shellcheck disable=SC2034 # lab/guest/init runs it
    LAB_MAIN=audio_main
    ;;
esac

LOOP_ID=UAC1Gadget
CLOCK_PID=

# Scenario hook, replaced by the scenario's own file.
audio_checks()
{
    :
}

audio_main()
{
    echo "LAB: audio scenario $SCENARIO, uptime $(now)s"
    # shellcheck source=/dev/null # lab/guest/scenarios/*.sh, each checked on its own
    [ -f "/lab/scenarios/$SCENARIO.sh" ] && . "/lab/scenarios/$SCENARIO.sh"
    audio_checks
    stop_clock
    check "no kernel oops or warning" kernel_quiet
    result "STATE audio"
    sync
    poweroff -f
}

# Card number of an id, empty when the card is not listed.
card_of()
{
    sed -n "s/^ *\([0-9]*\) \[$1 *\].*/\1/p" /proc/asound/cards
}

kernel_quiet()
{
    local bad
    bad=$(dmesg | grep -E 'Oops|BUG:|WARNING:|general protection|Call Trace' | head -3)
    [ -z "$bad" ] || { echo "$bad"; return 1; }
}

# The loopback card, clocked by the dummy card with PERIOD-frame periods at
# 48 kHz (the period the streams under test last, in time). Not run through
# check: the clock stays in the background, in this shell.
loop_card_up()
{
    local why
    if why=$(modprobe snd-dummy hrtimer=1 pcm_substreams=1 2>&1 &&
        modprobe snd-aloop id=$LOOP_ID pcm_substreams=1 timer_source=Dummy,0,0 2>&1); then
        clock_at "${1:-1024}" "the loopback card $LOOP_ID, clocked by the dummy card"
    else
        fail "the loopback card $LOOP_ID" "$why"
        return 1
    fi
}

# clock_at PERIOD WHAT: (re)starts the clock, a check named WHAT.
clock_at()
{
    if start_clock "$1"; then
        pass "$2"
    else
        fail "$2" "$(tr '\n' ' ' </tmp/clock.log)"
        return 1
    fi
}

start_clock()
{
    stop_clock
    lab_uac clock Dummy 2 48000 "$1" >/tmp/clock.log 2>&1 &
    CLOCK_PID=$!
    sleep 1
    kill -0 "$CLOCK_PID" 2>/dev/null
}

stop_clock()
{
    [ -n "$CLOCK_PID" ] || return 0
    kill "$CLOCK_PID" 2>/dev/null
    wait "$CLOCK_PID" 2>/dev/null
    CLOCK_PID=
}

# run_lab NAME COMMAND...: the program's lines ("PASS: what", "FAIL: what --
# why", "FIGURE text") become the
# lab's results; an exit status that its lines do not explain fails NAME.
run_lab()
{
    local name=$1 status=0 line fails=0
    shift
    "$@" >/tmp/lab_out 2>/tmp/lab_err || status=$?
    while IFS= read -r line; do
        case $line in
        "PASS: "*) pass "${line#PASS: }" ;;
        "FAIL: "*)
            line=${line#FAIL: }
            fail "${line%% -- *}" "$(echo "$line" | sed -n 's/^.* -- //p')"
            fails=$((fails + 1))
            ;;
        "FIGURE "*) figure "${line#FIGURE }" ;;
        esac
    done </tmp/lab_out
    if [ "$status" -ne 0 ] && [ "$fails" -eq 0 ]; then
        fail "$name" "exit status $status: $(tail -3 /tmp/lab_err | tr '\n' ' ')"
    fi
    sed 's/^/  | /' /tmp/lab_out /tmp/lab_err
}

# The host-side stream-status text of the real gadget (2 channels, 48000 Hz
# both ways), mounted over the loopback card's /proc folder.
mount_host_status()
{
    local dir=/tmp/statusdir card
    card=$(card_of $LOOP_ID)
    mkdir -p $dir
    cat >$dir/stream0 <<STATUS
Lab LabAudio at usb-vhci_hcd.0-1, high speed : USB Audio

Playback:
  Status: Stop
  Interface 1
    Altset 1
    Format: S16_LE
    Channels: 2
    Endpoint: 0x01 (1 OUT) (ADAPTIVE)
    Rates: 48000
    Data packet interval: 1000 us
    Bits: 16
    Channel map: FL FR

Capture:
  Status: Stop
  Interface 2
    Altset 1
    Format: S16_LE
    Channels: 2
    Endpoint: 0x82 (2 IN) (ASYNC)
    Rates: 48000
    Data packet interval: 1000 us
    Bits: 16
    Channel map: FL FR
STATUS
    mount --bind $dir /proc/asound/card"$card"
}

unmount_host_status()
{
    umount /proc/asound/card"$(card_of $LOOP_ID)"
}
