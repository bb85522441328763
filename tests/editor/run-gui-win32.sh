#!/bin/bash
# The 32-bit module's editor under wine32 on a private Xvfb display: a
# screenshot of the open editor while a tone plays, checked for the dialog
# and a lit meter, then the GUI tests that the arguments select.
#   run-gui-win32.sh WINE32_RUNNER editor_gui_tests.exe larkwire.dll [GTEST OPTIONS...]
# wine32 runs only where the kernel runs 32-bit code (the VM, tools/vm);
# elsewhere this exits 77 (skipped). A launch takes 8 to 9 s in the VM, so
# there are two. LARKWIRE_EDITOR_PNG=FILE keeps the screenshot.
set -uo pipefail
runner=${1:?wine32 runner}
exe=${2:?editor_gui_tests.exe}
dll=${3:?larkwire.dll}
shift 3
me=${0##*/}

if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo "SKIP: this kernel runs no 32-bit code (run it through tools/vm/run-in-vm.sh)"
    exit 77
fi

work=$(mktemp -d)
xvfb=
editor=
cleanup() {
    if [[ -n $editor ]]; then kill "$editor" 2>/dev/null; wait "$editor" 2>/dev/null; fi
    if [[ -n $xvfb ]]; then kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; fi
    rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 300); do
    [[ -s $work/display ]] && break
    sleep 0.1
done
if [[ ! -s $work/display ]]; then
    echo "$me: Xvfb did not start" >&2
    exit 1
fi
export DISPLAY=:$(head -n1 "$work/display")

start=$(cut -d' ' -f1 /proc/uptime)
elapsed() { awk -v a="$start" -v b="$(cut -d' ' -f1 /proc/uptime)" 'BEGIN { printf "%.0f s", b - a }'; }
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# --- the screenshot ---
"$runner" "$exe" --plugin="$dll" --show-editor=10 >"$work/show.log" 2>&1 &
editor=$!
window=
for _ in $(seq 180); do
    window=$(xdotool search --name "Larkwire test host" 2>/dev/null | head -n1)
    [[ -n $window ]] && break
    kill -0 "$editor" 2>/dev/null || break
    sleep 1
done
png=$work/editor.png
if [[ -z $window ]]; then
    fail "the editor window did not appear"
    cat "$work/show.log"
else
    echo "editor window after $(elapsed)"
    sleep 3  # the meter follows the tone for a while
    import -window "$window" "$png" || fail "import could not take the screenshot"
fi
rc=0
wait "$editor" || rc=$?
editor=
[[ $rc -eq 0 ]] || { fail "the editor run ended with exit $rc"; cat "$work/show.log"; }
if [[ -s $png && -n ${LARKWIRE_EDITOR_PNG:-} ]]; then
    cp "$png" "$LARKWIRE_EDITOR_PNG"
fi

# Light dialog face around the dark meter; in the meter the background
# between the stripes, the lit floor colour at the left end of the bar and
# the unlit clip area at the right (the tone stays below 0 dB).
if [[ -s $png ]]; then
    read -r width height <<<"$(identify -format '%w %h' "$png")"
    echo "screenshot: ${width}x$height after $(elapsed)"
    report=$(convert "$png" -depth 8 -format %c histogram:info:- |
        sed -n 's/^ *\([0-9]*\): *( *\([0-9]*\), *\([0-9]*\), *\([0-9]*\).*/\1 \2 \3 \4/p' |
        awk -v total=$((width * height)) '
            $1 > top { top = $1; face = ($2 + $3 + $4) / 3 }
            $2 == 32 && $3 == 32 && $4 == 32 { background = $1 }
            $2 == 0 && $3 == 158 && $4 == 0 { floorLit = $1 }
            $2 == 94 && $3 == 0 && $4 == 0 { clipUnlit = $1 }
            $3 >= 140 && $2 <= $3 - 60 && $4 <= $3 - 60 { green += $1 }
            END {
                printf "face %.0f%% grey %.0f, meter background %d, lit floor %d, lit green %d, unlit clip %d\n",
                    100 * top / total, face, background, floorLit, green, clipUnlit
                ok = top >= total * 0.35 && face > 150 && background > 1000 && floorLit > 10 &&
                     green > 200 && clipUnlit > 100
                exit !ok
            }')
    check=$?
    echo "screenshot: $report"
    ((width >= 300 && height >= 120)) || fail "the screenshot is ${width}x$height, smaller than the dialog"
    [[ $check -eq 0 ]] || fail "the screenshot does not show the dialog with a lit meter"
fi

# --- the tests ---
rc=0
"$runner" "$exe" --plugin="$dll" "$@" || rc=$?
[[ $rc -eq 0 ]] || fail "the GUI tests ended with exit $rc"
echo "done after $(elapsed)"
[[ $failures -eq 0 ]]
