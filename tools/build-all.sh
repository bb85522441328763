#!/bin/bash
# Configures and builds the presets, with progress; logs in build/.
#   build-all.sh                  every preset and target, one preset after
#                                 another (what tools/test-all.sh runs)
#   build-all.sh --main [--win32] only what tools/main-job.sh runs: the .so,
#                                 the 64-bit DLL, the probe and larkwire-host
#                                 (and the 32-bit ones with --win32), the
#                                 presets side by side
# Prints what each preset built for.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
jobs=$(nproc)
main=
win32=
for arg; do
    case $arg in
        --main) main=1 ;;
        --win32) win32=1 ;;
        *) echo "build-all.sh: unknown option $arg" >&2; exit 2 ;;
    esac
done

# A line for each tenth of the build done, from Ninja's "[3/40]" or Make's
# "[ 7%]".
progress() {
    awk -v p="$1" '
        match($0, /^\[[0-9]+\/[0-9]+\]/) { split(substr($0, 2, RLENGTH - 2), n, "/"); pct = 100 * n[1] / n[2] }
        match($0, /^\[ *[0-9]+%\]/) { pct = substr($0, 2, RLENGTH - 3) + 0 }
        int(pct / 10) > shown { shown = int(pct / 10); printf "%s: %d%%\n", p, 10 * shown; fflush() }'
}

# Configures and builds PRESET (only TARGETs, if given); a line per tenth done.
build_preset() {
    local preset=$1 start=$SECONDS generator=()
    local log=build/configure-$preset.log
    shift
    # A new tree builds with Ninja when there is one; a tree configured before
    # keeps its generator.
    if [[ ! -e build/$preset/CMakeCache.txt ]] && command -v ninja >/dev/null; then
        generator=(-G Ninja)
    fi
    cmake --preset "$preset" "${generator[@]}" >"$log" 2>&1 || { cat "$log"; return 1; }
    # A variable a preset sets but nothing reads is a silent slip: fail on it.
    if grep -q "Manually-specified variables were not used" "$log"; then
        cat "$log"; echo "build-all: $preset: unused variables" >&2; return 1
    fi
    grep "larkwire: target" "$log" | sed "s/^-- /$preset: /"
    log=build/build-$preset.log
    local targets=()
    [[ $# -eq 0 ]] || targets=(--target "$@")
    if ! cmake --build --preset "$preset" -j"$jobs" "${targets[@]}" 2>&1 | tee "$log" | progress "$preset"; then
        tail -50 "$log"
        echo "build-all: $preset failed; the whole log is $log" >&2
        return 1
    fi
    echo "$preset: built in $((SECONDS - start)) s"
}

mkdir -p build
if [[ -z $main ]]; then
    for preset in ${LARKWIRE_PRESETS:-linux-asan linux-release mingw-x86_64 mingw-i686}; do
        build_preset "$preset"
    done
    exit 0
fi

# The main job's presets share the cores; side by side, one's configure runs
# while the other compiles.
targets=(larkwire larkwire-probe larkwire-host)
presets=(linux-release mingw-x86_64)
[[ -z $win32 ]] || presets+=(mingw-i686)
pids=()
for preset in "${presets[@]}"; do
    build_preset "$preset" "${targets[@]}" &
    pids+=($!)
done
status=0
for pid in "${pids[@]}"; do
    wait "$pid" || status=1
done
exit $status
