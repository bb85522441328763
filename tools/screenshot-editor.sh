#!/bin/bash
# Regenerates docs/editor.png: the editor of the 64-bit module, open under
# wine64 on a private Xvfb display while a tone plays through it.
#   tools/screenshot-editor.sh [BUILD_DIR] [OUTPUT.png]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/mingw-x86_64}
output=${2:-$root/docs/editor.png}
test_exe=$build/tests/editor/editor_gui_tests.exe
if [[ ! -f $test_exe || ! -f $build/larkwire.dll ]]; then
    echo "${0##*/}: build $build first (cmake --build --preset mingw-x86_64)" >&2
    exit 1
fi
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix-gui}

fdfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$fdfile" 2>/dev/null &
xvfb=$!
shot=$(mktemp --suffix=.png)
cleanup() {
    [[ -n ${editor:-} ]] && { kill "$editor" 2>/dev/null || true; wait "$editor" 2>/dev/null || true; }
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
    rm -f "$fdfile" "$shot"
}
trap cleanup EXIT
for _ in $(seq 100); do [[ -s $fdfile ]] && break; sleep 0.05; done
export DISPLAY=:$(head -n1 "$fdfile")

"$root/tools/wine/wine64-run.sh" "$test_exe" --plugin="$build/larkwire.dll" --show-editor=12 >/dev/null 2>&1 &
editor=$!
window=
for _ in $(seq 200); do
    window=$(xdotool search --name "Larkwire test host" 2>/dev/null | head -n1 || true)
    [[ -n $window ]] && break
    sleep 0.1
done
if [[ -z $window ]]; then
    echo "${0##*/}: the editor window did not appear" >&2
    exit 1
fi
sleep 3  # let the meter follow the tone for a while
import -window "$window" "$shot"
mkdir -p "$(dirname "$output")"
convert "$shot" -strip "$output"
echo "wrote $output ($(identify -format '%wx%h' "$output"))"
