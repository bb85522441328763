#!/bin/bash
# Runs every test: native (sanitizers), the network tests between namespaces,
# the 64-bit Windows build under wine64, the 32-bit product under wine32 in
# the VM, then the bounded hardening and host checks. Installs what it needs,
# group by group: a package that cannot be had (tools/apt-lib.sh) skips the
# suites that need it, with the reason; every other suite still runs. Ends
# with a table of the suites and the line "suites: N passed, N failed".
#
# Environment: LARKWIRE_HARDENING=0 and LARKWIRE_HOSTS=0 leave those suites
# out; LARKWIRE_DISPLAY (default :99) is the X display the editor tests use.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.." || exit 1
root=$PWD
start=$SECONDS
logs=build/test-all
unavailable=build/unavailable-packages
mkdir -p "$logs"
# Only this run's install decides what is missing.
rm -f "$unavailable"

echo "=== Packages"
bash tools/install-deps.sh ||
    echo "test-all: some packages could not be installed; the suites that need them are skipped"
# "PACKAGE could not be installed (WHY)" for each package of the GROUPs that
# the install recorded as unavailable.
unavailable_in() {
    [[ -f $unavailable ]] || return 0
    awk -F'\t' -v groups=" $* " 'index(groups, " " $2 " ") { print $1 " could not be installed (" $3 ")" }' "$unavailable"
}
missing=$(unavailable_in build)
if [[ -n $missing ]]; then
    echo "$missing"
    echo "test-all: nothing can be built without these" >&2
    exit 1
fi
packages_time=$((SECONDS - start))

echo
echo "=== Building ($((SECONDS - start)) s in)"
bash tools/build-all.sh || exit 1
build_time=$((SECONDS - start - packages_time))

passed=0
failed=0
failures=()
rows=()
# One table row: suite, time, passed, failed, skipped, note.
row_format='%-34s %6s %6s %6s %7s  %s'
row() { rows+=("$(printf "$row_format" "$@")"); }
sum() { awk '{ s += $1 } END { if (NR) print s }'; }
minutes() { printf '%d:%02d' $(($1 / 60)) $(($1 % 60)); }

# The first line a skipped ctest test printed, from the trees' logs of this run.
skip_reason() {
    local name=$1 since=$2 log
    for log in build/*/Testing/Temporary/LastTest.log; do
        [[ -f $log && $(stat -c %Y "$log") -ge $since ]] || continue
        awk -v t="Test: $name" '
            $0 ~ "^[0-9]+/[0-9]+ " t "$" { inside = 1; next }
            inside && /^-+$/ { output = 1; next }
            inside && output { if ($0 != "<end of output>") print; exit }' "$log"
    done | head -1
}

# Runs one suite: NAME, the package GROUPS it needs, then its command. A
# suite whose packages could not be installed is skipped, saying which; any
# other outcome is the suite's own. A failing suite is counted, and the run
# goes on. Counts come from the summaries of the ctest runs in its output.
suite() {
    local name=$1 groups=$2 log suite_start=$SECONDS since
    shift 2
    log=$logs/$(echo "$name" | tr -c 'A-Za-z0-9\n' '-' | tr -s '-').log
    echo
    echo "=== $name ($((SECONDS - start)) s in)"
    local why
    why=$(unavailable_in $groups | awk 'NR > 1 { printf "; " } { printf "%s", $0 }')
    if [[ -n $why ]]; then
        echo "SKIPPED: $why"
        row "$name" - - - - "SKIPPED: $why"
        return 0
    fi
    since=$(date +%s)
    local status=0
    "$@" 2>&1 | tee "$log"
    status=${PIPESTATUS[0]}
    local total failed_tests skipped note=""
    total=$(sed -nE 's/^[0-9]+% tests passed, [0-9]+ tests? failed out of ([0-9]+)$/\1/p' "$log" | sum)
    failed_tests=$(sed -nE 's/^[0-9]+% tests passed, ([0-9]+) tests? failed out of [0-9]+$/\1/p' "$log" | sum)
    local names=() n
    mapfile -t names < <(sed -nE 's/^\s+[0-9]+ - (\S+) \((Skipped|Not Run|Disabled)\)$/\1/p' "$log")
    skipped=${#names[@]}
    for n in "${names[@]}"; do
        note+="${note:+; }$n skipped"
        local r
        r=$(skip_reason "$n" "$since")
        [[ -z $r ]] || note+=" ($r)"
    done
    local time
    time=$(minutes $((SECONDS - suite_start)))
    if [[ -z $total ]]; then
        # Not a ctest run: the script's exit status is its one count.
        total=1
        failed_tests=$((status != 0))
        skipped=0
    fi
    if [[ $status -eq 0 ]]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        failures+=("$name")
        note="FAILED (exit $status, log $log)${note:+; $note}"
    fi
    row "$name" "$time" $((total - failed_tests - skipped)) "$failed_tests" "$skipped" "$note"
}

# Xvfb for the editor tests under wine64.
display=${LARKWIRE_DISPLAY:-:99}
if ! DISPLAY=$display xdpyinfo >/dev/null 2>&1; then
    Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    trap 'kill $xvfb 2>/dev/null' EXIT
fi
export DISPLAY=$display
export LARKWIRE_WINE_ROOT=$root/build/wine
export LARKWIRE_WINE_QUIET=1

# Everything 32-bit runs in the VM, where wine32 works: the tests of the i686
# tree, then the namespace checks of the 32-bit product. Under emulation the
# allocation count takes minutes; it runs natively and under wine64 instead.
# The VM sees the host's root read-only but has its own /tmp, so the parts
# of a checkout under /tmp that its tests read are copied in (--copy).
win32_suite() {
    local status=0
    bash tools/vm/run-in-vm.sh --timeout 900 --copy build/mingw-i686 --copy tools/vm --copy fuzz/corpus -- \
        "ip link set lo up && ctest --test-dir build/mingw-i686 -L win32 -E steady_state_alloc --output-on-failure --timeout 300" ||
        status=1
    ctest --preset linux-release -L vm32 || status=1
    return $status
}

suite "native (ASan, UBSan)" "build" ctest --preset linux-asan -LE netns -j2
suite "between namespaces" "net wine64" ctest --preset linux-release -L netns -LE vm32
suite "64-bit Windows (wine64)" "wine64 gui" ctest --preset mingw-x86_64 -LE netns
suite "32-bit Windows (wine32 in the VM)" "vm gui net" win32_suite
# The bounded hardening run: fuzzing, flood, link flap and TSan, in trees of
# their own. LARKWIRE_HARDENING=0 leaves it out.
if [[ ${LARKWIRE_HARDENING:-1} == 1 ]]; then
    suite "hardening (quick)" "clang net" bash tests/hardening.sh --quick
fi
# Ardour, Audacity and Qtractor from Debian's archive load the release build;
# each host retries once on its own. LARKWIRE_HOSTS=0 leaves them out.
if [[ ${LARKWIRE_HOSTS:-1} == 1 ]]; then
    suite "third-party hosts" "hosts" bash tests/hosts/run-all.sh
fi

echo
echo "=== done in $(minutes $((SECONDS - start))) (packages $(minutes "$packages_time"), build $(minutes "$build_time"))"
for f in "${failures[@]}"; do echo "failed: $f"; done
echo
printf "$row_format\n" suite time passed failed skipped note
printf '%s\n' "${rows[@]}"
echo "suites: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
