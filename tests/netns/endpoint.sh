#!/bin/bash
# The shared network endpoint between two simulated computers, through real
# sockets: the endpoint_check program (tests/netns/endpoint_check/roles.h)
# receives in B while its sender role answers in A; then another process
# holds the stream port in B while an instance there sends to A, and an
# instance in A sends over a link far slower than its stream.
#   endpoint.sh linux|win64|win32 LINUX_BUILD [WIN64_BUILD]
# linux: the native checker on every side.
# win64: the x86_64 checker under wine64 on every side, with a prefix and a
# wine server per namespace (the server's namespace is its sockets').
# win32: the i686 checker under wine32 receives, the native one sends; this
# kernel runs no 32-bit code, so the script re-runs itself in the VM
# (tools/vm/run-in-vm.sh) for one pair.
# Exit 77 (skipped) without root; 1 when any pair fails.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
group=${1:?linux, win64 or win32}
linux=$(cd "${2:?linux build folder}" && pwd)
win64=${3:-$root/build/mingw-x86_64}
win32=$root/build/mingw-i686

# A subnet of our own, so that runs beside the stream tests never collide.
NETNS_SUBNET=${NETNS_SUBNET:-10.231.21}
source "$here/lib.sh"
if ! reason=$(netns_usable); then
    echo "SKIP: $reason"
    exit 77
fi

native=$linux/tests/endpoint_check
require() {
    local f
    for f in "$@"; do
        [[ -e $f ]] || { echo "FAIL: $f is missing (build the endpoint_check target of its preset)"; exit 1; }
    done
}

if [[ $group == win32 && -z ${LARKWIRE_VM:-} ]]; then
    require "$native" "$win32/tests/endpoint_check.exe" "$root/tools/vm/run-in-vm.sh"
    # Only the two programs go in: large PE files read corrupted from the
    # VM's 9p share, so they are copied into its tmpfs.
    stage=$(mktemp -d)
    trap 'rm -rf "$stage"' EXIT
    mkdir -p "$stage/tests"
    cp "$native" "$win32/tests/endpoint_check.exe" "$stage/tests/"
    # The VM has its own /tmp: a checkout there must bring its scripts along,
    # and the job starts in a folder the VM has.
    cd "$here" || exit 1
    bash "$root/tools/vm/run-in-vm.sh" --timeout 300 --copy "$stage" --copy "$here" --copy "$root/tools/vm" -- \
        bash "$here/endpoint.sh" win32 "$stage"
    exit
fi

work=$(mktemp -d)
trap 'netns_down; rm -rf "$work"' EXIT
netns_up || exit 1

failures=0
pairs=0
show() {  # a role's output, indented; wine ends its lines with CR LF
    tr -d '\r' <"$1" | sed 's/^/      /'
}

# finish PID SECONDS: waits for a background role; stops it when it outlives
# the foreground one by SECONDS. Leaves its exit code in FINISHED_RC.
finish() {
    local pid=$1 limit=$2 _
    for _ in $(seq $((limit * 10))); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        kill "$pid" 2>/dev/null
        echo "      (stopped after the receiver had ended)"
    fi
    FINISHED_RC=0
    wait "$pid" || FINISHED_RC=$?
}

verdict() {
    local name=$1 ok=$2
    shift 2
    if [[ $ok == yes ]]; then
        echo "ok:   $name"
    else
        echo "FAIL: $name"
        failures=$((failures + 1))
    fi
    local f
    for f in "$@"; do show "$f"; done
}

# receive_pair NAME: SENDER (array) answers in A, RECEIVER runs in B.
receive_pair() {
    local name=$1 out=$work/pair$pairs tx rx_rc=0
    pairs=$((pairs + 1))
    ip netns exec "$NS_A" "${SENDER[@]}" >"$out.tx" 2>&1 &
    tx=$!
    netns_wait_bound "$NS_A" || echo "the sender never bound the port" >>"$out.tx"
    ip netns exec "$NS_B" "${RECEIVER[@]}" >"$out.rx" 2>&1 || rx_rc=$?
    finish "$tx" 5
    local ok=no
    [[ $rx_rc -eq 0 && $FINISHED_RC -eq 0 ]] && ok=yes
    verdict "$name (receiver exit $rx_rc, sender exit $FINISHED_RC)" "$ok" "$out.rx" "$out.tx"
}

# held_pair NAME: SENDER listens in A, HOLDER takes the port in B, HELD runs in B.
held_pair() {
    local name=$1 out=$work/pair$pairs tx holder held_rc=0 tx_rc
    pairs=$((pairs + 1))
    ip netns exec "$NS_A" "${SENDER[@]}" >"$out.tx" 2>&1 &
    tx=$!
    netns_wait_bound "$NS_A" || echo "the listener never bound the port" >>"$out.tx"
    ip netns exec "$NS_B" "${HOLDER[@]}" >"$out.hold" 2>&1 &
    holder=$!
    netns_wait_bound "$NS_B" || echo "the holder never bound the port" >>"$out.hold"
    ip netns exec "$NS_B" "${HELD[@]}" >"$out.held" 2>&1 || held_rc=$?
    finish "$tx" 5
    tx_rc=$FINISHED_RC
    finish "$holder" 5
    local ok=no
    [[ $held_rc -eq 0 && $tx_rc -eq 0 && $FINISHED_RC -eq 0 ]] && ok=yes
    verdict "$name (instance exit $held_rc, listener exit $tx_rc, holder exit $FINISHED_RC)" "$ok" \
        "$out.held" "$out.tx" "$out.hold"
}

# slow_pair NAME: SLOW runs in A over a veth shaped far below the stream's
# rate, with a queue deeper than the send buffer. A send that waited would
# hold the role until the bound ends it.
slow_pair() {
    local name=$1 out=$work/pair$pairs rc=0
    pairs=$((pairs + 1))
    tc -n "$NS_A" qdisc replace dev "v$NS_A" root tbf rate 8kbit burst 1600 limit 64mb
    ip netns exec "$NS_A" timeout 120 "${SLOW[@]}" >"$out.slow" 2>&1 || rc=$?
    tc -n "$NS_A" qdisc del dev "v$NS_A" root
    local ok=no
    [[ $rc -eq 0 ]] && ok=yes
    verdict "$name (exit $rc)" "$ok" "$out.slow"
}

linux_pairs() {
    require "$native"
    SENDER=("$native" send 20)
    RECEIVER=("$native" receive "$ADDR_B" "$ADDR_A" 10)
    receive_pair "Linux endpoint: acceptance, own addresses, expiry, stop and restart"
    HOLDER=("$native" hold 20)
    HELD=("$native" held "$ADDR_A" 10)
    held_pair "Linux endpoint with the port held by another process"
    SLOW=("$native" slow "$ADDR_B")
    slow_pair "Linux endpoint over a link slower than the stream"
}

win64_pairs() {
    local exe=$win64/tests/endpoint_check.exe prefix_a prefix_b
    require "$exe" /usr/lib/wine/wine64
    prefix_a=$(netns_wine_prefix "$root" endpoint-a)
    prefix_b=$(netns_wine_prefix "$root" endpoint-b)
    netns_wine_server "$NS_A" "$prefix_a" || exit 1
    netns_wine_server "$NS_B" "$prefix_b" || exit 1
    local in_a=(env WINEPREFIX="$prefix_a" /usr/lib/wine/wine64 "$exe")
    local in_b=(env WINEPREFIX="$prefix_b" /usr/lib/wine/wine64 "$exe")
    SENDER=("${in_a[@]}" send 30)
    RECEIVER=("${in_b[@]}" receive "$ADDR_B" "$ADDR_A" 15)
    receive_pair "Win64 endpoint: acceptance, own addresses, expiry, stop and restart"
    HOLDER=("${in_b[@]}" hold 30)
    HELD=("${in_b[@]}" held "$ADDR_A" 15)
    held_pair "Win64 endpoint with the port held by another Windows process"
    SLOW=("${in_a[@]}" slow "$ADDR_B")
    slow_pair "Win64 endpoint over a link slower than the stream"
}

# Inside the VM, where each wine32 launch takes 8 to 9 s: one pair.
win32_pairs() {
    local exe=$linux/tests/endpoint_check.exe
    require "$native" "$exe"
    # The first launch unpacks the prefix and starts the wine server, and so
    # the sockets, in B.
    ip netns exec "$NS_B" "$root/tools/vm/wine32-run.sh" "$exe" >/dev/null 2>&1
    SENDER=("$native" send 180)
    RECEIVER=(timeout 240 "$root/tools/vm/wine32-run.sh" "$exe" receive "$ADDR_B" "$ADDR_A" 60)
    receive_pair "Win32 endpoint: acceptance, own addresses, expiry, stop and restart"
}

case $group in
    linux) linux_pairs ;;
    win64) win64_pairs ;;
    win32) win32_pairs ;;
    *) echo "unknown group $group"; exit 2 ;;
esac
echo "$((pairs - failures)) of $pairs pairs passed"
[[ $failures -eq 0 ]]
