#!/usr/bin/env bash
# Floods a receiving instance from another network namespace while a good
# stream plays into it. Bounded: both sides stop by themselves.
#   tests/stress/flood.sh [SECONDS] [BUILD_DIR]   default 10 s, build/linux-asan
#   tests/stress/flood.sh 60                      the long version
#   FLOOD_MODE=linkflap tests/stress/flood.sh 10   no flood; the receiver's link
#       goes down for 2 s mid-stream and comes back: the stream must resume
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

trap netns_down EXIT INT TERM
netns_up
out=$(mktemp -d)
# The receiver starts first and runs 2 s longer, so it sees the whole flood.
ip netns exec "$NS_B" timeout $((seconds + 30)) "$receiver" $((seconds + 2)) good >"$out/receiver" 2>&1 &
receiverPid=$!
sleep 1
mode=${FLOOD_MODE:-flood}
if [[ $mode == linkflap ]]; then
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
cat "$out/sender" "$out/receiver"
if [[ $mode == linkflap ]] && ! grep -q '^resumes_after_underrun=[1-9]' "$out/receiver"; then
    echo "the stream did not resume after the link came back"
    receiverRc=1
fi
rm -rf "$out"
echo "mode=$mode flood_seconds=$seconds sender_rc=$senderRc receiver_rc=$receiverRc"
[[ $senderRc -eq 0 && $receiverRc -eq 0 ]]
