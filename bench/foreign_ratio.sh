#!/usr/bin/env bash
# The direct receive block beside foreign traffic, as a ratio to the empty
# queue, for 64 and 2 channels. Each case is one fixed run in a process of
# its own:
# - where a process's pages land in the caches moves one case by a third
#   between processes, so ratios taken inside one process mislead;
# - a second run in the same process lays its instance out among the holes
#   the first run's records left, which measures the benchmark's own heap
#   history, not the queue.
# The cases run ROUNDS times, in an order rotated every round: at fixed
# places, identical cases differed by up to 8 %.
# Prints each case's block CPU times, their median and the median of the
# rounds' ratios to the same round's empty queue.
# Runs in a fresh network namespace (the benchmark holds the stream port);
# real-time priority when allowed. Needs root for the namespace.
# Usage: bench/foreign_ratio.sh [build dir] [rounds]   (build/linux-release, 9)
set -euo pipefail
build=${1:-build/linux-release}
rounds=${2:-9}
bench=$(realpath "$build/bench/larkwire_bench")
priority=()
chrt -f 10 true 2>/dev/null && priority=(chrt -f 10)
# channels:foreign
cases=(64:0 64:8192 64:7936 2:0 2:8192)

block_cpu_us() {
    unshare -n sh -c 'ip link set lo up; exec "$@"' sh "${priority[@]}" taskset -c 1 "$bench" \
        --benchmark_filter="ReceiveBlockOneRun/channels:${1%:*}/converted:0/foreign:${1#*:}/" 2>/dev/null |
        sed -n 's/.*manual_time.*cpu_us=\([0-9.]*\).*/\1/p'
}

declare -A times
for ((r = 0; r < rounds; ++r)); do
    for ((k = 0; k < ${#cases[@]}; ++k)); do
        c=${cases[(k + r) % ${#cases[@]}]}
        times[$c]+="$(block_cpu_us "$c") "
    done
done
median() { tr ' ' '\n' | sed '/^$/d' | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# The machine's own state moves the cases of a round together, so each
# round's ratio is taken against that round's empty queue.
for c in "${cases[@]}"; do
    read -ra empty <<<"${times[${c%:*}:0]}"
    read -ra these <<<"${times[$c]}"
    ratios=""
    for ((r = 0; r < rounds; ++r)); do
        ratios+="$(awk -v a="${these[r]}" -v e="${empty[r]}" 'BEGIN { printf "%.3f", a / e }') "
    done
    printf '%2s ch, foreign %-5s median %.2f us CPU, ratio to the empty queue %.2f x (rounds: %s)\n' \
        "${c%:*}" "${c#*:}" "$(median <<<"${times[$c]}")" "$(median <<<"$ratios")" "${times[$c]% }"
done
