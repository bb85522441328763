#!/bin/bash
# The Linux module's editor on a private Xvfb display, driven with xdotool
# through larkwire-host's editor window.
#   x11-editor.sh HOST PLUGIN FIRST:LAST edit|meter|cycles|shot [OUTPUT.png]
# FIRST:LAST: the display numbers it may use; it takes the first free one.
# edit:   (at EDITOR_DPI when set) type a stream name, choose Send, type destinations (with Tab, the
#         clipboard, and an address still pending when the editor closes),
#         then check the chunk the plug-in returns and the INI file.
# meter:  the meter lights while a tone plays and falls back after it,
#         with the host giving no idle calls (the editor's own thread runs it).
# cycles: 200 openings and closings while audio runs: no X error, no leak.
# shot:   writes a screenshot of the editor to OUTPUT.png.
# Exit 77 (skipped) when Xvfb, xdotool or ImageMagick is missing.
set -uo pipefail
host=$1 plugin=$2 range=$3 mode=$4 output=${5:-}
for tool in Xvfb xdotool convert import; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
export HOME=$work XDG_CONFIG_HOME=$work/config
mkdir -p "$XDG_CONFIG_HOME"
# Whole stacks at each allocation, so the suppression can see where it came from.
export LSAN_OPTIONS="suppressions=$here/x11-lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
export ASAN_OPTIONS="fast_unwind_on_malloc=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"

# The first display number of the range FIRST:LAST that is free.
xvfb=
hostpid=
cleanup() {
    [[ -n $hostpid ]] && { kill "$hostpid" 2>/dev/null; wait "$hostpid" 2>/dev/null; }
    [[ -n $xvfb ]] && { kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; }
    rm -rf "$work"
}
trap cleanup EXIT
for n in $(seq "${range%%:*}" "${range##*:}"); do
    [[ -e /tmp/.X$n-lock ]] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    xvfb=$!
    for _ in $(seq 100); do
        kill -0 "$xvfb" 2>/dev/null || break
        DISPLAY=:$n xdotool getmouselocation >/dev/null 2>&1 && break
        sleep 0.05
    done
    # Another test may have taken the number at the same moment: then ours exits.
    if kill -0 "$xvfb" 2>/dev/null && DISPLAY=:$n xdotool getmouselocation >/dev/null 2>&1; then
        export DISPLAY=:$n
        break
    fi
    kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null
    xvfb=
done
[[ -n $xvfb ]] || { echo "FAIL: no Xvfb display free in $range"; exit 1; }

fail() { echo "FAIL: $*"; echo "--- host output"; cat "$work/out" "$work/err" 2>/dev/null; exit 1; }

# Starts the host; waits for its editor and reads the window and the size.
start_host() {
    "$host" "$plugin" "$@" >"$work/out" 2>"$work/err" &
    hostpid=$!
    for _ in $(seq 300); do grep -q '^editor: .*open' "$work/out" && break; sleep 0.05; done
    local line
    line=$(grep '^editor: .*open' "$work/out") || fail "the editor did not open"
    window=$(sed -E 's/.*window (0x[0-9a-f]+).*/\1/' <<<"$line")
    width=$(sed -E 's/.*open, ([0-9]+)x([0-9]+).*/\1/' <<<"$line")
    height=$(sed -E 's/.*open, ([0-9]+)x([0-9]+).*/\2/' <<<"$line")
    # The dialog's base units, back from its size in pixels (213 x 94 units).
    bx=$(( (width * 4 + 106) / 213 ))
    by=$(( (height * 8 + 47) / 94 ))
}

# Ends the host as Ctrl-C does and waits for it; its status in $status.
stop_host() {
    kill -INT "$hostpid"
    wait "$hostpid"
    status=$?
    hostpid=
}

# Clicks the middle of a control given in dialog units.
click_at() {
    local x=$(( ($1 + $3 / 2) * bx / 4 )) y=$(( ($2 + $4 / 2) * by / 8 ))
    xdotool mousemove --window "$window" "$x" "$y" click 1
    sleep 0.1
}
keys() { xdotool key --delay 30 "$@"; sleep 0.1; }
type_text() { xdotool type --delay 30 "$1"; sleep 0.1; }

after_editor() { grep '^after editor:' "$work/out" | sed -E 's/^after editor: +//'; }

no_errors() {
    if grep -E 'X error|ERROR: (Address|Leak)Sanitizer|runtime error' "$work/err" >/dev/null; then
        fail "errors from the host or the plug-in"
    fi
}

# Meter geometry in pixels (the meter lies at 7, 65, 199 x 15 units).
meter_geometry() {
    mx=$(( (7 * bx + 2) / 4 )) my=$(( (65 * by + 4) / 8 ))
    mw=$(( (206 * bx + 2) / 4 - mx )) mh=$(( (80 * by + 4) / 8 - my ))
}
# Brightest channel value (0..1) of a few pixels at the meter's column for
# a level in tenths of a decibel, in the upper (left channel) half.
meter_brightness() {
    local column=$(( mx + (620 + $1) * mw / 680 )) row=$(( my + mh / 4 ))
    import -window "$window" "$work/shot.png" 2>/dev/null || { echo 0; return; }
    convert "$work/shot.png" -crop "5x2+$((column - 2))+$row" +repage -format '%[fx:maxima]' info:
}
bright() { awk -v v="$1" 'BEGIN { exit !(v > 0.6) }'; }

case $mode in
edit)
    start_host --receive --id "" --seconds 0 --editor ${EDITOR_DPI:+--editor-dpi $EDITOR_DPI}
    click_at 40 7 76 12                       # identifier
    type_text "xstudio-bb"
    keys BackSpace Home Delete                # studio-b
    click_at 119 8 41 10                      # Enabled: off
    click_at 7 37 84 10                       # Send
    keys Tab                                  # to the destination
    type_text "10.0.0.5"
    keys ctrl+a ctrl+x ctrl+v                 # through the clipboard and back
    keys Tab                                  # to the channels, text selected
    type_text "1"
    keys shift+Tab                            # back to the destination
    type_text "10.0.0.7"                      # still pending when it closes
    stop_host
    no_errors
    [[ $status -eq 0 ]] || fail "host exit status $status"
    expected='send, id "studio-b", 1 channels to send, disabled, to 10.0.0.7'
    [[ $(after_editor) == "$expected" ]] || fail "state after the editor: '$(after_editor)', expected '$expected'"
    ini=$XDG_CONFIG_HOME/larkwire.ini
    [[ -f $ini ]] || ini=$(find "$work" -name larkwire.ini | head -n1)
    grep -q '^recent0=10.0.0.5' "$ini" && grep -q '^recent1=10.0.0.7' "$ini" ||
        fail "recent destinations not stored: $(cat "$ini" 2>/dev/null)"
    echo "PASS: edits reach the chunk, the pending address is kept on close"
    ;;
meter)
    # -9 dB keeps the hold marker clear of the scale's marks and labels.
    start_host --receive --tone 440 --level -9 --seconds 3 --editor-no-idle --editor-linger 6
    meter_geometry
    lit=
    for _ in $(seq 40); do v=$(meter_brightness -300); bright "$v" && { lit=1; break; }; sleep 0.1; done
    [[ -n $lit ]] || fail "the meter did not light at -30 dB while the tone played ($v)"
    hold=$(meter_brightness -91)
    bright "$hold" || fail "no bar or hold marker at -9 dB while the tone played ($hold)"
    # After the tone the bar falls; the hold marker follows a second later.
    for _ in $(seq 100); do grep -q '^frames:' "$work/out" && break; grep -q '^after editor' "$work/out" && break; v=$(meter_brightness -300); bright "$v" || break; sleep 0.1; done
    bright "$v" && fail "the bar did not fall after the tone"
    for _ in $(seq 60); do hold=$(meter_brightness -91); bright "$hold" || break; sleep 0.1; done
    bright "$hold" && fail "the hold marker did not fall back"
    stop_host
    no_errors
    echo "PASS: the meter follows the tone and falls back"
    ;;
cycles)
    start_host --receive --tone 440 --seconds 0 --editor-cycles 200
    for _ in $(seq 1200); do
        grep -q 'opened and closed' "$work/out" && break
        grep -q 'editor:' "$work/err" && break  # an opening failed
        kill -0 "$hostpid" 2>/dev/null || break
        sleep 0.1
    done
    grep -q 'opened and closed 200 times' "$work/out" || fail "the 200 openings did not finish"
    stop_host
    no_errors
    [[ $status -eq 0 ]] || fail "host exit status $status"
    echo "PASS: 200 openings and closings, no X error, no leak"
    ;;
shot)
    start_host --receive --id studio-b --tone 440 --seconds 0 --editor ${EDITOR_DPI:+--editor-dpi $EDITOR_DPI}
    sleep 3  # let the meter follow the tone for a while
    import -window "$window" "$work/shot.png" || fail "no screenshot"
    mkdir -p "$(dirname "$output")"
    convert "$work/shot.png" -strip "$output"
    stop_host
    echo "wrote $output ($(identify -format '%wx%h' "$output"))"
    ;;
*)
    echo "unknown mode $mode"; exit 2 ;;
esac
