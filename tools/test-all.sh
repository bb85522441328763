#!/bin/bash
# Runs every test: native (sanitizers), the network tests between namespaces,
# the 64-bit Windows build under wine64, the 32-bit product under wine32 in
# the VM, then the bounded hardening and host checks. Installs what it needs.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
start=$(date +%s)

bash tools/install-deps.sh || exit 1
bash tools/build-all.sh || exit 1

passed=0
failed=0
failures=()
# Runs one suite; a failing suite is counted, and the run goes on.
suite() {
    local name=$1
    shift
    echo
    echo "=== $name ($(($(date +%s) - start)) s in)"
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        failures+=("$name")
    fi
}

# Under emulation the allocation count takes minutes; it runs natively and
# under wine64 instead.
# The VM sees the host's root read-only but has its own /tmp, so the parts
# of a checkout under /tmp that its tests read are copied in (--copy).

# Xvfb for the editor tests under wine64.
if ! pgrep -f "Xvfb :99" >/dev/null 2>&1; then
    Xvfb :99 -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    trap 'kill $xvfb 2>/dev/null' EXIT
fi
export DISPLAY=:99
export LARKWIRE_WINE_ROOT=$root/build/wine
export LARKWIRE_WINE_QUIET=1

suite "native (ASan, UBSan)" ctest --preset linux-asan -LE netns -j2
suite "between namespaces" ctest --preset linux-release -L netns
suite "64-bit Windows (wine64)" ctest --preset mingw-x86_64 -LE netns
suite "32-bit Windows (wine32 in the VM)" \
    bash tools/vm/run-in-vm.sh --timeout 900 --copy build/mingw-i686 --copy tools/vm --copy fuzz/corpus -- \
    "ip link set lo up && ctest --test-dir build/mingw-i686 -L win32 -E steady_state_alloc --output-on-failure --timeout 300"
# The bounded hardening run: fuzzing, flood, link flap and TSan, in trees of
# their own. LARKWIRE_HARDENING=0 leaves it out.
if [[ ${LARKWIRE_HARDENING:-1} == 1 ]]; then
    suite "hardening (quick)" bash tests/hardening.sh --quick
fi
# Ardour, Audacity and Qtractor from Debian's archive load the release build;
# each host retries once on its own. LARKWIRE_HOSTS=0 leaves them out.
if [[ ${LARKWIRE_HOSTS:-1} == 1 ]]; then
    suite "third-party hosts" bash tests/hosts/run-all.sh
fi

echo
echo "=== done in $(($(date +%s) - start)) s"
for f in "${failures[@]}"; do echo "failed: $f"; done
echo "suites: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
