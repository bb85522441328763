#!/bin/bash
# The Wireshark dissector on a capture made between two network namespaces:
# hand-made datagrams with known fields (and broken length fields), and, when
# the command-line host is built, the real plug-in's stream.
#   dissector_netns.sh DISSECTOR.lua [LARKWIRE_HOST PLUGIN]
# Exit 77 (skipped) without root, tshark or tcpdump.
set -uo pipefail
dissector=$1
cli_host=${2:-}
plugin=${3:-}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

NETNS_SUBNET=10.231.15
source "$here/../netns/lib.sh"
if ! reason=$(netns_usable); then
    echo "SKIP: $reason"; exit 77
fi
for tool in tshark tcpdump python3; do
    command -v $tool >/dev/null || { echo "SKIP: $tool missing (tests/hosts/install-deps.sh)"; exit 77; }
done

A=$NS_A
B=$NS_B
work=$(mktemp -d)
cleanup() {
    netns_down
    [[ -n ${KEEP_CAPTURE:-} ]] && cp "$work/capture.pcap" "$KEEP_CAPTURE"; rm -rf "$work"
}
trap cleanup EXIT
netns_up || exit 1

failures=0
check() {  # check DESCRIPTION EXPECTED ACTUAL
    if [[ $2 == "$3" ]]; then echo "ok: $1"; else
        echo "FAIL: $1"; echo "  expected: $2"; echo "  actual:   $3"; failures=$((failures + 1)); fi
}
# Nobody listens in B: answer the ICMP "port unreachable" quietly.
ip netns exec "$B" tcpdump -i "v$B" -U -w "$work/capture.pcap" udp port 58710 2>"$work/tcpdump.txt" &
tcpdump_pid=$!
for _ in $(seq 50); do grep -qs listening "$work/tcpdump.txt" && break; sleep 0.1; done

ip netns exec "$A" python3 "$here/send_crafted.py" "$ADDR_B"
real=0
if [[ -x $cli_host && -f $plugin ]]; then
    real=1
    ip netns exec "$A" "$cli_host" "$plugin" --send "$ADDR_B" --id real --tone 1000 --seconds 1.5 \
        --rate 48000 --block 512 --midi "0.1:on:60:100,0.3:off:60:0" --quiet >"$work/host.txt" 2>&1 ||
        { echo "the command-line host failed:"; cat "$work/host.txt"; }
fi
sleep 0.5
kill "$tcpdump_pid"; wait "$tcpdump_pid" 2>/dev/null

shark() {  # shark FILTER FIELDS...: one line per datagram, fields joined by |
    local args=()
    for field in "${@:2}"; do args+=(-e "$field"); done
    tshark -X lua_script:"$dissector" -r "$work/capture.pcap" -Y "$1" -T fields \
        -E separator='|' -E aggregator=',' "${args[@]}" 2>/dev/null
}

check "crafted audio header" "MLWR|audio|71|crafted|2|44100|24|3" \
    "$(shark 'larkwire.identifier == "crafted" && larkwire.kind == "audio"' larkwire.magic larkwire.kind \
        larkwire.total_length larkwire.identifier larkwire.channels larkwire.rate larkwire.sample_bytes larkwire.frames)"
check "planar samples: first of each channel" "0.25,1.5" \
    "$(shark 'larkwire.identifier == "crafted" && larkwire.kind == "audio"' larkwire.first_sample)"
check "MIDI records: type, byteSize, deltaFrames, flags" "mLWR|104|1,1|24,24|7,300|0x00000001,0x00000001" \
    "$(shark 'larkwire.total_length == 104' larkwire.magic larkwire.total_length larkwire.event.type \
        larkwire.event.byte_size larkwire.event.delta_frames larkwire.event.flags)"
check "MIDI note on and off: channel, note, velocity" "note on,note off|1,4|60,64|100,12" \
    "$(shark 'larkwire.total_length == 104' larkwire.midi.message larkwire.midi.channel larkwire.midi.note \
        larkwire.midi.velocity)"
check "totalLength larger than the datagram is flagged" "77|1" \
    "$(shark 'larkwire.length_mismatch' larkwire.total_length larkwire.event_count | grep '^77')"
check "negative channels read as signed, sampleBytes overrun flagged" "-56|64" \
    "$(shark 'larkwire.identifier == "bad" && larkwire.bad_channels && larkwire.length_mismatch' \
        larkwire.channels larkwire.sample_bytes)"
check "the well-formed datagrams carry no length flag" "2" \
    "$(shark 'larkwire.identifier == "crafted" && !larkwire.length_mismatch && !larkwire.bad_record' frame.number | wc -l)"

if [[ $real == 1 ]]; then
    
    # 512-frame blocks at 48 kHz go out as 150+150+150+62 frames: three datagrams
    # of 1200 sample bytes for each of 496, and nothing else.
    check "plug-in audio: 2 channels at 48000, 3 x 1200 then 496 sample bytes per block" "ok" \
        "$(shark 'larkwire.identifier == "real" && larkwire.kind == "audio"' larkwire.channels larkwire.rate \
            larkwire.sample_bytes | sort | uniq -c |
            awk '{ n[$2] = $1; kinds++ } END { b = n["2|48000|496"]; print (kinds == 2 && b >= 20 && n["2|48000|1200"] == 3 * b) ? "ok" : "counts: " kinds " kinds, " n["2|48000|1200"] " x 1200, " b " x 496" }')"
    check "plug-in MIDI: note on 60/100 then note off 60, type 1, byteSize 24" \
        "1|24|note on|60|100 1|24|note off|60|0" \
        "$(shark 'larkwire.identifier == "real" && larkwire.kind == "MIDI"' larkwire.event.type \
            larkwire.event.byte_size larkwire.midi.message larkwire.midi.note larkwire.midi.velocity | paste -sd' ')"
    check "plug-in datagrams carry no length flag" "0" \
        "$(shark 'larkwire.identifier == "real" && (larkwire.length_mismatch || larkwire.bad_record || larkwire.ragged_samples)' frame.number | wc -l)"
else
    echo "note: no command-line host given; the real plug-in's stream was not decoded"
fi

[[ $failures -eq 0 ]] && echo "all checks passed"
exit $((failures > 0))
