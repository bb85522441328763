#!/bin/bash
# The monitor against real senders between two network namespaces: a made-up
# stream from the plug-in's packet writer (unicast and broadcast, with broken
# datagrams), the refusal to share the port, the live screen, and, when the
# command-line host is built, the real plug-in as the sender.
#   monitor_netns.sh MONITOR TEST_SENDER [LARKWIRE_HOST PLUGIN]
# Exit 77 (skipped) without root.
set -uo pipefail
monitor=$1
sender=$2
cli_host=${3:-}
plugin=${4:-}

NETNS_SUBNET=10.231.13
source "$(dirname "${BASH_SOURCE[0]}")/../netns/lib.sh"
if ! reason=$(netns_usable); then
    echo "SKIP: $reason"
    exit 77
fi
A=$NS_A
B=$NS_B
work=$(mktemp -d)
trap 'netns_down; rm -rf "$work"' EXIT
netns_up || exit 1

failures=0
check() {  # check DESCRIPTION COMMAND...
    if "${@:2}"; then echo "ok: $1"; else echo "FAIL: $1"; failures=$((failures + 1)); fi
}
# field LINE COLUMN: the whitespace-separated column of a table line
field() { awk -v c="$2" '{ print $c }' <<<"$1"; }
near() {  # near VALUE EXPECTED PERCENT
    awk -v v="$1" -v e="$2" -v p="$3" 'BEGIN { d = v - e; if (d < 0) d = -d; exit !(d <= e * p / 100) }'
}

# 1. One stream to the address, another to broadcast, 5 broken datagrams.
ip netns exec "$B" "$monitor" --once --seconds 3 >"$work/once.txt" 2>&1 &
monitor_pid=$!
netns_wait_bound "$B" || echo "monitor did not bind"
ip netns exec "$A" "$sender" "$ADDR_B" studio 2 44100 150 200 4 10 5 &
ip netns exec "$A" "$sender" 255.255.255.255 Studio 1 48000 300 50 4 0 0 &
wait "$monitor_pid"
check "--once exits 0" test $? -eq 0
wait
cat "$work/once.txt"
line=$(grep '^"studio"' "$work/once.txt")
check "unicast stream listed" test -n "$line"
check "sender address" grep -q "^$ADDR_A:" <<<"$(field "$line" 2)"
check "channels and rate" test "$(field "$line" 3) $(field "$line" 4)" = "2 44100"
check "datagrams/s near 210" near "$(field "$line" 5)" 210 10
check "frames/s near 30000" near "$(field "$line" 6)" 30000 10
check "MIDI events/s near 10" near "$(field "$line" 7)" 10 35
line=$(grep '^"Studio"' "$work/once.txt")
check "broadcast stream listed apart (case matters)" test "$(field "$line" 3) $(field "$line" 4)" = "1 48000"
check "broadcast frames/s near 15000" near "$(field "$line" 6)" 15000 10
check "5 malformed from the sender" grep -Eq "^$ADDR_A +5 +last: totalLength disagrees" "$work/once.txt"

# 2. The port is not shared: a second monitor refuses, and says why.
ip netns exec "$B" "$monitor" --seconds 3 >"$work/live.txt" 2>&1 &
monitor_pid=$!
netns_wait_bound "$B"
ip netns exec "$A" "$sender" "$ADDR_B" live 8 48000 37 100 3 0 0 &
ip netns exec "$B" "$monitor" --once --seconds 1 >"$work/second.txt" 2>&1
check "a second monitor exits 3" test $? -eq 3
check "it says a host here is receiving" grep -q "already receiving here" "$work/second.txt"
check "it says to use another computer" grep -q "another computer" "$work/second.txt"

# 3. The live screen refreshes once a second and warns about local plug-ins.
wait "$monitor_pid"
check "live monitor exits 0 after --seconds" test $? -eq 0
wait
check "live screen warns that a plug-in here cannot receive" \
    grep -q "a Larkwire plug-in on this" "$work/live.txt"
refreshes=$(grep -c '^IDENTIFIER' "$work/live.txt")
check "about one refresh a second ($refreshes in 3 s)" test "$refreshes" -ge 3 -a "$refreshes" -le 4
check "live 8-channel stream shown" grep -Eq '^"live" +10\.231\.13\.1:[0-9]+ +8 +48000' "$work/live.txt"

# 4. The real plug-in as sender, through the command-line host.
if [[ -x $cli_host && -f $plugin ]]; then
    ip netns exec "$B" "$monitor" --once --seconds 2 >"$work/real.txt" 2>&1 &
    monitor_pid=$!
    netns_wait_bound "$B"
    ip netns exec "$A" "$cli_host" "$plugin" --send "$ADDR_B" --id real --tone 440 --seconds 3 \
        --rate 48000 --block 512 --midi "0.2:on:60,0.4:off:60,0.6:on:62,0.8:off:62" --quiet \
        >"$work/host.txt" 2>&1 &
    wait "$monitor_pid"
    wait
    cat "$work/real.txt"
    line=$(grep '^"real"' "$work/real.txt")
    check "plug-in stream: 2 channels at 48000" test "$(field "$line" 3) $(field "$line" 4)" = "2 48000"
    # 512-frame blocks go out as 150+150+150+62: 4 datagrams per 512 frames.
    check "plug-in frames/s near 48000" near "$(field "$line" 6)" 48000 10
    check "plug-in datagrams/s near 375" near "$(field "$line" 5)" 375 10
    check "plug-in sends no malformed datagram" test "$(grep -c "^$ADDR_A " "$work/real.txt")" -eq 0
else
    echo "note: no command-line host given; the real plug-in was not tried as a sender"
fi

echo "$((failures == 0 ? 1 : 0)) passed, $failures failed" | sed 's/^1 passed, 0 failed/all checks passed/'
exit $((failures > 0))
