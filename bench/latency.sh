#!/usr/bin/env bash
# End-to-end latency between two network namespaces at 48 kHz, blocks of 64,
# 256 and 512 frames, measured with tools/larkwire-host's click train. Both
# namespaces share this computer's clock, which the click measurement needs.
# Needs root. Usage: bench/latency.sh [build dir]   (default build/linux-release)
set -euo pipefail
build=${1:-build/linux-release}
host=$(realpath "$build/tools/larkwire-host")
plugin=$(realpath "$build/larkwire.so")
sender=lw-latency-s receiver=lw-latency-r
seconds=4

cleanup() {
    ip netns pids "$receiver" 2>/dev/null | xargs -r kill 2>/dev/null || true
    ip netns pids "$sender" 2>/dev/null | xargs -r kill 2>/dev/null || true
    ip netns del "$sender" 2>/dev/null || true
    ip netns del "$receiver" 2>/dev/null || true
}
trap cleanup EXIT
cleanup
ip netns add "$sender"
ip netns add "$receiver"
ip link add lwl0 netns "$sender" type veth peer name lwl1 netns "$receiver"
ip -n "$sender" addr add 10.231.9.1/24 dev lwl0
ip -n "$receiver" addr add 10.231.9.2/24 dev lwl1
for ns in "$sender" "$receiver"; do ip -n "$ns" link set lo up; done
ip -n "$sender" link set lwl0 up
ip -n "$receiver" link set lwl1 up

for block in 64 256 512; do
    design=$(awk -v b="$block" 'BEGIN { printf "%.2f", 4 * b / 48.0 }')
    ip netns exec "$receiver" timeout 30 "$host" "$plugin" --receive --id latency --rate 48000 \
        --block "$block" --seconds $((seconds + 1)) --expect-clicks --click-period 0.25 --quiet \
        >/tmp/lw-latency-$block.log 2>&1 &
    pid=$!
    sleep 0.3
    ip netns exec "$sender" timeout 30 "$host" "$plugin" --send 10.231.9.2 --id latency \
        --rate 48000 --block "$block" --seconds "$seconds" --clicks --click-period 0.25 --quiet \
        >/dev/null 2>&1
    wait "$pid" || true
    echo "block $block design ${design} ms: $(grep -m1 'latency:' /tmp/lw-latency-$block.log || echo 'no result')"
    rm -f /tmp/lw-latency-$block.log
done
