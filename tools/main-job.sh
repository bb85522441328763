#!/bin/bash
# The main job: build the binaries it runs, show what a DAW sees when it loads
# each, then stream a tone and MIDI between two simulated computers.
#   main-job.sh [--win32|--linux]   the sender in the stream (see tools/demo.sh)
# Installs only what it uses: the compilers, wine64 and the network tools
# (and, for --win32, the VM with wine32).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
start=$SECONDS
win32=
for arg; do
    [[ $arg != --win32 ]] || win32=--win32
done
echo "=== Packages"
if ! bash tools/install-deps.sh --main $win32; then
    echo "main-job: a package it needs could not be installed (named above)" >&2
    exit 1
fi
echo
echo "=== Building ($((SECONDS - start)) s in)"
bash tools/build-all.sh --main $win32
export LARKWIRE_WINE_ROOT=$PWD/build/wine LARKWIRE_WINE_QUIET=1
echo
echo "=== What a DAW sees: the Linux build"
build/linux-release/tools/larkwire-probe build/linux-release/larkwire.so
echo
echo "=== What a DAW sees: the 64-bit DLL under wine64"
tools/wine/wine64-run.sh build/mingw-x86_64/tools/larkwire-probe.exe build/mingw-x86_64/larkwire.dll
echo
echo "=== Streaming between two simulated computers"
bash tools/demo.sh "$@"
echo
echo "main job: done in $((SECONDS - start)) s"
