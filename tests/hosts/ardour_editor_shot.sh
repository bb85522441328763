#!/bin/bash
# The full Ardour 7 (its GUI, on the Dummy backend) opens the plug-in's
# editor under Xvfb, and a screenshot of Ardour's plug-in window is taken.
# Run by hand, not by the default test command: it clicks at places of
# Ardour's own windows, so a change of Ardour's theme or layout moves them.
#   ardour_editor_shot.sh PLUGIN.so DISPLAY_NUMBER OUTPUT.png
# The plug-in must be a release build (ardour7-lua hangs with the sanitizer
# runtime preloaded). Checks that Ardour's plug-in window holds a child
# window named Larkwire (ours) and that no X error was reported; the
# screenshot (a stream name typed, Send chosen) is for the eye.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/lib.sh"
. "$here/ardour/ardour.sh"
NETNS_SUBNET=10.231.46
. "$here/../netns/lib.sh"
plugin=$(readlink -f "$1")
number=$2 output=$3
skip_unless_runnable ardour_missing "$plugin" Ardour
for tool in Xvfb xdotool import convert; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

work=$(mktemp -d /tmp/larkwire-ardour-gui.XXXXXX)
xvfb= gui=
cleanup() {
    [[ -n $gui ]] && kill "$gui" 2>/dev/null
    [[ -n $xvfb ]] && kill "$xvfb" 2>/dev/null
    wait 2>/dev/null
    netns_down
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; tail -5 "$work/gui.log" 2>/dev/null; exit 1; }
netns_up

check "Ardour's scanner lists the plug-in" ardour_setup "$work" "$plugin" "$NS_A"
check "a session with the plug-in on a bus is built" \
    ardour_lua "$NS_A" "$work/build.log" '^saved: ' "$ardour_dir/build_session.lua" "$work/session" shot 4 receive
[[ $hosts_failures -eq 0 ]] || exit 1
# No first-run wizard, and the Dummy backend offered in the engine dialog.
touch "$ARDOUR_HOME/.config/ardour7/.a7"
cat >"$ARDOUR_HOME/.config/ardour7/config" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<Ardour><Config><Option name="hide-dummy-backend" value="0"/></Config></Ardour>
EOF

export DISPLAY=:$number
Xvfb "$DISPLAY" -screen 0 1280x900x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
sleep 1
ip netns exec "$NS_A" "${ARDOUR_ENV[@]}" DISPLAY="$DISPLAY" timeout 240 ardour -n -a "$work/session/shot.ardour" \
    >"$work/gui.log" 2>&1 </dev/null &
gui=$!

# window NAME: waits up to 40 s for a window of that name and prints its id.
window() { timeout 40 xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -1; }
at() { xdotool mousemove "$1" "$2" click 1; sleep "${3:-1}"; }  # at X Y [PAUSE]: a click on the screen

# Ardour centres its dialogs on the 1280x900 screen. The session was made
# on the Dummy backend and the GUI starts on ALSA: first a warning, then
# the engine dialog.
sleep 20
at 812 490 6   # the warning's OK
at 648 308     # the engine dialog's Audio System list
at 627 352     # its third entry, None (Dummy)
at 862 610 15  # Start: the session opens
xdotool key alt+m  # the mixer
sleep 4
xdotool mousemove 330 238 click --repeat 2 --delay 80 1  # the plug-in in the bus's strip
sleep 4
host_window=$(window "Larkwire \(Fernkit Edition\).*\[VST\]") || fail "Ardour opened no plug-in window"
editor=$(timeout 10 xdotool search --name '^Larkwire$' | head -1)
[[ -n $editor ]] || fail "the plug-in window holds no editor of ours"
echo "Ardour's plug-in window $host_window holds the editor $editor"
xdotool mousemove --window "$editor" 133 22 click 1  # the identifier field
sleep 0.3
xdotool key ctrl+a
xdotool type --delay 60 "studio-b"
xdotool mousemove --window "$editor" 19 72 click 1   # Send
sleep 1
eval "$(xdotool getwindowgeometry --shell "$host_window")"
import -window root "$work/root.png" || fail "no screenshot"
convert "$work/root.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage -strip -colors 64 "PNG8:$output" ||
    fail "cannot write $output"
echo "wrote $output (${WIDTH}x${HEIGHT})"
grep -q "X errors" "$work/gui.log" && fail "the editor met X errors in Ardour"
echo "PASS: Ardour opened the editor"
