#!/bin/bash
# Ardour 7, headless (ardour7-lua, Dummy backend): a bus carries a test tone
# and test notes through a note log and the plug-in into a MIDI monitor. The plug-in's saved
# state is set to send to a second namespace, where larkwire-host receives;
# so the host's MIDI is seen to reach the plug-in. The session is rendered
# with its own export, saved, reopened and rendered again.
#   ardour_session.sh PLUGIN.so LARKWIRE_HOST
# Checks: both renders carry the tone exactly (the plug-in passes audio
# unchanged), the receiver gets the tone and the notes, and the chunk the
# plug-in saves is the chunk it was given, byte for byte, after each reload.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/lib.sh"
. "$here/ardour/ardour.sh"
NETNS_SUBNET=10.231.43
. "$here/../netns/lib.sh"
plugin=$(readlink -f "$1")
host_tool=$(readlink -f "$2")
skip_unless_runnable ardour_missing "$plugin" Ardour

work=$(mktemp -d /tmp/larkwire-ardour.XXXXXX)
rx_pid=
cleanup() {
    [[ -n $rx_pid ]] && kill "$rx_pid" 2>/dev/null
    netns_down
    rm -rf "$work"
}
trap cleanup EXIT
netns_up
mkdir -p "$work/out"
session=$work/session
stream=ardour-check

check "Ardour's scanner lists the plug-in" ardour_setup "$work" "$plugin" "$NS_A"
sed -n 's/^\[Info\]: Found Plugin: /scanner: /p' "$work/scan.log"
check "a session with tone, notes, plug-in and MIDI monitor is built" \
    ardour_lua "$NS_A" "$work/build.log" '^saved: ' "$ardour_dir/build_session.lua" "$session" check 4
grep '^added: ' "$work/build.log"
given=$(python3 "$ardour_dir/session_chunk.py" set "$session/check.ardour" send "$stream" "$ADDR_B")
check "the saved chunk is 172 bytes, set to send to $ADDR_B" test ${#given} -eq 344

ip netns exec "$NS_B" "$host_tool" "$plugin" --receive --id "$stream" --seconds 0 \
    --output "$work/out/received.wav" >"$work/received.txt" 2>&1 &
rx_pid=$!
check "the receiver listens" netns_wait_bound "$NS_B"

for take in 1 2; do
    # Three seconds in real time for the receiver, then the export (faster).
    ARDOUR_RENDER="$work/out/take$take.wav 192000" check "take $take: reopened, saved and rendered" \
        ardour_lua "$NS_A" "$work/take$take.log" '^rendered: ' "$ardour_dir/render_session.lua" \
        "$session" check "$work/out/take$take" 4 3
    grep -m1 '^rate: ' "$work/take$take.log"
    check "take $take: the render carries both tones unchanged" \
        python3 "$here/wav_check.py" tone "$work/out/take$take.wav" 0.5 440 660
    saved=$(python3 "$ardour_dir/session_chunk.py" get "$session/check.ardour")
    check "take $take: the chunk saved after the reload is the one given" test "$saved" = "$given"
    check "take $take: the notes reach the plug-in (note log before it)" \
        grep -q '^log: 90 3c ' "$work/take$take.log"
    # Ardour replaces the bus's MIDI with what a plug-in with a MIDI output
    # delivers, and a sending copy delivers none: its notes leave on the network.
    echo "take $take: note-ons at the MIDI monitor after the sending copy: $(grep -c '^monitor: 90 3c 64' "$work/take$take.log")"
done

kill -INT "$rx_pid"
wait "$rx_pid"
rx_pid=
grep -E '^(frames|peak|channel 0 tone|midi received: +[0-9]+ events)' "$work/received.txt"
ons=$(grep -c '^midi received: .* 90 3c 64$' "$work/received.txt")
offs=$(grep -c '^midi received: .* 80 3c 40$' "$work/received.txt")
echo "receiver: $ons note-ons, $offs note-offs"
# Six seconds in real time at two notes a second, and more from the exports.
check "the host's notes reach the plug-in and the other namespace" test "$ons" -ge 10 -a "$offs" -ge 10
# The exports run faster than real time, and so does the stream then; the
# takes' seconds in real time hold a clean second, even if Ardour, which is
# not real-time here, stalls now and then on a busy machine.
check "the other namespace receives both tones unchanged" \
    python3 "$here/wav_check.py" tone-somewhere "$work/out/received.wav" 1 0.5 440 660

[[ $hosts_failures -eq 0 ]] && echo "all checks passed"
exit $((hosts_failures > 0))
