#!/bin/bash
# Runs each third-party host check with the call-logging stand-in in place of
# the plug-in and prints, per host, the calls in order (repeats folded), so
# HOST-CALLS.md can be brought up to date after a host or plug-in change.
#   record_calls.sh PLUGIN.so LARKWIRE-CALL-LOG.so LARKWIRE-HOST [OUT_DIR]
# Each check still judges its host; a failing one still leaves its log.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
plugin=$(readlink -f "${1:?plug-in}")
shim=$(readlink -f "${2:?larkwire-call-log.so}")
cli_host=$(readlink -f "${3:?larkwire-host}")
out=${4:-$(mktemp -d /tmp/larkwire-calls.XXXXXX)}
mkdir -p "$out"
out=$(readlink -f "$out")
export LARKWIRE_LOGGED_PLUGIN=$plugin
probe=$(dirname "$cli_host")/larkwire-probe

run() {  # run NAME COMMAND...: COMMAND with the calls logged to OUT/NAME.log
    local name=$1
    shift
    rm -f "$out/$name.log"
    LARKWIRE_CALL_LOG=$out/$name.log "$@" >"$out/$name.out" 2>&1
    echo "== $name (exit $?; its output: $out/$name.out)"
    [[ -s $out/$name.log ]] && python3 "$here/call_log/fold_calls.py" "$out/$name.log"
}
run probe unshare -n "$probe" "$shim"
run qtractor bash "$here/qtractor_scan.sh" "$shim"
run ardour bash "$here/ardour_session.sh" "$shim" "$cli_host"
run audacity bash "$here/audacity_effect.sh" "$shim"
