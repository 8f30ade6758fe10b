# Results go to the console and to the second serial port, which the host reads:
# "PASS what", "FAIL what: why", "STORY text", "FIGURE name value", "STATE how".

RESULTS=/dev/ttyS1

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
