#!/bin/sh
# The BusyBox init script against stand-in guides: what it writes to the
# kernel log, which guide it starts when, and that it never fails the boot.
#   check-script.sh DIR    (DIR/S15partition-guides: the script configured to
#                           run DIR/sbin/*, log into DIR/kmsg, read DIR/mounts)
set -u
dir=$1
fails=0

# guide NAME STATUS MOUNT: a stand-in that records its run, prints two lines
# (the last without a newline), mounts /app when MOUNT is "yes", and exits
# with STATUS ("crash": killed by SIGSEGV).
guide()
{
    {
        echo '#!/bin/sh'
        echo "echo ran >>'$dir/$1.ran'"
        printf '%s\n' "printf 'first line of $1\\nlast line of $1, 100%% done'"
        [ "$3" = yes ] && echo "echo 'ubi1_0 /app ubifs rw 0 0' >>'$dir/mounts'"
        if [ "$2" = crash ]; then echo 'kill -SEGV $$'; else echo "exit $2"; fi
    } >"$dir/sbin/$1"
    chmod +x "$dir/sbin/$1"
}

lines_of()
{
    printf '<13>%s: first line of %s\n<13>%s: last line of %s, 100%% done\n' "$1" "$1" "$1" "$1"
}

# check NAME EXPECTED-LOG RAN...: runs the script, compares the log (only the
# script's own lines when LOG_FILTER is set) and which guides ran, and wants
# exit status 0.
check()
{
    name=$1 want=$2
    shift 2
    "$dir/S15partition-guides" start >"$dir/console" 2>&1
    status=$?
    log=$(grep -e "${LOG_FILTER:-}" "$dir/kmsg" 2>/dev/null)
    ran=$(for g in bootward cfgward; do [ -e "$dir/$g.ran" ] && printf '%s ' "$g"; done)
    ran=${ran% }
    if [ "$status" -ne 0 ]; then
        echo "FAIL $name: the script exited $status"
    elif [ "$ran" != "$*" ]; then
        echo "FAIL $name: ran \"$ran\", expected \"$*\""
    elif [ "$log" != "$want" ]; then
        echo "FAIL $name: the kernel log reads"
        printf '%s\n' "$log"
        echo "--- instead of"
        printf '%s\n' "$want"
    else
        echo "PASS $name"
        return
    fi
    fails=$((fails + 1))
}

fresh()
{
    rm -f "$dir/kmsg" "$dir"/*.ran
    : >"$dir/mounts"
    mkdir -p "$dir/sbin"
}

fresh
guide bootward 0 yes
guide cfgward 0 no
check "both guides, in order, each line under its name" "$(lines_of bootward)
<13>partition-guides: bootward exited with status 0
$(lines_of cfgward)
<13>partition-guides: cfgward exited with status 0" bootward cfgward

fresh
guide cfgward 255 no
check "a failed cfgward reported at error level, the boot goes on" "$(lines_of bootward)
<13>partition-guides: bootward exited with status 0
$(lines_of cfgward)
<11>partition-guides: cfgward failed with status 255; the boot goes on" bootward cfgward

fresh
guide bootward 0 no
check "no cfgward after bootward left /app unmounted (reboot)" "$(lines_of bootward)
<13>partition-guides: bootward exited with status 0
<12>partition-guides: /app is not mounted: bootward switched the system for the reboot; cfgward not run" bootward

# The shell adds its own words about the signal: only the script's lines.
fresh
guide bootward crash no
LOG_FILTER='>partition-guides: ' check "a crashed bootward reported" \
    "<11>partition-guides: bootward failed with status 139; the boot goes on
<12>partition-guides: /app is not mounted: bootward switched the system for the reboot; cfgward not run" bootward

fresh
guide bootward 0 yes
echo 'ubi1_0 /app ubifs rw 0 0' >"$dir/mounts"
check "nothing runs again once /app is mounted" \
    "<12>partition-guides: /app is mounted already: the guides ran in this boot, not again"

exit $((fails > 0))
