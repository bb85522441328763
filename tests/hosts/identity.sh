#!/bin/bash
# Our probe, Qtractor's scanner and Ardour's scanner see one identity: name,
# vendor, unique ID, audio pins and MIDI in and out. A host that read a
# different answer would list the plug-in differently or route it otherwise.
#   identity.sh PLUGIN.so LARKWIRE-PROBE
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/lib.sh"
. "$here/ardour/ardour.sh"
NETNS_SUBNET=10.231.48
. "$here/../netns/lib.sh"
plugin=$(readlink -f "$1")
probe=$(readlink -f "$2")
qtractor=/usr/lib/x86_64-linux-gnu/qtractor/qtractor_plugin_scan
[[ -x $qtractor ]] || { echo "SKIP: Qtractor missing (tests/hosts/install-deps.sh)"; exit 77; }
skip_unless_runnable ardour_missing "$plugin" Ardour

work=$(mktemp -d /tmp/larkwire-identity.XXXXXX)
trap 'netns_down; rm -rf "$work"' EXIT
netns_up
name="Larkwire (Fernkit Edition)"

# The scanners and the probe load the module, which opens its port: in A.
out=$(ip netns exec "$NS_A" "$probe" "$plugin" 2>&1)
echo "$out" | grep -E '^(uniqueID|pins|effect name|vendor|vst version|canDo)'
check "probe: the name" grep -q "^effect name   \"$name\" (answer 1)" <<<"$out"
check "probe: the vendor" grep -q '^vendor        "Tovani" (answer 1)' <<<"$out"
check "probe: VST 2.4" grep -q '^vst version   2400$' <<<"$out"
probe_says() { grep -q "$1" <<<"$out" && grep -q "$2" <<<"$out"; }
check "probe: 'lkwr', 2 in, 2 out" probe_says "^uniqueID      'lkwr'" '^pins          2 in, 2 out'
check "probe: MIDI in and out" probe_says '^canDo receiveVstEvents    1' '^canDo sendVstMidiEvent    1'


line=$(echo "VST:$plugin" | ip netns exec "$NS_A" timeout 60 "$qtractor" 2>/dev/null | grep '^VST|')
echo "Qtractor: $line"
IFS='|' read -r _ q_name q_audio q_midi _ _ _ _ q_id <<<"$line"
check "Qtractor: the same name, pins, MIDI and ID" \
    test "$q_name|$q_audio|$q_midi|$q_id" = "$name|2:2|1:1|0x6c6b7772"

check "Ardour's scanner lists the plug-in" ardour_setup "$work" "$plugin" "$NS_A"
info=$(grep -ho '<VST2Info [^>]*>' -r "$work/home/.cache" | head -1)
echo "Ardour: $info"
for field in 'id="1818982258"' "name=\"$name\"" 'creator="Tovani"' 'n_inputs="2"' 'n_outputs="2"' \
    'n_midi_inputs="1"' 'n_midi_outputs="1"'; do
    check "Ardour: $field" grep -qF "$field" <<<"$info"
done
[[ $hosts_failures -eq 0 ]] && echo "all checks passed"
exit $((hosts_failures > 0))
