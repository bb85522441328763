#!/bin/bash
# Ardour 7 to Ardour 7 between two namespaces (ardour7-lua, Dummy backend).
# In A a bus plays a test tone and test notes into the plug-in, set to send
# to B. In B the plug-in, set to receive, feeds a MIDI monitor and a track
# that records in real time; that session then exports what it recorded.
#   ardour_to_ardour.sh PLUGIN.so
# Checks: the receiving side's export carries both tones, whole; its MIDI
# monitor shows the notes when Ardour gives the plug-in a MIDI output.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/lib.sh"
. "$here/ardour/ardour.sh"
NETNS_SUBNET=10.231.44
. "$here/../netns/lib.sh"
plugin=$(readlink -f "$1")
why=$(ardour_missing) && { echo "SKIP: $why"; exit 77; }
nm -D "$plugin" 2>/dev/null | grep -c __asan_init >/dev/null &&
    { echo "SKIP: a sanitizer build; Ardour needs the release build (build/linux-release)"; exit 77; }
why=$(netns_usable) || { echo "SKIP: $why"; exit 77; }

work=$(mktemp -d /tmp/larkwire-ardour2.XXXXXX)
tx_pid=
cleanup() {
    [[ -n $tx_pid ]] && kill "$tx_pid" 2>/dev/null
    netns_down
    rm -rf "$work"
}
trap cleanup EXIT
netns_up
mkdir -p "$work/out"
stream=ardour-to-ardour

check "Ardour's scanner lists the plug-in" ardour_setup "$work" "$plugin" "$NS_B"
midi_outputs=$(grep -ho 'n_midi_outputs="[0-9]*"' -r "$work/home/.cache" | head -1 | tr -dc 0-9)
check "the sending session is built" \
    ardour_lua "$NS_A" "$work/build-a.log" '^saved: ' "$ardour_dir/build_session.lua" "$work/a" send 4
check "the receiving session is built" \
    ardour_lua "$NS_B" "$work/build-b.log" '^saved: ' "$ardour_dir/build_session.lua" "$work/b" receive 4 receive
python3 "$ardour_dir/session_chunk.py" set "$work/a/send.ardour" send "$stream" "$ADDR_B" >/dev/null
python3 "$ardour_dir/session_chunk.py" set "$work/b/receive.ardour" receive "$stream" >/dev/null

# A streams for as long as B records, and longer: B loads, then records 4 s.
ardour_lua "$NS_A" "$work/send.log" '^rendered: ' "$ardour_dir/render_session.lua" \
    "$work/a" send "$work/out/sent" 1 14 &
tx_pid=$!
check "the receiving session recorded and rendered" \
    ardour_lua "$NS_B" "$work/receive.log" '^rendered: ' "$ardour_dir/render_session.lua" \
    "$work/b" receive "$work/out/received" 4 4 record
grep -E '^(rate|captured|monitor events)' "$work/receive.log"
kill "$tx_pid" 2>/dev/null
wait "$tx_pid" 2>/dev/null
tx_pid=

check "the receiving side's render carries both tones" \
    python3 "$here/wav_check.py" tone-after-onset "$work/out/received.wav" 0.5 2.5 0.5 440 660
ons=$(grep -c '^monitor: 90 3c 64' "$work/receive.log")
if [[ $midi_outputs == 1 ]]; then
    check "the receiving side's MIDI monitor shows the sent notes ($ons)" test "$ons" -ge 1
else
    # Ardour asks for MIDI outputs only of plug-ins that report VST 2 or later.
    echo "note: Ardour's scanner gave the plug-in no MIDI output, so the received notes stop there ($ons at the monitor)"
fi

[[ $hosts_failures -eq 0 ]] && echo "all checks passed"
exit $((hosts_failures > 0))
