#!/bin/bash
# Runs a Windows GUI test under wine64 on a private Xvfb display.
#   run-gui-test.sh WINE64_RUNNER PROGRAM.exe [ARGS...]
# A display of our own keeps parallel runs and the caller's DISPLAY apart.
set -euo pipefail
runner=$1
shift

fdfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$fdfile" 2>/dev/null &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; wait $xvfb 2>/dev/null || true; rm -f "$fdfile"' EXIT
for _ in $(seq 100); do
    [[ -s $fdfile ]] && break
    sleep 0.05
done
if [[ ! -s $fdfile ]]; then
    echo "${0##*/}: Xvfb did not start" >&2
    exit 1
fi
export DISPLAY=:$(head -n1 "$fdfile")
"$runner" "$@"
