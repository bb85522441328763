#!/bin/bash
# Streams a test tone and a few MIDI notes between two simulated computers
# (network namespaces joined by a veth pair) and shows what arrived.
#
#   tools/demo.sh            computer A: the 64-bit DLL under wine64
#   tools/demo.sh --win32    computer A: the 32-bit DLL under wine32, in the VM
#   tools/demo.sh --linux    computer A: the Linux build (no Windows needed)
#
# Computer B always runs the Linux build in receive mode. A sends twice: by
# broadcast, then to B's address. Needs root and the builds of
# tools/build-all.sh; installs nothing. The received WAV files stay in
# build/demo/.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

sender=win64
inside_vm=
while [[ $# -gt 0 ]]; do
    case $1 in
        --win32) sender=win32; shift ;;
        --linux) sender=linux; shift ;;
        --inside-vm) inside_vm=1; shift ;;  # used by --win32 itself
        -h|--help) sed -n '2,12p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "demo.sh: unknown option $1 (see --help)" >&2; exit 2 ;;
    esac
done

if [[ $(id -u) -ne 0 ]]; then
    echo "demo.sh: run as root (it makes network namespaces)" >&2
    exit 1
fi

linux=$root/build/linux-release
win64=$root/build/mingw-x86_64
win32=$root/build/mingw-i686
out=$root/build/demo
mkdir -p "$out"

# The VM has no network of its own: both computers run inside it.
if [[ $sender == win32 && -z $inside_vm ]]; then
    if [[ ! -x tools/vm/run-in-vm.sh ]]; then
        echo "demo.sh: tools/vm/run-in-vm.sh is missing" >&2
        exit 1
    fi
    exec tools/vm/run-in-vm.sh --timeout 1200 --copy "$win32" --copy "$linux" --out "$out" \
        -- bash "$root/tools/demo.sh" --win32 --inside-vm
fi

for f in "$linux/tools/larkwire-host" "$linux/larkwire.so"; do
    [[ -e $f ]] || { echo "demo.sh: $f is missing; run tools/build-all.sh" >&2; exit 1; }
done

source "$root/tests/netns/lib.sh"
trap netns_down EXIT
netns_up

midi="0.5:on:60:100,0.5:on:64:90,1.0:off:60,1.0:off:64,1.5:on:67:110,2.0:off:67"
tx_args=(--tone 1000 --level -6 --clicks --click-period 0.5 --midi "$midi" --seconds 2.5 --quiet)
rx_args=(--expect-tone 1000 --level -6 --expect-clicks --click-period 0.5 --expect-midi "$midi")

# The sender as a command line run in namespace A, with its start-up time.
case $sender in
    linux)
        tx=("$linux/tools/larkwire-host" "$linux/larkwire.so")
        slack=1
        label="the Linux build"
        ;;
    win64)
        for f in "$win64/tools/larkwire-host.exe" "$win64/larkwire.dll" /usr/lib/wine/wine64; do
            [[ -e $f ]] || { echo "demo.sh: $f is missing" >&2; exit 1; }
        done
        prefix=$(netns_wine_prefix "$root" demo)
        echo "starting wine in computer A (a new wine prefix takes about 15 s once)"
        netns_wine_server "$NS_A" "$prefix"
        tx=(env WINEPREFIX="$prefix" timeout 60 /usr/lib/wine/wine64
            "$win64/tools/larkwire-host.exe" "$win64/larkwire.dll")
        slack=4
        label="the 64-bit DLL under wine64"
        ;;
    win32)
        tx=(timeout 400 "$root/tools/vm/wine32-run.sh" "$win32/tools/larkwire-host.exe" "$win32/larkwire.dll")
        # The first wine32 launch unpacks a prefix; later ones take 8 to 9 s.
        slack=40
        # Under emulation the sender may run slower than real time: B listens
        # until two seconds after A has ended (tests/netns/lib.sh).
        export RX_LINGER=2
        label="the 32-bit DLL under wine32 (in the VM)"
        ;;
esac

show() {
    local report=$1 label value
    sed -n -e 's/^midi received: *block/    MIDI  block/p' "$report"
    for label in frames "first non-silent" "bit-exact" "latency" "midi check" "channel 0 tone"; do
        value=$(netns_value "$report" "$label")
        [[ -z $value ]] || printf '    %-18s %s\n' "$label:" "$value"
    done
}

status=0
run=0
for destination in broadcast "$ADDR_B"; do
    run=$((run + 1))
    kind=$([[ $destination == broadcast ]] && echo broadcast || echo "unicast to $destination")
    wav=$out/received-$sender-$run.wav
    echo
    echo "--- run $run: computer A ($ADDR_A, $label) sends by $kind;"
    echo "    computer B ($ADDR_B, the Linux build) receives"
    RX_NS=$NS_B RX=("$linux/tools/larkwire-host" "$linux/larkwire.so" --receive --id demo
                    --wait $((10 * slack)) --seconds "$([[ -n ${RX_LINGER:-} ]] && echo 0 || echo 3.5)"
                    --output "$wav" "${rx_args[@]}")
    TX_NS=$NS_A TX=("${tx[@]}" --send "$destination" --id demo "${tx_args[@]}")
    netns_pair "$out/run$run"
    cat "$out/run$run.tx" | sed -n 's/^\(state\|running\): */    A &/p'
    show "$out/run$run.rx"
    echo "    received audio:    $wav"
    if [[ $TX_RC -ne 0 || $RX_RC -ne 0 ]]; then
        echo "    FAILED (sender exit $TX_RC, receiver exit $RX_RC); reports in $out/run$run.{tx,rx}"
        status=1
    fi
done
echo
[[ $status -eq 0 ]] && echo "demo: both runs arrived bit-exact with their MIDI" || echo "demo: a run failed"
exit $status
