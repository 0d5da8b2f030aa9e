#!/usr/bin/env bash
# A long fuzzing campaign: every libFuzzer target of a fuzz build runs until it
# has made RUNS executions or spent SECONDS, whichever comes first. A campaign
# may be stopped and started again: what each target has done so far is kept
# in STATE/<target>.state and the next start gives it only what is left. At
# the end of each target its corpus is minimised (-merge=1) back into the
# repository, and STATE/report.md gets one row for it.
#
#   scripts/fuzz-campaign.sh [BUILD] [STATE] [SECONDS] [RUNS] [LANES] [TARGET...]
#
# LANES targets run side by side (one core each). Crashes, leaks and time-outs
# are written to fuzz/<area>/regressions/<target>/, which `make test` replays.
set -uo pipefail
build=${1:-build/fuzz}
state=${2:-build/fuzz-campaign}
seconds=${3:-1800}
runs=${4:-10000000}
lanes=${5:-1}
shift $(($# < 5 ? $# : 5))
top=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$state/work" "$state/locks"
export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for f in "$build"/fuzz/*/fuzz_*; do
        [ -x "$f" ] && targets+=("$(basename "$f")")
    done
fi

# The last "#N ... cov: C ft: F corp: K" status line of a libFuzzer log.
last_status() {
    grep -aE '^#[0-9]+' "$1" | tail -1
}

# What libFuzzer writes when it finds something: a crash (sanitizer reports
# included), a leak, a time-out or running out of memory.
count_findings() {
    find "$1" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' \
        -o -name 'oom-*' \) | wc -l
}

one_target() {
    local name=$1 exe area corpus crashes work log st done_runs=0 done_secs=0 findings=0 cov=0 ft=0
    exe=$(ls "$build"/fuzz/*/"$name" 2>/dev/null | head -1)
    [ -x "$exe" ] || { echo "no $name in $build" >&2; return; }
    area=$(basename "$(dirname "$exe")")
    local short=${name#fuzz_}
    corpus="$top/fuzz/$area/corpus/$short"
    crashes="$top/fuzz/$area/regressions/$short"
    work="$state/work/$short"
    st="$state/$short.state"
    mkdir -p "$corpus" "$crashes" "$work"
    [ -f "$st" ] && . "$st"
    while [ "$done_runs" -lt "$runs" ] && [ "$done_secs" -lt "$seconds" ]; do
        log="$state/$short.$(date +%s).log"
        local before after started
        before=$(count_findings "$crashes")
        started=$(date +%s)
        # The work corpus starts from the repository's and keeps growing
        # between restarts; a finding ends a run, the next one goes on.
        "$exe" -runs=$((runs - done_runs)) -max_total_time=$((seconds - done_secs)) \
            -timeout=60 -report_slow_units=100000 -print_final_stats=1 \
            -artifact_prefix="$crashes/" \
            "$work" "$corpus" >"$log" 2>&1
        local rc=$? line n
        line=$(last_status "$log")
        n=$(grep -aoE 'number_of_executed_units: [0-9]+' "$log" | grep -oE '[0-9]+$')
        [ -z "$n" ] && n=$(echo "$line" | grep -oE '^#[0-9]+' | tr -d '#')
        done_runs=$((done_runs + ${n:-0}))
        done_secs=$((done_secs + $(date +%s) - started))
        after=$(count_findings "$crashes")
        cov=$(echo "$line" | grep -oE 'cov: [0-9]+' | grep -oE '[0-9]+')
        ft=$(echo "$line" | grep -oE 'ft: [0-9]+' | grep -oE '[0-9]+')
        findings=$((findings + after - before))
        printf 'done_runs=%s\ndone_secs=%s\ncov=%s\nft=%s\nfindings=%s\n' "$done_runs" \
            "$done_secs" "${cov:-0}" "${ft:-0}" "$findings" >"$st"
        echo "$name: rc $rc, $done_runs runs in ${done_secs}s, cov ${cov:-?}, findings ${findings}"
        # A run that found something goes on with what is left; any other
        # end (its limits reached, or a failure without a finding) is final.
        [ "$after" -eq "$before" ] && break
    done
    # Minimise: the repository keeps the smallest set with the same coverage.
    local merged="$state/merged-$short"
    rm -rf "$merged" && mkdir -p "$merged"
    "$exe" -merge=1 "$merged" "$corpus" "$work" >"$state/$short.merge.log" 2>&1 &&
        [ -n "$(ls "$merged")" ] && rm -rf "$corpus" && mv "$merged" "$corpus"
    printf '| %s/%s | %s | %s | %s | %s | %s | %s |\n' "$area" "$short" "$done_runs" \
        "$done_secs" "${cov:-0}" "${ft:-0}" "$(ls "$corpus" | wc -l)" "${findings:-0}" \
        >>"$state/report.md"
    touch "$state/$short.done"
}

# A lock is a folder holding its lane's process id; one whose lane has gone
# (a campaign stopped half-way) is taken over.
take_lock() {
    if ! mkdir "$1" 2>/dev/null; then
        local pid
        pid=$(cat "$1/pid" 2>/dev/null)
        { [ -z "$pid" ] || kill -0 "$pid" 2>/dev/null; } && return 1
        rm -rf "$1"
        mkdir "$1" 2>/dev/null || return 1
    fi
    echo "$BASHPID" >"$1/pid"
}

lane() {
    for name in "${targets[@]}"; do
        local short=${name#fuzz_}
        [ -f "$state/$short.done" ] && continue
        take_lock "$state/locks/$short" || continue  # another lane has it
        one_target "$name"
    done
}

[ -f "$state/report.md" ] ||
    echo '| target | executions | seconds | edges | features | corpus | findings |' >"$state/report.md"
for _ in $(seq "$lanes"); do
    lane &
done
wait
