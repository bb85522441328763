#!/bin/bash
# Our own test host (through larkwire-probe) loads third-party VST 2 plug-ins
# the way a DAW does: one that exports only "main", and one that exports only
# "VSTPluginMain" with MIDI and a saved chunk.  own_host_third_party.sh PROBE
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/lib.sh"
probe=$1
main_only=/usr/lib/vst/PingPongPan-vst.so
entry_only=/usr/lib/vst/lsp-plugins/trigger-midi-stereo.so
for f in "$main_only" "$entry_only"; do
    [[ -f $f ]] || { echo "SKIP: $f missing (tests/hosts/install-deps.sh)"; exit 77; }
done
# Worth checking, or the two would not prove both look-ups.
check "PingPongPan exports main, not VSTPluginMain" \
    bash -c "nm -D '$main_only' | grep -w main >/dev/null && ! nm -D '$main_only' | grep -w VSTPluginMain >/dev/null"
check "the LSP plug-in exports VSTPluginMain, not main" \
    bash -c "nm -D '$entry_only' | grep -w VSTPluginMain >/dev/null && ! nm -D '$entry_only' | grep -w main >/dev/null"

out=$("$probe" "$main_only" 2>&1)
check "PingPongPan loads" grep -q "magic         'VstP'" <<<"$out"
check "PingPongPan: 2 in, 2 out" grep -q 'pins          2 in, 2 out' <<<"$out"
check "PingPongPan: its name" grep -q 'effect name   "Ping Pong Pan"' <<<"$out"

out=$("$probe" "$entry_only" 2>&1)
check "LSP trigger loads" grep -q "magic         'VstP'" <<<"$out"
check "LSP trigger: its name" grep -q 'effect name   "Trigger MIDI Stereo"' <<<"$out"
check "LSP trigger: takes and sends MIDI" \
    bash -c "grep -q 'canDo receiveVstEvents    1' <<<'$out' && grep -q 'canDo sendVstMidiEvent    1' <<<'$out'"
check "LSP trigger: hands over a saved chunk" grep -Eq '^chunk +[1-9][0-9]* bytes' <<<"$out"
[[ $hosts_failures -eq 0 ]] && echo "all checks passed"
exit $((hosts_failures > 0))
