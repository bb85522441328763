#!/bin/bash
# Qtractor's plug-in scanner lists the plug-in as a DAW would see it: name,
# audio and MIDI pins, parameters, flags and unique ID; a copy named for 8
# channels has 8:8 pins.  qtractor_scan.sh PLUGIN.so [NAMED_8_CHANNEL_COPY.so]
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/lib.sh"
plugin=$(readlink -f "$1")
named8=${2:+$(readlink -f "$2")}
scanner=/usr/lib/x86_64-linux-gnu/qtractor/qtractor_plugin_scan
[[ -x $scanner ]] || { echo "SKIP: Qtractor missing (tests/hosts/install-deps.sh)"; exit 77; }
preload_sanitizer_runtime "$plugin"

scan() {  # scan MODULE: the scanner's line for it
    echo "VST:$1" | timeout 60 "$scanner" 2>/dev/null | grep '^VST|'
}
attempt() {
    hosts_failures=0
    line=$(scan "$plugin")
    echo "scanner: $line"
    IFS='|' read -r kind name audio midi controls flags path index id <<<"$line"
    [[ -n $line ]] || return 1
    check "kind VST" test "$kind" = VST
    # The plug-in's own name: Qtractor falls back to the file's name when
    # the name query does not say it wrote one.
    check "name ($name)" test "$name" = "Larkwire (Fernkit Edition)"
    check "2:2 audio pins" test "$audio" = 2:2
    check "MIDI in and out" test "$midi" = 1:1
    check "one parameter, no outputs" test "$controls" = 1:0
    check "flags say real-time and chunk state ($flags)" grep -Eq '(^|,)RT(,|$)' <<<"$flags"
    check "chunk flag" grep -Eq '(^|,)EXT(,|$)' <<<"$flags"
    check "path" test "$path" = "$plugin"
    check "unique ID 'lkwr'" test "$id" = 0x6c6b7772
    if [[ -n $named8 ]]; then
        line=$(scan "$named8")
        echo "scanner: $line"
        check "a copy named for 8 channels has 8:8 pins" test "$(cut -d'|' -f3 <<<"$line")" = 8:8
        check "and names itself for 8 channels" test "$(cut -d'|' -f2 <<<"$line")" = "Larkwire (Fernkit Edition):8"
    fi
    [[ $hosts_failures -eq 0 ]]
}
with_one_retry attempt
rc=$?
[[ $rc -eq 0 ]] && echo "all checks passed"
exit $rc
