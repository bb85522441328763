#!/usr/bin/env bash
# The 64-channel direct receive block beside foreign traffic, as a ratio to
# the empty queue. Each case runs in a process of its own, ROUNDS times,
# interleaved: where a process's pages land in the caches moves one case by
# a third between processes, so ratios taken inside one process mislead.
# Prints each case's block CPU times, their median and the median of the
# rounds' ratios.
# Runs in a fresh network namespace (the benchmark holds the stream port);
# real-time priority when allowed. Needs root for the namespace.
# Usage: bench/foreign_ratio.sh [build dir] [rounds]   (build/linux-release, 7)
set -euo pipefail
build=${1:-build/linux-release}
rounds=${2:-7}
bench=$(realpath "$build/bench/larkwire_bench")
priority=()
chrt -f 10 true 2>/dev/null && priority=(chrt -f 10)
cases=(0 8192 7936)

block_cpu_us() {
    unshare -n sh -c 'ip link set lo up; exec "$@"' sh "${priority[@]}" taskset -c 1 "$bench" \
        --benchmark_filter="ReceiveBlock/channels:64/converted:0/foreign:$1/" \
        --benchmark_min_time=0.3 --benchmark_repetitions=3 --benchmark_report_aggregates_only=true 2>/dev/null |
        sed -n 's/.*_median.*cpu_us=\([0-9.]*\).*/\1/p'
}

declare -A times
for ((r = 0; r < rounds; ++r)); do
    for c in "${cases[@]}"; do times[$c]+="$(block_cpu_us "$c") "; done
done
median() { tr ' ' '\n' | sed '/^$/d' | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# The machine's own state moves every case of a round together, so each
# round's ratio is taken against that round's empty queue.
read -ra empty <<<"${times[0]}"
for c in "${cases[@]}"; do
    read -ra these <<<"${times[$c]}"
    ratios=""
    for ((r = 0; r < rounds; ++r)); do
        ratios+="$(awk -v a="${these[r]}" -v e="${empty[r]}" 'BEGIN { printf "%.3f", a / e }') "
    done
    printf 'foreign %-5s median %.1f us CPU, ratio to the empty queue %.2f x (rounds: %s)\n' \
        "$c" "$(median <<<"${times[$c]}")" "$(median <<<"$ratios")" "${times[$c]% }"
done
