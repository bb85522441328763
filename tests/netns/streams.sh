#!/bin/bash
# Streams between two simulated computers through the real binaries: the
# command-line host loads the built plug-in in each namespace, one sends a
# test tone with MIDI, the other receives and checks what arrives.
#   streams.sh linux|win64 LINUX_BUILD [WIN64_BUILD]
# linux: Linux to Linux, both directions, broadcast and unicast, 1, 2 and 8
# channels, 48 kHz into 44.1 kHz, a host name as destination, and two
# same-name receivers in one process.
# win64: the 64-bit DLL under wine64 as sender and as receiver.
# win32: the 32-bit product DLL under wine32 as sender and as receiver; this
# kernel runs no 32-bit code, so the script re-runs itself, both namespaces
# included, in the VM (tools/vm/run-in-vm.sh).
# Exit 77 (skipped) without root; 1 when any cell fails.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
group=${1:?linux or win64}
linux=$(cd "${2:?linux build folder}" && pwd)
win64=${3:-$root/build/mingw-x86_64}

source "$here/lib.sh"
if ! reason=$(netns_usable); then
    echo "SKIP: $reason"
    exit 77
fi
win32=$root/build/mingw-i686
if [[ $group == win32 && -z ${LARKWIRE_VM:-} ]]; then
    for f in "$win32/larkwire.dll" "$win32/tools/larkwire-host.exe" "$root/tools/vm/run-in-vm.sh"; do
        [[ -e $f ]] || { echo "FAIL: $f is missing (build the mingw-i686 preset)"; exit 1; }
    done
    # The VM has its own /tmp: a checkout there must bring its scripts along,
    # and the job starts in a folder the VM has.
    cd "$here" || exit 1
    exec bash "$root/tools/vm/run-in-vm.sh" --timeout 600 --copy "$win32" --copy "$linux" \
        --copy "$here" --copy "$root/tools/vm" -- \
        bash "$here/streams.sh" win32 "$linux"
fi
work=$(mktemp -d)
trap 'netns_down; rm -rf "$work"' EXIT
netns_up || exit 1

host=$linux/tools/larkwire-host
failures=0
cells=0
pass() { echo "ok:   $1"; }
fail() {
    echo "FAIL: $1: $2"
    sed 's/^/      /' "$3.rx" "$3.tx"
    failures=$((failures + 1))
}
# Within PERCENT of EXPECTED.
near() {
    awk -v v="$1" -v e="$2" -v p="$3" 'BEGIN { d = v - e; if (d < 0) d = -d; exit !(v != "" && d <= (e < 0 ? -e : e) * p / 100) }'
}
summary() {  # the receiver's figures, for the log
    local label value
    for label in bit-exact latency "midi check"; do
        value=$(netns_value "$1.rx" "$label")
        [[ -z $value ]] || echo "      $label: $value"
    done
}

# One cell: RX_NS/RX and TX_NS/TX set by the caller; the receiver's checks
# decide (exit 4 on a failed check), the sender must run to the end.
cell() {
    local name=$1 out=$work/cell$cells
    cells=$((cells + 1))
    netns_pair "$out"
    if [[ $RX_RC -ne 0 ]]; then
        fail "$name" "receiver exit $RX_RC" "$out"
    elif [[ $TX_RC -ne 0 ]]; then
        fail "$name" "sender exit $TX_RC" "$out"
    else
        pass "$name"
        summary "$out"
    fi
    LAST=$out
}

tone=(--tone 1000 --level -6)
midi="0.3:on:60:100,0.3:cc:7:64,0.75:off:60"

linux_cells() {
    local so=$linux/larkwire.so
    # Broadcast, stereo: tone on channel 0, clicks on channel 1 for the latency.
    RX_NS=$NS_B RX=("$host" "$so" --receive --id lin-bc --seconds 2.4 --expect-tone 1000
                    --expect-clicks --click-period 0.5 --expect-midi "$midi" --quiet)
    TX_NS=$NS_A TX=("$host" "$so" --send broadcast --id lin-bc --seconds 1.5 "${tone[@]}"
                    --clicks --click-period 0.5 --midi "$midi" --quiet)
    cell "Linux to Linux, broadcast, 2 channels, tone, clicks and MIDI"

    # Unicast the other way round, both channels carrying tone.
    RX_NS=$NS_A RX=("$host" "$so" --receive --id lin-uc --seconds 2 --expect-tone 1000
                    --expect-midi "$midi" --quiet)
    TX_NS=$NS_B TX=("$host" "$so" --send "$ADDR_A" --id lin-uc --seconds 1.2 "${tone[@]}"
                    --midi "$midi" --quiet)
    cell "Linux to Linux, unicast B to A, 2 channels, tone and MIDI"

    local one=$linux/named/larkwire1.so eight=$linux/named/larkwire8.so
    RX_NS=$NS_B RX=("$host" "$one" --receive --id mono --seconds 1.8 --expect-tone 1000 --quiet)
    TX_NS=$NS_A TX=("$host" "$one" --send "$ADDR_B" --id mono --seconds 1 "${tone[@]}" --quiet)
    cell "Linux to Linux, unicast, 1 channel (300-frame datagrams)"

    RX_NS=$NS_B RX=("$host" "$eight" --receive --id octo --seconds 1.8 --expect-tone 1000 --quiet)
    TX_NS=$NS_A TX=("$host" "$eight" --send broadcast --id octo --seconds 1 "${tone[@]}" --quiet)
    cell "Linux to Linux, broadcast, 8 channels (37-frame datagrams)"

    # Only the first channel sent: the second output must stay silent.
    RX_NS=$NS_B RX=("$host" "$so" --receive --id half --channels 1 --seconds 1.8
                    --expect-tone 1000 --output "$work/half.wav" --quiet)
    TX_NS=$NS_A TX=("$host" "$so" --send "$ADDR_B" --id half --channels 1 --seconds 1 "${tone[@]}" --quiet)
    cell "Linux to Linux, 1 of 2 channels sent"
    # Interleaved float frames after the 58-byte header: the right column stays 0.
    if od -An -v -tx4 -w8 -j58 "$work/half.wav" | awk 'NF == 2 && $2 != "00000000" { bad = 1 } END { exit bad }'; then
        pass "  the channel not sent stays silent"
    else
        fail "1 of 2 channels sent" "output channel 1 is not silent" "$LAST"
    fi

    # 48 kHz into 44.1 kHz: converted, so judged by frequency and level.
    RX_NS=$NS_B RX=("$host" "$so" --receive --id rates --rate 44100 --seconds 2.2 --quiet)
    TX_NS=$NS_A TX=("$host" "$so" --send "$ADDR_B" --id rates --rate 48000 --seconds 1.5 "${tone[@]}" --quiet)
    cell "Linux to Linux, 48 kHz into 44.1 kHz"
    local measured frequency level
    measured=$(netns_value "$LAST.rx" "channel 0 tone")
    frequency=$(awk '{ print $1 }' <<<"$measured")
    level=$(awk '{ print $3 }' <<<"$measured")
    if near "$frequency" 1000 0.2 && near "$level" -6 3; then
        pass "  converted tone at $frequency Hz, $level dBFS"
    else
        fail "48 kHz into 44.1 kHz" "tone measured as '$measured', wanted 1000 Hz at -6 dBFS" "$LAST"
    fi

    # A host name is not a dotted address: nothing arrives, and the sender
    # keeps running in real time to its last block.
    RX_NS=$NS_B RX=("$host" "$so" --receive --id named --seconds 1.8 --expect-nothing --quiet)
    TX_NS=$NS_A TX=("$host" "$so" --send studio-pc.local --id named --seconds 1.2 "${tone[@]}"
                    --midi "$midi" --quiet)
    cell "host name as destination: nothing arrives"
    # A name lookup would stall a block for seconds; a busy machine makes a
    # few blocks late by far less.
    local worst
    worst=$(sed -n 's/^pacing:.*worst \([0-9.]*\) ms/\1/p' "$LAST.tx")
    if [[ $(netns_value "$LAST.tx" frames) == $((113 * 512)) ]] &&
        awk -v w="${worst:-0}" 'BEGIN { exit !(w < 1000) }'; then
        pass "  the sender ran all 113 blocks without stalling"
    else
        fail "host name as destination" "the sender stopped or fell behind" "$LAST"
    fi

    # Two receivers with the same name in one host process each get all of it.
    RX_NS=$NS_B RX=("$linux/tests/twin_receivers" "$so" twins 2 1000 -6 "$midi")
    TX_NS=$NS_A TX=("$host" "$so" --send broadcast --id twins --seconds 1 "${tone[@]}" --midi "$midi" --quiet)
    cell "two same-name receivers in one process, each bit-exact with all MIDI"
    grep '^receiver' "$LAST.rx" | sed 's/^/      /'

    # Another stream identifier is not ours.
    RX_NS=$NS_B RX=("$host" "$so" --receive --id Studio --seconds 1.5 --expect-nothing --quiet)
    TX_NS=$NS_A TX=("$host" "$so" --send broadcast --id studio --seconds 1 "${tone[@]}" --midi "$midi" --quiet)
    cell "identifiers differing in case are different streams"
}

win64_cells() {
    local exe=$win64/tools/larkwire-host.exe dll=$win64/larkwire.dll so=$linux/larkwire.so
    local exe_w dll_w
    for f in "$exe" "$dll" /usr/lib/wine/wine64; do
        if [[ ! -e $f ]]; then
            echo "FAIL: $f is missing (build the mingw-x86_64 preset; install wine64)"
            exit 1
        fi
    done
    local prefix
    prefix=$(netns_wine_prefix "$root" tests)
    local wine=(env WINEPREFIX="$prefix" /usr/lib/wine/wine64 "$exe")

    # The wine program's sockets live where its wineserver runs: first in A.
    netns_wine_server "$NS_A" "$prefix" || exit 1
    RX_NS=$NS_B RX=("$host" "$so" --receive --wait 10 --id w64-bc --seconds 4.5 --expect-tone 1000
                    --expect-clicks --click-period 0.5 --expect-midi "$midi" --quiet)
    TX_NS=$NS_A TX=("${wine[@]}" "$dll" --send broadcast --id w64-bc --seconds 1.5 "${tone[@]}"
                    --clicks --click-period 0.5 --midi "$midi" --quiet)
    cell "Win64 to Linux, broadcast, 2 channels, tone, clicks and MIDI"

    RX_NS=$NS_B RX=("$host" "$linux/named/larkwire8.so" --receive --wait 10 --id w64-uc --seconds 2.6
                    --expect-tone 1000 --expect-midi "$midi" --quiet)
    TX_NS=$NS_A TX=("${wine[@]}" "$win64/named/larkwire8.dll" --send "$ADDR_B" --id w64-uc --seconds 1.2
                    "${tone[@]}" --midi "$midi" --quiet)
    cell "Win64 to Linux, unicast, 8 channels, tone and MIDI"

    # Then the server moves to B, and the DLL receives.
    netns_wine_server "$NS_B" "$prefix" || exit 1
    RX_NS=$NS_B RX=("${wine[@]}" "$dll" --receive --wait 10 --id l-w64 --seconds 2.4 --expect-tone 1000
                    --expect-midi "$midi" --quiet)
    TX_NS=$NS_A TX=("$host" "$so" --send "$ADDR_B" --id l-w64 --seconds 1.2 "${tone[@]}" --midi "$midi" --quiet)
    cell "Linux to Win64, unicast, 2 channels, tone and MIDI"

    RX_NS=$NS_B RX=("${wine[@]}" "$win64/named/larkwire1.dll" --receive --wait 10 --id l-w64-bc --seconds 2.2
                    --expect-tone 1000 --quiet)
    TX_NS=$NS_A TX=("$host" "$linux/named/larkwire1.so" --send broadcast --id l-w64-bc --seconds 1
                    "${tone[@]}" --quiet)
    cell "Linux to Win64, broadcast, 1 channel"
}

# Runs inside the VM. A wine32 launch takes 8 to 9 s there, so the receiver
# listens until a second after the sender has ended.
win32_cells() {
    local wine32=("$root/tools/vm/wine32-run.sh" "$win32/tools/larkwire-host.exe")
    # The first launch unpacks the prefix, which can take minutes on a busy
    # machine; it also starts the wine server, and so the sockets, in A.
    ip netns exec "$NS_A" "${wine32[@]}" --help >/dev/null 2>&1
    RX_NS=$NS_B RX=("$host" "$linux/larkwire.so" --receive --wait 10 --id w32-uc --seconds 0
                    --expect-tone 1000 --expect-midi "$midi" --quiet)
    TX_NS=$NS_A TX=(timeout 240 "${wine32[@]}" "$win32/larkwire.dll" --send "$ADDR_B" --id w32-uc
                    --seconds 1.5 "${tone[@]}" --midi "$midi" --quiet)
    RX_LINGER=1 cell "Win32 to Linux, unicast, 2 channels, tone and MIDI"

    # Then the DLL receives. A wine program reaches a running server through
    # a file socket from any namespace, so the server in A is stopped and the
    # receiver's launch starts one, with the sockets, in B. The receiver
    # counts its seconds from the first datagram; the sender starts once the
    # receiver holds the port.
    local prefix=${WINEPREFIX:-/tmp/larkwire-wine32}
    WINEPREFIX=$prefix /usr/lib/wine/wineserver32 -k >/dev/null 2>&1 || true
    WINEPREFIX=$prefix /usr/lib/wine/wineserver32 -w >/dev/null 2>&1 || true
    RX_NS=$NS_B RX=(timeout 240 "${wine32[@]}" "$win32/larkwire.dll" --receive --wait 20 --id l-w32
                    --seconds 2.4 --expect-tone 1000 --expect-midi "$midi" --quiet)
    TX_NS=$NS_A TX=("$host" "$linux/larkwire.so" --send "$ADDR_B" --id l-w32 --seconds 1.2 "${tone[@]}"
                    --midi "$midi" --quiet)
    RX_BIND_WAIT=120 cell "Linux to Win32, unicast, 2 channels, tone and MIDI"
}

case $group in
    linux) linux_cells ;;
    win64) win64_cells ;;
    win32) win32_cells ;;
    *) echo "unknown group $group"; exit 2 ;;
esac
echo "$((cells - failures)) of $cells cells passed"
[[ $failures -eq 0 ]]
