# shellcheck shell=dash
# Results go to the console and to the second serial port, which the host reads:
# "PASS what", "FAIL what: why", "KNOWN what: why" (a failure of a known fault
# of the guides, reported but not counted as failed), "STORY text",
# "FIGURE text", "STATE how".

# The port is ttyS1 unless the kernel command line names another (lab.results).
RESULTS=/dev/$(lab_arg results)
[ "$RESULTS" != /dev/ ] || RESULTS=/dev/ttyS1

result()
{
    echo "$*"
    echo "$*" >"$RESULTS"
}

pass()
{
    result "PASS $1"
}

fail()
{
    result "FAIL $1: $2"
}

# check WHAT COMMAND...: the command prints why it failed.
check()
{
    local what=$1 why
    shift
    if why=$("$@" 2>&1); then
        pass "$what"
    else
        fail "$what" "$(echo "$why" | tr '\n' ' ' | sed 's/ *$//')"
    fi
}

# check_known FAULT WHAT COMMAND...: a check that a known fault of the guides
# makes fail; its failures are reported with the fault, apart from the others.
check_known()
{
    local fault=$1 what=$2 why
    shift 2
    if why=$("$@" 2>&1); then
        pass "$what"
    else
        result "KNOWN $what: $(echo "$why" | tr '\n' ' ' | sed 's/ *$//') [known fault: $fault]"
    fi
}

story()
{
    result "STORY $*"
}

figure()
{
    result "FIGURE $*"
}

# Seconds since power-on, to 10 ms.
now()
{
    cut -d' ' -f1 /proc/uptime
}

elapsed()
{
    echo "$1 $2" | awk '{printf "%.2f", $2 - $1}'
}
