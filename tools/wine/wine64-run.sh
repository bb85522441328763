#!/bin/bash
# Run a 64-bit Windows program under wine64, headless; exit with its exit code.
#   wine64-run.sh PROGRAM.exe [ARGS...]
# Meant as CMAKE_CROSSCOMPILING_EMULATOR for the x86_64 MinGW build.
#
# WINEPREFIX: used as given if set; otherwise a throw-away prefix at
# ${LARKWIRE_WINE_ROOT:-$PWD}/wineprefix-64, created on first use.
# Creation is serialised with flock, so parallel ctest runs share one prefix.
set -euo pipefail

if [[ $# -lt 1 ]]; then
    echo "usage: ${0##*/} PROGRAM.exe [ARGS...]" >&2
    exit 2
fi

# Once wine32 is installed, /usr/bin/wine picks the 32-bit loader, which this
# kernel cannot run: name the 64-bit binaries directly.
WINE=/usr/lib/wine/wine64
export WINELOADER=$WINE
export WINESERVER=/usr/lib/wine/wineserver64
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml=;winemenubuilder.exe=d"}

for f in "$WINE" "$WINESERVER"; do
    if [[ ! -x $f ]]; then
        echo "${0##*/}: $f missing; run tools/wine/install-deps.sh" >&2
        exit 127
    fi
done

own_prefix=${WINEPREFIX:+no}
prefix=${WINEPREFIX:-${LARKWIRE_WINE_ROOT:-$PWD}/wineprefix-64}
[[ $prefix == /* ]] || prefix=$PWD/$prefix
export WINEPREFIX=$prefix

# A prefix is ready once wineboot has finished and the server has flushed the
# registry; the stamp tells a finished prefix from one cut short.
stamp=$prefix/.larkwire-ready
if [[ ! -e $stamp ]]; then
    mkdir -p "$(dirname "$prefix")"
    exec 9>"$prefix.lock"
    flock 9
    if [[ ! -e $stamp ]]; then
        if [[ -z ${LARKWIRE_WINE_QUIET:-} ]]; then
            echo "${0##*/}: creating wine prefix $prefix" >&2
        fi
        # Only a half-made prefix of our own is thrown away; a caller's
        # WINEPREFIX is completed in place.
        if [[ -z $own_prefix && -d $prefix && ! -e $prefix/system.reg ]]; then
            rm -rf "$prefix"
        fi
        "$WINE" wineboot -i >/dev/null 2>&1 || true
        "$WINESERVER" -w
        if [[ ! -e $prefix/system.reg ]]; then
            echo "${0##*/}: wineboot failed to create $prefix" >&2
            exit 125
        fi
        touch "$stamp"
    fi
    flock -u 9
    exec 9>&-
fi

# exec keeps stdin/stdout/stderr and makes wine's exit status ours.
exec "$WINE" "$@"
