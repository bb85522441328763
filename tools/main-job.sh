#!/bin/bash
# The main job: build all binaries, show what a DAW sees when it loads each,
# then stream a tone and MIDI between two simulated computers.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash tools/install-deps.sh
bash tools/build-all.sh
export LARKWIRE_WINE_ROOT=$PWD/build/wine LARKWIRE_WINE_QUIET=1
echo
echo "=== What a DAW sees: the Linux build"
build/linux-release/tools/larkwire-probe build/linux-release/larkwire.so
echo
echo "=== What a DAW sees: the 64-bit DLL under wine64"
tools/wine/wine64-run.sh build/mingw-x86_64/tools/larkwire-probe.exe build/mingw-x86_64/larkwire.dll
if [[ -x tools/demo.sh ]]; then
    echo
    echo "=== Streaming between two simulated computers"
    bash tools/demo.sh "$@"
fi
