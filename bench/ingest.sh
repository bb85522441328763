#!/usr/bin/env bash
# Network-thread ingest: the largest rate of 1247-byte audio datagrams that the
# plug-in's endpoint takes with zero loss, against a plain recvfrom loop on a
# socket set up the same way. Sender and receiver live in two network
# namespaces joined by a veth pair on 10.231.9.0/24; nothing leaves them.
# Needs root. Usage: bench/ingest.sh [build dir]   (default build/linux-release)
set -euo pipefail
build=${1:-build/linux-release}
tool=$(realpath "$build/bench/larkwire_ingest")
trial_seconds=2

NETNS_SUBNET=10.231.9
source "$(dirname "${BASH_SOURCE[0]}")/../tests/netns/lib.sh"
sender=$NS_A receiver=$NS_B
trap netns_down EXIT
netns_up

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
    sent=$(ip netns exec "$sender" timeout 30 "$tool" send "$ADDR_B" "$rate" "$trial_seconds" |
           awk '{ print $2 }')
    wait "$pid" || true
    read -r in1 drop1 < <(udp_counters)
    echo "$sent $((in1 - in0)) $((drop1 - drop0)) $(tr '\n' ' ' <"$log")"
    rm -f "$log"
}

# CPU microseconds per delivered datagram: the endpoint's network thread, or
# the whole plain loop. Scatters less with the machine's load than the rates.
cpu_per_datagram() {
    awk -v d="$1" '{ for (i = 1; i < NF; ++i) if ($i ~ /cpu_s$/ && d > 0) printf "%.2f", $(i + 1) * 1e6 / d }' <<<"$2"
}

echo "mode rate sent delivered dropped cpu_us_per_datagram receiver-report"
for mode in endpoint plain; do
    best=0
    for rate in 10000 25000 50000 100000 150000 200000 250000 300000 400000; do
        read -r sent delivered dropped report < <(trial "$mode" "$rate")
        echo "$mode $rate $sent $delivered $dropped $(cpu_per_datagram "$delivered" "$report") $report"
        if [ "$dropped" -eq 0 ] && [ "$delivered" -ge "$sent" ]; then best=$rate; else break; fi
    done
    echo "RESULT $mode zero-loss up to $best datagrams/s"
done
