#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) and runs each one for a
# bounded time, starting from the seed corpus in fuzz/corpus/<target>/.
#   fuzz/run.sh [SECONDS] [TARGET...]     default 30 s each, every target
#   fuzz/run.sh 1800                      the long run: 30 min per target
# New inputs go to build/fuzz/work/<target>/ (the seeds stay as they are),
# crashes to build/fuzz/artifacts/<target>/. Prints executions and crashes
# per target and fails when any target crashed.
set -euo pipefail
seconds=${1:-30}
shift || true
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/fuzz
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=(accept_datagram playout midi_delivery set_chunk recent_destinations)

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLARKWIRE_FUZZ=ON -DLARKWIRE_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" $(printf -- '--target fuzz_%s ' "${targets[@]}") >/dev/null

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
summary=$build/summary.txt
: >"$summary"
failed=0
printf '%-22s %12s %8s %s\n' target executions crashes seconds | tee -a "$summary"
for t in "${targets[@]}"; do
    work=$build/work/$t
    artifacts=$build/artifacts/$t
    mkdir -p "$work" "$artifacts"
    log=$build/$t.log
    rc=0
    "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -print_final_stats=1 -max_len=8192 \
        -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$artifacts/" \
        "$work" "$root/fuzz/corpus/$t" >"$log" 2>&1 || rc=$?
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    crashes=$(find "$artifacts" -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
    [[ $rc -eq 0 && $crashes -eq 0 ]] || failed=1
    printf '%-22s %12s %8s %s\n' "$t" "${execs:-?}" "$crashes" "$seconds" | tee -a "$summary"
    [[ $rc -eq 0 ]] || tail -40 "$log"
done
exit $failed
