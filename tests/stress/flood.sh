#!/usr/bin/env bash
# Floods a receiving instance from another network namespace while a good
# stream plays into it. Bounded: both sides stop by themselves.
#   tests/stress/flood.sh [SECONDS] [BUILD_DIR]   default 10 s, build/linux-asan
#   tests/stress/flood.sh 60                      the long version
#   FLOOD_MODE=linkflap tests/stress/flood.sh 10   no flood; the receiver's link
#       goes down for 2 s mid-stream and comes back: the stream must resume
#   FLOOD_MODE=third FLOOD_RATE=25000 tests/stress/flood.sh 10 build/linux-release
#       the good stream alone from A; from a third namespace C on its own
#       link to B, valid audio of other streams (2, 8 and 64 channels) at
#       FLOOD_RATE datagrams per second
# Needs root (namespaces); skips with a message otherwise.
set -uo pipefail
seconds=${1:-10}
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${2:-$root/build/linux-asan}
NETNS_SUBNET=10.231.11
# shellcheck source=../netns/lib.sh
source "$root/tests/netns/lib.sh"
if ! reason=$(netns_usable); then
    echo "SKIP flood: $reason"
    exit 0
fi
receiver=$build/tests/stress/flood_receiver
sender=$build/tests/stress/flood_sender
[[ -x $receiver && -x $sender ]] || { echo "build $build first (flood_receiver, flood_sender)"; exit 1; }

NS_C=${NETNS_TAG:-lw}C$$
third_down() {
    ip netns pids "$NS_C" 2>/dev/null | xargs -r kill 2>/dev/null || true
    ip netns del "$NS_C" 2>/dev/null || true
    netns_down
}
trap third_down EXIT INT TERM
netns_up
mode=${FLOOD_MODE:-flood}
if [[ $mode == third ]]; then
    # C reaches B over a veth pair of its own, so the flood does not share
    # the good stream's link.
    ip netns add "$NS_C"
    ip link add "v$NS_C" type veth peer name "w$NS_B"
    ip link set "v$NS_C" netns "$NS_C"
    ip link set "w$NS_B" netns "$NS_B"
    ip -n "$NS_C" addr add 10.231.12.1/24 dev "v$NS_C"
    ip -n "$NS_B" addr add 10.231.12.2/24 dev "w$NS_B"
    ip -n "$NS_C" link set lo up
    ip -n "$NS_C" link set "v$NS_C" up
    ip -n "$NS_B" link set "w$NS_B" up
fi
out=$(mktemp -d)
# The receiver starts first and runs 2 s longer, so it sees the whole flood.
ip netns exec "$NS_B" timeout $((seconds + 30)) "$receiver" $((seconds + 2)) good >"$out/receiver" 2>&1 &
receiverPid=$!
sleep 1
if [[ $mode == third ]]; then
    ip netns exec "$NS_C" timeout $((seconds + 30)) "$sender" 10.231.12.2 "$seconds" - \
        "foreign=${FLOOD_RATE:-10000}" >"$out/flooder" 2>&1 &
    flooderPid=$!
    ip netns exec "$NS_A" timeout $((seconds + 30)) "$sender" "$ADDR_B" "$seconds" good noflood >"$out/sender" 2>&1
    goodRc=$?
    wait $flooderPid
    cat "$out/flooder"
    # Datagrams the kernel dropped before our socket read them.
    ip netns exec "$NS_B" awk '/^Udp:/ { if (++n == 2) print "udp_in=" $2 "\nudp_rcvbuf_errors=" $6 }' /proc/net/snmp
    (exit $goodRc)
elif [[ $mode == linkflap ]]; then
    ip netns exec "$NS_A" timeout $((seconds + 30)) "$sender" "$ADDR_B" "$seconds" good noflood >"$out/sender" 2>&1 &
    senderPid=$!
    sleep $((seconds / 2))
    ip -n "$NS_B" link set "v$NS_B" down
    sleep 2
    ip -n "$NS_B" link set "v$NS_B" up
    ip -n "$NS_B" route add default dev "v$NS_B" 2>/dev/null || true
    wait $senderPid
else
    ip netns exec "$NS_A" timeout $((seconds + 30)) "$sender" "$ADDR_B" "$seconds" good >"$out/sender" 2>&1
fi
senderRc=$?
wait $receiverPid
receiverRc=$?
report=$(cat "$out/sender" "$out/receiver")
echo "$report"
if [[ $mode == linkflap ]] && ! grep -q '^resumes_after_underrun=[1-9]' "$out/receiver"; then
    echo "the stream did not resume after the link came back"
    receiverRc=1
fi
rm -rf "$out"
if [[ $mode == third ]]; then
    # Every block the good stream sent must have played.
    good=$(sed -n 's/^good_blocks=//p' <<<"$report")
    played=$(sed -n 's/^played=//p' <<<"$report")
    echo "lost_blocks=$((good - played)) at ${FLOOD_RATE:-10000} foreign datagrams/s"
fi
echo "mode=$mode flood_seconds=$seconds sender_rc=$senderRc receiver_rc=$receiverRc"
[[ $senderRc -eq 0 && $receiverRc -eq 0 ]]
