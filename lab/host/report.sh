# shellcheck shell=bash
# What the guest reported on its results port, turned into the lab's output:
# checks prefixed with the run and boot they belong to, figures collected for
# the closing summary, story lines shown when the run tells its story.

CHECKS_PASSED=0
CHECKS_FAILED=0
CHECKS_KNOWN=0
# shellcheck disable=SC2034 # counted by power_on, read by run_scenario and the jobs
RUN_BOOTS=0
# shellcheck disable=SC2034 # counted by power_on_boots, read by run_cuts and the jobs
RUN_WARM_BOOTS=0
SHOW_STORY=${SHOW_STORY:-0}

host_pass()
{
    echo "PASS $1"
    CHECKS_PASSED=$((CHECKS_PASSED + 1))
}

# host_fail NAME WHY (WHY may be empty when NAME already says it)
host_fail()
{
    echo "FAIL $1${2:+: $2}"
    CHECKS_FAILED=$((CHECKS_FAILED + 1))
}

# collect_results RESULTS NAME COMMANDS-OUT: sets BOOT_STATE (for the scenarios).
# shellcheck disable=SC2034
collect_results()
{
    local results=$1 name=$2 commands=$3 line
    BOOT_STATE=none
    : >"$commands"
    : >"${commands%.commands}.times"
    [ -f "$results" ] || return 0
    while IFS= read -r line; do
        line=${line%$'\r'}
        case $line in
        "PASS "*) host_pass "$name: ${line#PASS }" ;;
        "FAIL "*) host_fail "$name: ${line#FAIL }" ;;
        "KNOWN "*)
            echo "KNOWN-FAIL $name: ${line#KNOWN }"
            CHECKS_KNOWN=$((CHECKS_KNOWN + 1))
            ;;
        "STATE "*) BOOT_STATE=${line#STATE } ;;
        "STORY "*) if [ "$SHOW_STORY" = 1 ]; then echo "  ${line#STORY }"; fi ;;
        "FIGURE "*) echo "$name ${line#FIGURE }" >>"$LAB_RUN/figures" ;;
        "CMD "*) echo "${line#CMD }" >>"$commands" ;;
        "CMDT "*) echo "${line#CMDT }" >>"${commands%.commands}.times" ;;
        "CUT "*) echo "  ($name: power cut ${line#CUT })" ;;
        esac
    done <"$results"
}

print_figures()
{
    [ -s "$LAB_RUN/figures" ] || return 0
    echo "figures:"
    sed 's/^/  /' "$LAB_RUN/figures"
}
