#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs every libFuzzer target for SECONDS each (default 20), starting from the seeds in
# tests/fuzz/corpus and the corpus earlier runs grew in build/fuzz/corpus. Prints the
# executions of each target; any crash, leak, time-out or failed check is a finding: its
# input is kept in build/fuzz/findings and the script exits 1.
#
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"
scripts/install-deps.sh --fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)" >/dev/null

targets=(NumberFuzz RecordingFileFuzz RecordingDataFuzz ModBusFuzz CanTunnelFuzz StreamFuzz
         PanelFuzz RecorderFuzz DiaryFuzz LineErrorsFuzz AnalysisFuzz ComtradeFuzz)
findings=build/fuzz/findings
mkdir -p "$findings"
failed=0
total=0
printf '%-18s %12s %10s %8s  %s\n' target executions "exec/s" corpus result
# One target per core at a time: the inputs are small and each target runs on one core.
run_one() {
    local t=$1 rc corpus="build/fuzz/corpus/$1" log="build/fuzz/$1.log"
    mkdir -p "$corpus"
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
        "build/fuzz/tests/fuzz/$t" "$corpus" "tests/fuzz/corpus/$t" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 -max_len=8192 \
        -print_final_stats=1 -artifact_prefix="$findings/$t-" >"$log" 2>&1 && rc=0 || rc=$?
    echo "$rc" >"build/fuzz/$t.rc"
}
jobs_max=$(nproc)
for t in "${targets[@]}"; do
    while [ "$(jobs -rp | wc -l)" -ge "$jobs_max" ]; do wait -n || true; done
    run_one "$t" &
done
wait
for t in "${targets[@]}"; do
    log="build/fuzz/$t.log"
    rc=$(cat "build/fuzz/$t.rc" 2>/dev/null || echo 1)
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
    size=$(find "build/fuzz/corpus/$t" -type f | wc -l)
    result=ok
    if [ "$rc" -ne 0 ]; then
        result="FINDING (see $log)"
        failed=1
    fi
    total=$((total + ${runs:-0}))
    printf '%-18s %12s %10s %8s  %s\n' "$t" "${runs:-?}" "${rate:-?}" "$size" "$result"
done
echo "all targets: $total executions in ${seconds} s each"
if [ "$failed" -ne 0 ]; then
    ls -l "$findings"
    exit 1
fi
