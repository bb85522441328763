#!/bin/bash
# Streams a test tone and a few MIDI notes between two simulated computers
# (network namespaces joined by a veth pair), first by broadcast, then to
# computer B's address.
#   computer A: the 64-bit DLL in build/mingw-x86_64 under wine64, sending
#               (--win32: the 32-bit product DLL under wine32, in the VM)
#   computer B: the Linux plug-in in build/linux-release, receiving
# Prints what B received: frames, bit-exactness after the pre-buffer, the MIDI
# events with their offsets, and the latency in blocks and ms. The received
# audio is left in build/demo/. Needs root; the binaries must be built.
#   demo.sh [--win32]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
out=$root/build/demo
linux=$root/build/linux-release

win32=
in_vm=
for arg in "$@"; do
    case $arg in
        --win32) win32=1 ;;
        --in-vm) in_vm=1 ;;  # set by the script itself when it re-runs in the VM
        -h|--help) sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "demo.sh: unknown option $arg (see --help)" >&2; exit 2 ;;
    esac
done
if [[ $win32 ]]; then
    windows=$root/build/mingw-i686
else
    windows=$root/build/mingw-x86_64
fi

source tests/netns/lib.sh
if ! reason=$(netns_usable); then
    echo "demo.sh: $reason" >&2
    exit 1
fi
for f in "$linux/larkwire.so" "$linux/tools/larkwire-host" "$windows/larkwire.dll" \
         "$windows/tools/larkwire-host.exe"; do
    [[ -e $f ]] || { echo "demo.sh: $f is missing; run tools/build-all.sh" >&2; exit 1; }
done
mkdir -p "$out"

# This kernel runs no 32-bit code: the whole demo moves into the VM, whose
# namespaces are its own. Only build/demo comes back.
if [[ $win32 && ! $in_vm ]]; then
    echo "Starting the VM (the 32-bit sender needs about a minute there) ..."
    exec bash tools/vm/run-in-vm.sh --timeout 600 --copy "$windows" --copy "$linux" --out "$out" -- \
        bash tools/demo.sh --win32 --in-vm
fi

trap netns_down EXIT
netns_up

seconds=3
midi="0.5:on:60:100,0.5:on:64:90,1.25:off:60,1.25:off:64,2:cc:7:100"
if [[ $win32 ]]; then
    # wine32 starts in 8 to 9 s under emulation; its server, and so its
    # sockets, live in A because the first wine program starts there.
    sender=(env WINEDEBUG=-all "$root/tools/vm/wine32-run.sh" "$windows/tools/larkwire-host.exe")
    listen=$((seconds + 20))
    label="the 32-bit DLL under wine32"
else
    prefix=$(netns_wine_prefix "$root" A)
    netns_wine_server "$NS_A" "$prefix"
    sender=(env WINEPREFIX="$prefix" /usr/lib/wine/wine64 "$windows/tools/larkwire-host.exe")
    listen=$((seconds + 2))
    label="the 64-bit DLL under wine64"
fi

stream() {  # stream NAME DESTINATION
    local name=$1 destination=$2 log=$out/$1
    echo
    echo "=== $name: A ($ADDR_A, $label) sends to $destination; B ($ADDR_B, Linux) receives"
    RX_NS=$NS_B RX=("$linux/tools/larkwire-host" "$linux/larkwire.so" --receive --id demo
                    --seconds "$listen" --expect-tone 1000 --expect-clicks --click-period 0.5
                    --expect-midi "$midi" --output "$out/received-$name.wav")
    TX_NS=$NS_A TX=("${sender[@]}" "$windows/larkwire.dll" --send "$destination" --id demo
                    --seconds "$seconds" --tone 1000 --clicks --click-period 0.5 --midi "$midi")
    netns_pair "$log"
    echo "--- computer A (sender, exit $TX_RC)"
    grep -E '^(plug-in|state|running|midi sent|frames|pacing)' "$log.tx" | sed 's/^/  /' || true
    echo "--- computer B (receiver, exit $RX_RC)"
    grep -vE '^(first non-silent|peak|channel 0 tone)' "$log.rx" | sed 's/^/  /' || true
    echo "  received audio: $out/received-$name.wav"
    [[ $TX_RC -eq 0 && $RX_RC -eq 0 ]]
}

status=0
stream broadcast broadcast || status=1
stream unicast "$ADDR_B" || status=1
echo
if [[ $status -eq 0 ]]; then
    echo "Both streams arrived bit-exact after the pre-buffer, with every MIDI event at its offset."
else
    echo "A check failed; the logs are in $out." >&2
fi
exit $status
