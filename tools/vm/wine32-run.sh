#!/bin/bash
# Run a 32-bit Windows program under wine32 INSIDE the test VM (see
# run-in-vm.sh; this machine's own kernel cannot run 32-bit code).
#   wine32-run.sh PROGRAM.exe [ARGS...]
# Exits with the program's exit code. Usable as CMAKE_CROSSCOMPILING_EMULATOR
# for the i686 build when ctest itself runs in the VM.
#
# WINEPREFIX defaults to /tmp/larkwire-wine32 (tmpfs in the VM). The first
# wineboot takes about a minute under emulation, so a finished prefix is kept
# as a tarball in $LARKWIRE_VM_CACHE (the host's cache, shared into the VM)
# and unpacked on later runs.
set -euo pipefail

me=${0##*/}
if [[ $# -lt 1 ]]; then
    echo "usage: $me PROGRAM.exe [ARGS...]" >&2
    exit 2
fi

WINE=/usr/lib/wine/wine
export WINELOADER=$WINE
export WINESERVER=/usr/lib/wine/wineserver32
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml=;winemenubuilder.exe=d"}
export WINEPREFIX=${WINEPREFIX:-/tmp/larkwire-wine32}
[[ -x $WINE ]] || { echo "$me: $WINE missing; run tools/vm/install-deps.sh" >&2; exit 127; }

stamp=$WINEPREFIX/.larkwire-ready
make_prefix() {
    local version tarball
    version=$(dpkg-query -W -f='${Version}' wine32:i386 2>/dev/null | tr -c 'A-Za-z0-9.+-' _)
    tarball=${LARKWIRE_VM_CACHE:-/nonexistent}/wine32-prefix-$version.tar
    mkdir -p "$WINEPREFIX"
    if [[ -r $tarball ]] && tar -xf "$tarball" -C "$WINEPREFIX"; then
        return
    fi
    rm -rf "$WINEPREFIX" && mkdir -p "$WINEPREFIX"
    echo "$me: creating a wine32 prefix (about a minute in the VM)" >&2
    "$WINE" wineboot -i >/dev/null 2>&1 || true
    "$WINESERVER" -w
    [[ -e $WINEPREFIX/system.reg ]] || { echo "$me: wineboot failed" >&2; exit 125; }
    if [[ -d ${LARKWIRE_VM_CACHE:-} && -w $LARKWIRE_VM_CACHE ]]; then
        # Written under a temporary name: other VMs may read the cache now.
        tar -cf "$tarball.tmp.$$" -C "$WINEPREFIX" . && mv "$tarball.tmp.$$" "$tarball" \
            || rm -f "$tarball.tmp.$$"
    fi
}
if [[ ! -e $stamp ]]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    exec 9>"$WINEPREFIX.lock"
    flock 9
    if [[ ! -e $stamp ]]; then
        make_prefix
        touch "$stamp"
    fi
    exec 9>&-
fi

# On a terminal wine wraps every character in cursor escapes: collect the
# output in files and print it afterwards.
out=$(mktemp "${TMPDIR:-/tmp}/wine32-out.XXXXXX")
errf=$(mktemp "${TMPDIR:-/tmp}/wine32-err.XXXXXX")
trap 'rm -f "$out" "$errf"' EXIT
rc=0
"$WINE" "$@" >"$out" 2>"$errf" || rc=$?
cat "$out"
cat "$errf" >&2
exit "$rc"
