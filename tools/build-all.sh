#!/bin/bash
# Configures and builds every preset: native debug with sanitizers, native
# release, and both Windows builds. Prints what each preset built for.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
jobs=$(nproc)
for preset in ${LARKWIRE_PRESETS:-linux-asan linux-release mingw-x86_64 mingw-i686}; do
    log=build/configure-$preset.log
    mkdir -p build
    cmake --preset "$preset" >"$log" 2>&1 || { cat "$log"; exit 1; }
    # A variable a preset sets but nothing reads is a silent slip: fail on it.
    if grep -q "Manually-specified variables were not used" "$log"; then
        cat "$log"; echo "build-all: $preset: unused variables" >&2; exit 1
    fi
    grep "larkwire: target" "$log" | sed "s/^-- /$preset: /"
    cmake --build --preset "$preset" -j"$jobs" >"build/build-$preset.log" 2>&1 ||
        { tail -50 "build/build-$preset.log"; exit 1; }
done
