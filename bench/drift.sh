#!/usr/bin/env bash
# Clock drift between two simulated computers: for each of -1000, -100, 0,
# +100 and +1000 ppm, a sender whose audio clock runs that much off (the
# command-line host's --clock-ppm) streams a 1 kHz tone and a click train to a
# receiver at the nominal clock, each in its own network namespace joined by
# a veth pair. The runs go side by side, one namespace pair each. The table
# comes from the receiver's own stream report (see larkwire-host --help):
# underruns, tone discontinuities after the start, the click latency at the
# start and the end and its range (in 512-frame blocks; the pre-buffer target
# is 4), the largest move away from the start latency, the drift the receiver
# measured, and whether the tone arrived bit-exact (at 0 ppm: the fine
# resampler never engaged).
# Both hosts run at a real-time priority (chrt -f 10), as a DAW's audio
# thread does, so that a loaded machine disturbs them less.
# Needs root. Usage: bench/drift.sh [seconds] [build dir]
#   (default 60 s, build/linux-release); SERIAL=1 runs one pair at a time.
set -euo pipefail
seconds=${1:-60}
build=${2:-build/linux-release}
host=$(realpath "$build/tools/larkwire-host")
plugin=$(realpath "$build/larkwire.so")
ppms=(${PPMS:--1000 -100 0 100 1000})
logs=$(mktemp -d /tmp/dr-drift.XXXXXX)
tag=dr$$

down() {
    local i
    for i in "${!ppms[@]}"; do
        for side in s r; do
            ip netns pids "$tag$i$side" 2>/dev/null | xargs -r kill 2>/dev/null || true
            ip netns del "$tag$i$side" 2>/dev/null || true
        done
    done
}
trap 'down; rm -rf "$logs"' EXIT

up() {  # pair i: sender 10.232.i.1, receiver 10.232.i.2
    local i=$1 side
    ip netns add "$tag${i}s"
    ip netns add "$tag${i}r"
    ip link add "v$tag${i}s" type veth peer name "v$tag${i}r"
    for side in s r; do
        local ns=$tag$i$side address=10.232.$i.1
        [[ $side == r ]] && address=10.232.$i.2
        ip link set "v$ns" netns "$ns"
        ip -n "$ns" addr add "$address/24" dev "v$ns"
        ip -n "$ns" link set lo up
        ip -n "$ns" link set "v$ns" up
    done
}

one() {  # pair i at ppm p
    local i=$1 p=$2
    ip netns exec "$tag${i}r" timeout $((seconds + 30)) chrt -f 10 "$host" "$plugin" --receive --id drift \
        --channels 2 --seconds "$seconds" --wait 10 --expect-tone 1000 --expect-clicks --quiet \
        >"$logs/$i.log" 2>&1 &
    local receiver=$!
    sleep 0.5
    ip netns exec "$tag${i}s" timeout $((seconds + 30)) chrt -f 10 "$host" "$plugin" --send 10.232.$i.2 \
        --id drift --channels 2 --tone 1000 --clicks --clock-ppm "$p" --seconds $((seconds + 3)) \
        --quiet >"$logs/$i.sender.log" 2>&1 || true
    wait "$receiver" || true
}

down
for i in "${!ppms[@]}"; do up "$i"; done
echo "drift runs of $seconds s, $(nproc) cores; logs in $logs while it runs"
for i in "${!ppms[@]}"; do
    if [[ ${SERIAL:-0} == 1 ]]; then one "$i" "${ppms[$i]}"; else one "$i" "${ppms[$i]}" & fi
done
wait

field() { grep -m1 "^$2" "$logs/$1.log" | sed "s/^$2 *//"; }
printf "%6s %9s %8s %10s %10s %16s %9s %11s %9s\n" ppm underruns discont "lat start" "lat end" \
    "lat min..max" "max move" "drift ppm" bit-exact
for i in "${!ppms[@]}"; do
    start=$(field "$i" "latency start:" | sed -n 's/.*(\([-0-9.]*\) blocks).*/\1/p')
    end=$(field "$i" "latency end:" | sed -n 's/.*(\([-0-9.]*\) blocks).*/\1/p')
    range=$(field "$i" "latency range:" | sed -n 's/.*(\([-0-9.]*\) \.\. \([-0-9.]*\) blocks.*/\1 \2/p')
    low=${range% *} high=${range#* }
    move=$(awk -v s="${start:-0}" -v l="${low:-0}" -v h="${high:-0}" \
        'BEGIN { a = s - l; b = h - s; printf "%.2f", (a > b ? a : b) }')
    printf "%+6d %9s %8s %10s %10s %16s %9s %11s %9s\n" "${ppms[$i]}" \
        "$(field "$i" "underruns:")" "$(field "$i" "discontinuities:" | cut -d' ' -f1)" \
        "${start:--}" "${end:--}" "${low:--}..${high:--}" "$move" \
        "$(field "$i" "drift:" | cut -d' ' -f1)" "$(field "$i" "tone bit-exact:" | cut -d' ' -f1)"
done
echo "latencies in 512-frame blocks at 48 kHz (10.67 ms); target 4 blocks of pre-buffer"
if [[ -n ${KEEP_LOGS:-} ]]; then cp -r "$logs" "$KEEP_LOGS"; fi
