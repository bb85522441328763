#!/usr/bin/env bash
# One send-mode instance over a link slower than its stream: 1 Mbit/s, shaped
# by tbf on the sender's veth with a queue deeper than the socket's send
# buffer (as a Wi-Fi driver's is), for SECONDS (default 30). Prints the worst,
# 99th-percentile and median processing call. Neighbour entries are fixed, so
# an ARP probe queued behind the audio cannot turn a stall into a failed send.
# Sender and receiver live in two network namespaces on 10.231.17.0/24;
# nothing leaves them. Needs root.
# Usage: bench/slow_link.sh [build dir] [seconds] [plugin] [channels]
#   (defaults: build/linux-release, 30, the build's larkwire.so, 2)
#   plugin --floor: no plug-in, the same sends from a plain socket
# A MinGW build folder (build/mingw-x86_64) runs its DLL under wine64.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-build/linux-release}
seconds=${2:-30}
channels=${4:-2}
runner=()
if [[ -e $build/larkwire.dll ]]; then
    tool=$(realpath "$build/larkwire_slow_link.exe")
    plugin=${3:-$build/larkwire.dll}
else
    tool=$(realpath "$build/bench/larkwire_slow_link")
    plugin=${3:-$build/larkwire.so}
fi
[[ $plugin == --floor ]] || plugin=$(realpath "$plugin")

NETNS_SUBNET=10.231.17
source "$root/tests/netns/lib.sh"
trap netns_down EXIT
netns_up
if [[ $tool == *.exe ]]; then
    prefix=$(netns_wine_prefix "$root" slow-link)
    netns_wine_server "$NS_A" "$prefix"
    runner=(env WINEPREFIX="$prefix" /usr/lib/wine/wine64)
fi

mac() { ip -n "$1" -o link show "v$1" | sed -n 's/.*link\/ether \([0-9a-f:]*\).*/\1/p'; }
ip -n "$NS_A" neigh replace "$ADDR_B" lladdr "$(mac "$NS_B")" dev "v$NS_A" nud permanent
ip -n "$NS_B" neigh replace "$ADDR_A" lladdr "$(mac "$NS_A")" dev "v$NS_B" nud permanent
tc -n "$NS_A" qdisc add dev "v$NS_A" root tbf rate 1mbit burst 32kbit limit 64mb

echo "link: 1 Mbit/s tbf, $channels channel(s) of 48 kHz float = $(awk -v c="$channels" \
    'BEGIN { printf "%.1f", c * 48000 * 32 / 1e6 }') Mbit/s of samples, $seconds s, $plugin"
# Real-time priority, as a DAW gives its audio thread, so that the figures
# show the plug-in rather than other work on this computer. A stalled call may
# outlast the run; the bound ends it all the same.
priority=()
chrt -f 50 true 2>/dev/null && priority=(chrt -f 50)
echo "scheduling: ${priority[*]:-normal}"
ip netns exec "$NS_A" timeout $((seconds + 60)) "${priority[@]}" "${runner[@]}" "$tool" "$plugin" \
    "$ADDR_B" "$seconds" "$channels"
tc -n "$NS_A" -s qdisc show dev "v$NS_A" | sed -n 's/^ *\(Sent .*\)/qdisc: \1/p'
