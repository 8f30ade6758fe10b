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
        # The job's own boots, added up by finish_jobs.
        # shellcheck disable=SC2030
        RUN_BOOTS=0
        "$@" >"$out.out" 2>&1 || echo "FAIL $name: the run stopped with status $?" >>"$out.out"
        echo "$RUN_BOOTS" >"$out.boots"
    ) &
    JOB_OUTPUTS+=("$out")
}

# Waits for every job, prints their outputs and adds up their checks and boots.
finish_jobs()
{
    local out
    wait
    for out in "${JOB_OUTPUTS[@]}"; do
        cat "$out.out"
        CHECKS_PASSED=$((CHECKS_PASSED + $(grep -c '^PASS ' "$out.out" || true)))
        CHECKS_FAILED=$((CHECKS_FAILED + $(grep -c '^FAIL ' "$out.out" || true)))
        CHECKS_KNOWN=$((CHECKS_KNOWN + $(grep -c '^KNOWN-FAIL ' "$out.out" || true)))
        # shellcheck disable=SC2031 # this shell's count, not a job's
        RUN_BOOTS=$((RUN_BOOTS + $(cat "$out.boots" 2>/dev/null || echo 0)))
    done
    JOB_OUTPUTS=()
}
