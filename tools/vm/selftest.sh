#!/bin/bash
# Self-test of the Windows test runners:
#  - wine64-run.sh runs a 64-bit exe, passes its output and exit code 3 on;
#  - run-in-vm.sh boots the VM, where network namespaces with veth work,
#    Xvfb + import give a PNG, and wine32-run.sh runs a 32-bit exe whose
#    exit code 3 comes back as the runner's own.
# Usage: tools/vm/selftest.sh   (ends with "N passed, N failed")
# A Windows program's stdout has CRLF line ends (msvcrt text mode).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
tools=$(dirname "$here")
tmp=$(mktemp -d "${TMPDIR:-/tmp}/larkwire-selftest.XXXXXX")
cleanup() {
    if [[ -d $tmp/wineprefix-64 ]]; then
        WINEPREFIX=$tmp/wineprefix-64 /usr/lib/wine/wineserver64 -k 2>/dev/null || true
    fi
    rm -rf "$tmp"
}
trap cleanup EXIT

passed=0
failed=0
check() {  # check NAME CONDITION...
    local name=$1; shift
    if "$@"; then echo "PASS $name"; passed=$((passed + 1))
    else echo "FAIL $name"; failed=$((failed + 1)); fi
}
now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }'; }

mkdir -p "$tmp/bin" "$tmp/out"
x86_64-w64-mingw32-gcc-posix -static -O2 -o "$tmp/bin/hello64.exe" "$here/selftest/hello.c"
i686-w64-mingw32-gcc-posix -static -O2 -o "$tmp/bin/hello32.exe" "$here/selftest/hello.c"

# --- wine64 on this machine ---
t=$(now)
rc=0
out=$(LARKWIRE_WINE_ROOT=$tmp LARKWIRE_WINE_QUIET=1 "$tools/wine/wine64-run.sh" "$tmp/bin/hello64.exe" | tr -d "\r") || rc=$?
echo "wine64, new prefix: $(since "$t") s"
check "wine64 exit code 3" test "$rc" -eq 3
check "wine64 stdout" test "$out" = hello
t=$(now)
rc=0
LARKWIRE_WINE_ROOT=$tmp "$tools/wine/wine64-run.sh" "$tmp/bin/hello64.exe" >/dev/null || rc=$?
echo "wine64, second run: $(since "$t") s"
check "wine64 second run" test "$rc" -eq 3

# --- the VM ---
cat >"$tmp/bin/job.sh" <<'EOF'
# Runs inside the VM; cwd is the copied bin folder.
set -u
el() { awk -v a="$1" -v b="$(cut -d' ' -f1 /proc/uptime)" 'BEGIN { printf "%.1f", b - a }'; }
up() { cut -d' ' -f1 /proc/uptime; }

t=$(up)
ns=lwselftest$$
ip netns add "$ns" && ip link add lwst-a type veth peer name lwst-b \
    && ip link set lwst-b netns "$ns" && ip -n "$ns" link set lwst-b up \
    && ip link set lwst-a up
ok=$?
ip link del lwst-a 2>/dev/null
ip netns del "$ns" 2>/dev/null
[ $ok -eq 0 ] || { echo "netns/veth failed" >&2; exit 10; }
echo "vm: netns+veth ok ($(el "$t") s)"

t=$(up)
Xvfb :99 -screen 0 800x600x24 -nolisten tcp >/tmp/xvfb.log 2>&1 &
xpid=$!
i=0
while [ ! -S /tmp/.X11-unix/X99 ] && [ $i -lt 300 ]; do sleep 0.1; i=$((i + 1)); done
DISPLAY=:99 import -window root "$SELFTEST_OUT/root.png"
ok=$?
kill $xpid
[ $ok -eq 0 ] && identify "$SELFTEST_OUT/root.png" >/dev/null || { cat /tmp/xvfb.log >&2; exit 11; }
echo "vm: Xvfb screenshot ok ($(el "$t") s)"

t=$(up)
"$LARKWIRE_TOOLS/vm/wine32-run.sh" ./hello32.exe >/tmp/first.txt
rc=$?
echo "vm: wine32, prefix set-up + first run: $(el "$t") s (exit $rc)"
t=$(up)
"$LARKWIRE_TOOLS/vm/wine32-run.sh" ./hello32.exe
rc=$?
echo "vm: wine32, one launch: $(el "$t") s"
exit $rc
EOF
t=$(now)
rc=0
(cd "$tmp/bin" && "$here/run-in-vm.sh" --verbose --timeout 600 --copy "$tmp/bin" --out "$tmp/out" \
    --env "SELFTEST_OUT=$tmp/out" --env "LARKWIRE_TOOLS=$tools" -- sh job.sh) >"$tmp/vm.out" || rc=$?
cat "$tmp/vm.out"
echo "VM job end to end: $(since "$t") s"
check "VM runner returns the wine32 exit code 3" test "$rc" -eq 3
check "VM wine32 stdout" grep -qx $'hello\r*' "$tmp/vm.out"
check "VM netns + veth" grep -q "netns+veth ok" "$tmp/vm.out"
check "VM Xvfb + import PNG" test -s "$tmp/out/root.png"
# To look at the screenshot: LARKWIRE_SELFTEST_PNG=/some/file.png
if [[ -n ${LARKWIRE_SELFTEST_PNG:-} && -s $tmp/out/root.png ]]; then
    cp "$tmp/out/root.png" "$LARKWIRE_SELFTEST_PNG"
fi

t=$(now)
rc=0
"$here/run-in-vm.sh" --timeout 5 -- sleep 60 2>/dev/null || rc=$?
check "VM watchdog gives 124" test "$rc" -eq 124

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
