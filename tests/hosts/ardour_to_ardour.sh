#!/bin/bash
# Ardour 7 to Ardour 7 between two namespaces (ardour7-lua, Dummy backend).
# In A a bus plays a test tone and test notes into the plug-in, set to send
# to B. In B the plug-in, set to receive, feeds a MIDI monitor and a track
# that records in real time.
#   ardour_to_ardour.sh PLUGIN.so
# Checks: the files Ardour recorded in B carry both tones, whole; Ardour
# gives the plug-in a MIDI output, and B's note log shows the notes at the
# offsets in the cycle that A's note log saw them at.
# (An export of the take would test only Ardour's playback of its own
# recording, and ardour7-lua dies in its export now and then.)
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/lib.sh"
. "$here/ardour/ardour.sh"
NETNS_SUBNET=10.231.44
. "$here/../netns/lib.sh"
plugin=$(readlink -f "$1")
skip_unless_runnable ardour_missing "$plugin" Ardour

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
cp -a "$work/b" "$work/b.built"

# B's kernel counts datagrams that reach no socket there: before B binds
# the port, that count rising shows A's stream arriving.
undelivered_in_b() { ip netns exec "$NS_B" awk '/^Udp:/ {n = $3} END {print n}' /proc/net/snmp; }
stream_arrives() {
    local before _
    before=$(undelivered_in_b)
    for _ in $(seq 600); do
        (($(undelivered_in_b) > before + 50)) && return 0
        kill -0 "$tx_pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

# A streams for 14 s once loaded (its bus runs with the transport stopped);
# once its stream reaches B, B loads and records 4 s. Either
# session may die, so the pair is one step, tried once more if it fails.
stop_sender() {
    [[ -n $tx_pid ]] && kill "$tx_pid" 2>/dev/null
    ip netns pids "$NS_A" | xargs -r kill 2>/dev/null
    wait "$tx_pid" 2>/dev/null
    tx_pid=
}
failures_before=$hosts_failures
stream_and_record() {
    local ARDOUR_ATTEMPTS=1 capture=$work/b/interchange/b/audiofiles
    hosts_failures=$failures_before
    # A second try starts from the session as built, with no take in it.
    rm -rf "$work/b"
    cp -a "$work/b.built" "$work/b"
    ardour_lua "$NS_A" "$work/send.log" '^ran: ' "$ardour_dir/render_session.lua" \
        "$work/a" send "$work/out/sent" 0 14 &
    tx_pid=$!
    check "the sending session streams to B" stream_arrives || { stop_sender; return 1; }
    check "the receiving session recorded" \
        ardour_lua "$NS_B" "$work/receive.log" '^captured regions on Capture: [1-9]' \
        "$ardour_dir/render_session.lua" "$work/b" receive "$work/out/received" 0 4 record
    grep -E '^(rate|ran|captured|monitor events)' "$work/receive.log"
    check "the sending session still streamed when the recording ended" kill -0 "$tx_pid"
    check "the sending session ran to its end" wait "$tx_pid"
    tx_pid=
    # What Ardour wrote to disk while it recorded, channel by channel.
    check "the recording carries the left tone" \
        python3 "$here/wav_check.py" tone-somewhere "$capture/Take1_Capture-1%L.wav" 1.5 0.5 440
    check "the recording carries the right tone" \
        python3 "$here/wav_check.py" tone-somewhere "$capture/Take1_Capture-1%R.wav" 1.5 0.5 660
    [[ $hosts_failures -eq $failures_before ]] || { stop_sender; return 1; }
}
with_one_retry stream_and_record

# With VST 2.4 Ardour gives the plug-in a MIDI output, and the notes reach
# the receiving session at the offsets they had in the sending cycle.
check "Ardour's scanner gives the plug-in a MIDI output (n_midi_outputs=$midi_outputs)" \
    test "$midi_outputs" = 1
echo "monitor in B: $(grep -c '^monitor: 90 3c 64' "$work/receive.log") note-ons"
check "the receiving side gets the notes at their offsets" \
    python3 "$here/note_offsets.py" "$work/send.log" "$work/receive.log"

[[ $hosts_failures -eq 0 ]] && echo "all checks passed"
exit $((hosts_failures > 0))
