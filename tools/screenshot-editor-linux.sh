#!/bin/bash
# Regenerates docs/editor-linux.png: the Linux module's editor in
# larkwire-host's window on a private Xvfb display while a tone plays.
#   tools/screenshot-editor-linux.sh [BUILD_DIR] [OUTPUT.png]
# EDITOR_DPI=192 takes it as a desktop set to that DPI shows it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/linux-release}
output=${2:-$root/docs/editor-linux.png}
if [[ ! -x $build/tools/larkwire-host || ! -f $build/larkwire.so ]]; then
    echo "${0##*/}: build $build first (cmake --build --preset linux-release)" >&2
    exit 1
fi
exec "$root/tests/editor/x11-editor.sh" "$build/tools/larkwire-host" "$build/larkwire.so" 141:149 shot "$output"
