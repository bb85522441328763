#!/bin/bash
# Audacity 3.2, headless (Xvfb, mod-script-pipe): a stereo test file is
# imported, selected and run through the plug-in as an effect, then exported
# as 32-bit float WAV.   audacity_effect.sh PLUGIN.so
# Checks: Audacity registers the plug-in, lists it among its commands, applies
# it without a dialog, and the export holds the input's samples exactly (the
# plug-in passes audio unchanged, and float in, float out rounds nothing).
# The plug-in may send as soon as the host sets a sample rate, so Xvfb and
# Audacity run inside a network namespace.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/lib.sh"
. "$here/audacity/audacity.sh"
NETNS_SUBNET=10.231.47
. "$here/../netns/lib.sh"
plugin=$(readlink -f "$1")
skip_unless_runnable audacity_missing "$plugin" Audacity

work=$(mktemp -d /tmp/larkwire-audacity.XXXXXX)
cleanup() {
    audacity_stop
    netns_down
    rm -rf "$work"
}
trap cleanup EXIT
netns_up
python3 "$here/wav_check.py" write "$work/in.wav" 2

attempt() {
    hosts_failures=0
    local started=$SECONDS id
    rm -f "$work/out.wav"
    check "a private home, and Xvfb inside the namespace" audacity_setup "$work" "$plugin" "$NS_A"
    [[ $hosts_failures -eq 0 ]] || return 1
    check "the first start registers the plug-in" audacity_register "$work" "$NS_A"
    [[ $hosts_failures -eq 0 ]] || return 1
    echo "first start: $((SECONDS - started)) s"
    check "the second start answers on the script pipe" audacity_open "$work" "$NS_A"
    [[ $hosts_failures -eq 0 ]] || return 1
    # Named by the plug-in, not after its file: the name query says it wrote it.
    id=$(python3 "$audacity_dir/script_pipe.py" 20 --effect-id "Larkwire (Fernkit Edition)")
    check "the plug-in is the command \"Larkwire (Fernkit Edition)\" (${id:-none})" test -n "$id"
    [[ $hosts_failures -eq 0 ]] || return 1
    # No parameters: the effect runs with its current state and no dialog.
    check "import, select all, apply and export" python3 "$audacity_dir/script_pipe.py" 60 \
        "Import2: Filename=$work/in.wav" "SelectAll:" "$id:" \
        "Export2: Filename=$work/out.wav NumChannels=2"
    audacity_stop
    check "the export holds the input's samples unchanged" \
        python3 "$here/wav_check.py" same "$work/in.wav" "$work/out.wav"
    echo "both starts and the effect: $((SECONDS - started)) s"
    [[ $hosts_failures -eq 0 ]]
}
with_one_retry attempt
rc=$?
[[ $rc -eq 0 ]] && echo "all checks passed"
exit $rc
