# shellcheck shell=dash
# The per-period cost of the transfer paths on the real kernel. The emulator
# runs with -icount shift=0 here, so a thread's CPU time in nanoseconds is the
# number of instructions it executed, in user space and in the kernel on its
# behalf. Each path streams on the dummy card (which takes and gives periods
# in time, like a real card) in three rounds; the median of each counts.
# Two callers: one that does nothing but transfer, and one that uses the FPU
# once per period as callers that scale, mix or memcpy their samples do (on
# 32-bit ARM the first FPU instruction after each wait traps into the kernel).

audio_checks()
{
    local periods card caller dir path
    periods=$(lab_arg periods)
    check "the dummy card" modprobe snd-dummy hrtimer=1 pcm_substreams=1 || return
    card=$(card_of Dummy)
    for caller in plain fpu; do
        : >/tmp/cost.$caller
        for _ in 1 2 3; do
            for dir in send receive; do
                for path in direct stream board; do
                    # shellcheck disable=SC2046 # the option or nothing
                    if ! uac_period_cpu $([ $caller = fpu ] && echo --fpu) "$card" 0 $dir $path "${periods:-2000}" \
                        >>/tmp/cost.$caller 2>/tmp/cost.err; then
                        fail "uac_period_cpu ($caller caller) $dir $path" "$(tr '\n' ' ' </tmp/cost.err)"
                        return
                    fi
                done
            done
        done
    done
    pass "every path streamed ${periods:-2000} periods each way in 3 rounds, for each caller"
    for caller in plain fpu; do
        sed "s/^/  | $caller /" /tmp/cost.$caller
        cost_figures $caller </tmp/cost.$caller | while IFS= read -r line; do figure "$line"; done
    done
}

# Lines "DIRECTION PATH PERIODS NS WAITS" in; per direction the median of each
# path and its ratio to the direct path out, for the caller named ($1).
cost_figures()
{
    awk -v caller="$1" '
        { v[$1 " " $2] = v[$1 " " $2] " " $4 }
        function median(list,   n, a, i, j, t) {
            n = split(list, a, " ")
            for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
            return a[int((n + 1) / 2)]
        }
        END {
            split("send receive", dirs, " ")
            for (d = 1; d <= 2; d++) {
                base = median(v[dirs[d] " direct"])
                printf "audio-cost %s (%s caller): instructions per period (user and kernel): tinyalsa direct %d, XU_UAC_* %d (%.3f), BSP_Uac*_m %d (%.3f)\n",
                    dirs[d], caller, base, median(v[dirs[d] " stream"]), median(v[dirs[d] " stream"]) / base,
                    median(v[dirs[d] " board"]), median(v[dirs[d] " board"]) / base
            }
        }'
}
