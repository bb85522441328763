# Two simulated computers for stream tests and the demo: network namespaces
# joined by a veth pair on a private test subnet. Source this file; it sets
#   NS_A, NS_B     namespace names (unique per process; NETNS_TAG prefixes them)
#   ADDR_A, ADDR_B their addresses
# and removes everything it made on exit (netns_down, called from the trap).
#
# Nothing here sends from the root namespace: every program that streams runs
# with "ip netns exec", and broadcast leaves only through the veth.

NETNS_SUBNET=${NETNS_SUBNET:-10.231.7}
NS_A=${NETNS_TAG:-lw}A$$
NS_B=${NETNS_TAG:-lw}B$$
ADDR_A=$NETNS_SUBNET.1
ADDR_B=$NETNS_SUBNET.2
NETNS_WINE_PREFIXES=()

netns_down() {
    local prefix
    for prefix in "${NETNS_WINE_PREFIXES[@]}"; do
        WINEPREFIX=$prefix /usr/lib/wine/wineserver64 -k >/dev/null 2>&1 || true
    done
    NETNS_WINE_PREFIXES=()
    # Programs still running inside would keep the namespaces alive.
    ip netns pids "$NS_A" 2>/dev/null | xargs -r kill 2>/dev/null || true
    ip netns pids "$NS_B" 2>/dev/null | xargs -r kill 2>/dev/null || true
    ip netns del "$NS_A" 2>/dev/null || true
    ip netns del "$NS_B" 2>/dev/null || true
}

# Prints a reason and returns 1 when namespaces cannot be made here.
netns_usable() {
    if [[ $(id -u) -ne 0 ]]; then
        echo "not root: network namespaces need root"
        return 1
    fi
    if ! command -v ip >/dev/null; then
        echo "the ip command (iproute2) is missing"
        return 1
    fi
    return 0
}

netns_up() {
    netns_down
    ip netns add "$NS_A"
    ip netns add "$NS_B"
    ip link add "v$NS_A" type veth peer name "v$NS_B"
    ip link set "v$NS_A" netns "$NS_A"
    ip link set "v$NS_B" netns "$NS_B"
    ip -n "$NS_A" addr add "$ADDR_A/24" dev "v$NS_A"
    ip -n "$NS_B" addr add "$ADDR_B/24" dev "v$NS_B"
    local ns
    for ns in "$NS_A" "$NS_B"; do
        ip -n "$ns" link set lo up
        ip -n "$ns" link set "v$ns" up
        # 255.255.255.255 needs a route, or sendto fails with ENETUNREACH.
        ip -n "$ns" route add default dev "v$ns"
    done
}

# Starts a persistent wineserver for PREFIX inside namespace NS, so that the
# sockets of every wine program using PREFIX live in NS. Creates the prefix
# on first use (about 11 s). Runs in the background of the caller.
netns_wine_server() {
    local ns=$1 prefix=$2
    export WINEDEBUG=-all WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
    export WINESERVER=/usr/lib/wine/wineserver64
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    # A server left over from another namespace would own the sockets.
    WINEPREFIX=$prefix $WINESERVER -k >/dev/null 2>&1 || true
    WINEPREFIX=$prefix $WINESERVER -w >/dev/null 2>&1 || true
    NETNS_WINE_PREFIXES+=("$prefix")
    if [[ ! -e $prefix/.larkwire-ready ]]; then
        mkdir -p "$prefix"
        ip netns exec "$ns" env WINEPREFIX="$prefix" /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
        WINEPREFIX=$prefix $WINESERVER -w
        [[ -e $prefix/system.reg ]] || { echo "wineboot failed for $prefix" >&2; return 1; }
        touch "$prefix/.larkwire-ready"
    fi
    ip netns exec "$ns" env WINEPREFIX="$prefix" $WINESERVER -p >/dev/null 2>&1
}

# netns_wine NS PREFIX PROGRAM.exe ARGS...: runs a Windows program in NS.
netns_wine() {
    local ns=$1 prefix=$2
    shift 2
    ip netns exec "$ns" env WINEPREFIX="$prefix" /usr/lib/wine/wine64 "$@"
}

# netns_wine_prefix NAME: a ready 64-bit prefix under build/wine-netns/NAME.
# A copy of the build's ready prefix is much quicker than a fresh wineboot;
# netns_wine_server boots one when there is nothing to copy.
netns_wine_prefix() {
    local root=$1 name=$2
    local prefix=$root/build/wine-netns/$name ready=$root/build/wine/wineprefix-64
    if [[ ! -e $prefix/.larkwire-ready && -e $ready/.larkwire-ready ]]; then
        rm -rf "$prefix"
        mkdir -p "$(dirname "$prefix")"
        cp -a "$ready" "$prefix"
    fi
    echo "$prefix"
}

# netns_wait_bound NS [SECONDS [PID]]: until a program in NS holds the stream
# port (default 5 s), or until process PID has ended.
netns_wait_bound() {
    local _
    for _ in $(seq $((${2:-5} * 20))); do
        ip netns exec "$1" ss -Huln 'sport = :58710' | grep -q . && return 0
        [[ -z ${3:-} ]] || kill -0 "$3" 2>/dev/null || return 1
        sleep 0.05
    done
    return 1
}

# netns_pair OUT_PREFIX: runs the receiver command in RX (namespace RX_NS) in
# the background, waits until it listens, runs the sender command TX in
# TX_NS, then waits for the receiver. Outputs go to OUT_PREFIX.rx / .tx;
# the exit codes are left in RX_RC and TX_RC. See RX_LINGER below; a
# receiver that starts slowly (wine32 in the VM) sets RX_BIND_WAIT seconds.
netns_pair() {
    local out=$1 rx_pid
    ip netns exec "$RX_NS" "${RX[@]}" >"$out.rx" 2>&1 &
    rx_pid=$!
    if ! netns_wait_bound "$RX_NS" "${RX_BIND_WAIT:-5}" "$rx_pid"; then
        echo "the receiver never opened the port" >>"$out.rx"
    fi
    TX_RC=0
    ip netns exec "$TX_NS" "${TX[@]}" >"$out.tx" 2>&1 || TX_RC=$?
    # A receiver started with --seconds 0 runs until SIGINT: RX_LINGER
    # seconds after the sender, for senders whose start-up time varies.
    if [[ -n ${RX_LINGER:-} ]]; then
        sleep "$RX_LINGER"
        kill -INT "$rx_pid" 2>/dev/null || true
    fi
    RX_RC=0
    wait "$rx_pid" || RX_RC=$?
}

# netns_value FILE LABEL: the text after "LABEL:" in a host report.
netns_value() {
    sed -n "s/^$2: *//p" "$1" | tail -1
}
