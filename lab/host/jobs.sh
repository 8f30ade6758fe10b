# shellcheck shell=bash
# Runs of the board are independent of each other, so several go at once (one
# VM with one CPU each): LAB_PARALLEL at a time, the number of cores unless set.
# A job's output is kept and printed in the order the jobs started.

LAB_PARALLEL=${LAB_PARALLEL:-$(nproc)}
JOB_OUTPUTS=()

# start_job NAME COMMAND...
start_job()
{
    local name=$1 out
    shift
    while [ "$(jobs -rp | wc -l)" -ge "$LAB_PARALLEL" ]; do
        wait -n || true
    done
    out=$LAB_RUN/jobs/${name//\//-}
    mkdir -p "$LAB_RUN/jobs"
    (
        # The job's own boots (and how many of them warm), added up by finish_jobs.
        # shellcheck disable=SC2030
        RUN_BOOTS=0 RUN_WARM_BOOTS=0
        "$@" >"$out.out" 2>&1 || echo "FAIL $name: the run stopped with status $?" >>"$out.out"
        echo "$RUN_BOOTS $RUN_WARM_BOOTS" >"$out.boots"
    ) &
    JOB_OUTPUTS+=("$out")
}

# Waits for every job, prints their outputs and adds up their checks and boots.
finish_jobs()
{
    local out boots warm
    wait
    for out in "${JOB_OUTPUTS[@]}"; do
        cat "$out.out"
        CHECKS_PASSED=$((CHECKS_PASSED + $(grep -c '^PASS ' "$out.out" || true)))
        CHECKS_FAILED=$((CHECKS_FAILED + $(grep -c '^FAIL ' "$out.out" || true)))
        CHECKS_KNOWN=$((CHECKS_KNOWN + $(grep -c '^KNOWN-FAIL ' "$out.out" || true)))
        boots=0 warm=0
        [ -f "$out.boots" ] && read -r boots warm <"$out.boots"
        # shellcheck disable=SC2031 # this shell's counts, not a job's
        RUN_BOOTS=$((RUN_BOOTS + boots)) RUN_WARM_BOOTS=$((RUN_WARM_BOOTS + warm))
    done
    JOB_OUTPUTS=()
}
