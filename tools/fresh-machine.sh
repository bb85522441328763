#!/bin/bash
# Runs the two README commands as a new user would: from a clean clone of this
# checkout's HEAD, in a throw-away Debian 12 root file system (debootstrap into
# a temporary folder, with /proc, /sys and /dev mounted for the namespaces and
# the VM). Finds an install step that is missing before a user does. Opt-in:
# it downloads about a gigabyte. Needs root.
#
#   fresh-machine.sh [--main-only] [--keep]
#
#   --main-only  run only tools/main-job.sh
#   --keep       leave the root file system in place (its path is printed)
#
# Environment: LARKWIRE_FRESH_DIR (default /var/tmp) holds the temporary root;
# LARKWIRE_FRESH_MIRROR (default http://deb.debian.org/debian) is the archive;
# LARKWIRE_FRESH_DISPLAY (default :97) is the X display the test command uses
# inside (the X socket namespace is this machine's, so it must be free here).
# The logs and the times stay in build/fresh-machine/ of this checkout.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/.." && pwd)
source "$here/apt-lib.sh"

main_only=
keep=
for arg; do
    case $arg in
        --main-only) main_only=1 ;;
        --keep) keep=1 ;;
        -h|--help) sed -n '2,18p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "fresh-machine.sh: unknown option $arg (see --help)" >&2; exit 2 ;;
    esac
done
if [[ $(id -u) -ne 0 ]]; then
    echo "fresh-machine.sh: run as root (debootstrap, chroot, mounts)" >&2
    exit 1
fi
mirror=${LARKWIRE_FRESH_MIRROR:-http://deb.debian.org/debian}
display=${LARKWIRE_FRESH_DISPLAY:-:97}
out=$repo/build/fresh-machine
mkdir -p "$out"
apt_need fresh debootstrap || exit 1

target=$(mktemp -d "${LARKWIRE_FRESH_DIR:-/var/tmp}/larkwire-fresh.XXXXXX")
# Processes the commands left behind (an X server, a wine server) keep the
# mounts busy; they are ours, found by their root directory.
stop_inside() {
    local p
    for p in /proc/[0-9]*; do
        [[ $(readlink "$p/root" 2>/dev/null) == "$target" ]] && kill -9 "${p#/proc/}" 2>/dev/null
    done
    return 0
}
cleanup() {
    trap - EXIT INT TERM
    stop_inside
    sleep 1
    umount -R -l "$target" 2>/dev/null || true
    if [[ -n $keep ]]; then
        echo "fresh-machine: root kept at $target (mounts removed)"
    elif grep -q " $target[/ ]" /proc/self/mountinfo; then
        echo "fresh-machine: $target still has mounts; not removing it" >&2
    else
        echo "fresh-machine: removing $target"
        # --one-file-system: never follow into anything still mounted.
        rm -rf --one-file-system "$target"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

t0=$SECONDS
stamp() { printf '%s\t%s s\n' "$1" "$2" | tee -a "$out/times"; }
: >"$out/times"
echo "=== debootstrap of Debian 12 into $target (log: $out/debootstrap.log)"
debootstrap --variant=minbase bookworm "$target" "$mirror" >"$out/debootstrap.log" 2>&1 ||
    { tail -20 "$out/debootstrap.log"; exit 1; }
stamp debootstrap $((SECONDS - t0))

# The sources of a fresh install: the release, its updates and security.
security=${mirror%/debian}/debian-security
[[ $security != "$mirror" ]] || security=http://deb.debian.org/debian-security
rm -f "$target/etc/apt/sources.list"
cat >"$target/etc/apt/sources.list.d/debian.sources" <<EOF
Types: deb
URIs: $mirror
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: $security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
cp /etc/resolv.conf "$target/etc/resolv.conf"
# The root of a real machine is a mount point; ip netns exec relies on that.
mount --bind "$target" "$target"
mount -t proc proc "$target/proc"
mount -t sysfs sysfs "$target/sys"
mount --rbind /dev "$target/dev"
# An unmount here must never reach this machine's own /dev.
mount --make-rslave "$target/dev"
mount -t tmpfs tmpfs "$target/run"
git clone -q "$repo" "$target/root/larkwire"
echo "clean clone of $(git -C "$target/root/larkwire" log --oneline -1)"

# COMMAND, run in the clone as root with a bare environment; its output is
# shown and kept in LOG.
inside() {
    local log=$1
    shift
    chroot "$target" /usr/bin/env -i HOME=/root TERM=dumb LANG=C.UTF-8 \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        LARKWIRE_DISPLAY="$display" \
        bash -c "cd /root/larkwire && $*" 2>&1 | tee "$log"
    return "${PIPESTATUS[0]}"
}

status=0
t=$SECONDS
echo "=== bash tools/main-job.sh (log: $out/main-job.log)"
inside "$out/main-job.log" bash tools/main-job.sh || status=1
stamp "main job (exit $status)" $((SECONDS - t))
if [[ -z $main_only ]]; then
    t=$SECONDS
    echo "=== bash tools/test-all.sh (log: $out/test-all.log)"
    rc=0
    inside "$out/test-all.log" bash tools/test-all.sh || rc=$?
    stamp "test command (exit $rc)" $((SECONDS - t))
    [[ $rc -eq 0 ]] || status=1
fi
stamp total $((SECONDS - t0))
echo "fresh-machine: $([[ $status -eq 0 ]] && echo passed || echo FAILED); times in $out/times"
exit $status
