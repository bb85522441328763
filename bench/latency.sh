#!/usr/bin/env bash
# End-to-end latency between two network namespaces at 48 kHz, blocks of 64,
# 256 and 512 frames, measured with tools/larkwire-host's click train. Both
# namespaces share this computer's clock, which the click measurement needs.
# Needs root. Usage: bench/latency.sh [build dir]   (default build/linux-release)
set -euo pipefail
build=${1:-build/linux-release}
host=$(realpath "$build/tools/larkwire-host")
plugin=$(realpath "$build/larkwire.so")
seconds=4

NETNS_SUBNET=10.231.9
source "$(dirname "${BASH_SOURCE[0]}")/../tests/netns/lib.sh"
sender=$NS_A receiver=$NS_B
trap netns_down EXIT
netns_up

for block in 64 256 512; do
    design=$(awk -v b="$block" 'BEGIN { printf "%.2f", 4 * b / 48.0 }')
    ip netns exec "$receiver" timeout 30 "$host" "$plugin" --receive --id latency --rate 48000 \
        --block "$block" --seconds $((seconds + 1)) --expect-clicks --click-period 0.25 --quiet \
        >/tmp/lw-latency-$block.log 2>&1 &
    pid=$!
    sleep 0.3
    ip netns exec "$sender" timeout 30 "$host" "$plugin" --send "$ADDR_B" --id latency \
        --rate 48000 --block "$block" --seconds "$seconds" --clicks --click-period 0.25 --quiet \
        >/dev/null 2>&1
    wait "$pid" || true
    echo "block $block design ${design} ms: $(grep -m1 'latency:' /tmp/lw-latency-$block.log || echo 'no result')"
    rm -f /tmp/lw-latency-$block.log
done
