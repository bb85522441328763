#!/usr/bin/env bash
# Network-thread ingest: the largest rate of 1247-byte audio datagrams that the
# plug-in's endpoint takes with zero loss, against a plain recvfrom loop on a
# socket set up the same way. Sender and receiver live in two network
# namespaces joined by a veth pair on 10.231.9.0/24; nothing leaves them.
# Needs root. Usage: bench/ingest.sh [build dir]   (default build/linux-release)
set -euo pipefail
build=${1:-build/linux-release}
tool=$(realpath "$build/bench/larkwire_ingest")
sender=lw-ingest-s receiver=lw-ingest-r
trial_seconds=2

cleanup() {
    ip netns pids "$receiver" 2>/dev/null | xargs -r kill 2>/dev/null || true
    ip netns del "$sender" 2>/dev/null || true
    ip netns del "$receiver" 2>/dev/null || true
}
trap cleanup EXIT
cleanup
ip netns add "$sender"
ip netns add "$receiver"
ip link add lwi0 netns "$sender" type veth peer name lwi1 netns "$receiver"
ip -n "$sender" addr add 10.231.9.1/24 dev lwi0
ip -n "$receiver" addr add 10.231.9.2/24 dev lwi1
for ns in "$sender" "$receiver"; do
    ip -n "$ns" link set lo up
done
ip -n "$sender" link set lwi0 up
ip -n "$receiver" link set lwi1 up

# Udp InDatagrams and RcvbufErrors of the receiver's namespace.
udp_counters() {
    ip netns exec "$receiver" awk '/^Udp:/ { if (++n == 2) print $2, $6 }' /proc/net/snmp
}

# One trial: prints "sent delivered dropped".
trial() {
    local mode=$1 rate=$2 log
    log=$(mktemp)
    ip netns exec "$receiver" timeout 30 "$tool" "$mode" $((trial_seconds + 2)) >"$log" &
    local pid=$!
    for _ in $(seq 50); do grep -q ready "$log" && break; sleep 0.05; done
    read -r in0 drop0 < <(udp_counters)
    local sent
    sent=$(ip netns exec "$sender" timeout 30 "$tool" send 10.231.9.2 "$rate" "$trial_seconds" |
           awk '{ print $2 }')
    wait "$pid" || true
    read -r in1 drop1 < <(udp_counters)
    echo "$sent $((in1 - in0)) $((drop1 - drop0)) $(tr '\n' ' ' <"$log")"
    rm -f "$log"
}

echo "mode rate sent delivered dropped receiver-report"
for mode in endpoint plain; do
    best=0
    for rate in 10000 25000 50000 100000 150000 200000 250000 300000 400000; do
        read -r sent delivered dropped report < <(trial "$mode" "$rate")
        echo "$mode $rate $sent $delivered $dropped $report"
        if [ "$dropped" -eq 0 ] && [ "$delivered" -ge "$sent" ]; then best=$rate; else break; fi
    done
    echo "RESULT $mode zero-loss up to $best datagrams/s"
done
