#!/bin/bash
# Run a job inside a qemu system VM that boots this machine's Debian kernel
# over this machine's root filesystem (read-only). This kernel runs 32-bit
# programs, so wine32 works in there (see tools/vm/wine32-run.sh).
#
#   run-in-vm.sh [--timeout SECONDS] [--copy DIR]... [--out DIR]...
#                [--env NAME=VALUE]... [--verbose] -- COMMAND...
#
#   --copy DIR  copy DIR into a tmpfs in the VM, at the same path; changes
#               made there are lost when the VM ends
#   --out DIR   share host DIR read-write at the same path (for artefacts;
#               created if missing)
#   --env N=V   set N in the job's environment (CI is passed on by itself)
#   --timeout S kill the VM after S seconds (default 900) and exit 124
#   --verbose   print boot and job timings
#
# COMMAND's words are joined with spaces and run by sh -c (as ssh does), in
# a chroot of the host root, with cwd = the current folder. Writable inside:
# /tmp, /var/tmp, /run, /dev/shm and the --copy/--out folders; HOME=/tmp/home.
# The job's stdout and stderr are streamed to ours; we exit with its status.
# 125 means the VM itself failed.
#
# Environment: LARKWIRE_VM_CACHE (default /var/cache/larkwire-vm) holds the
# initramfs and the wine32 prefix tarball; LARKWIRE_VM_KERNEL picks a kernel;
# LARKWIRE_VM_KEEP=1 keeps the work folder; LARKWIRE_VM_ROOT_CACHE sets the
# 9p cache mode of the host root (default cache=loose).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
me=${0##*/}
timeout=900
verbose=
copies=()
outs=()
envs=()

usage() {
    sed -n '6,23p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//' >&2
    exit 2
}
err() { echo "$me: $*" >&2; }

while [[ $# -gt 0 ]]; do
    case $1 in
        --timeout) timeout=${2:?}; shift 2 ;;
        --copy) copies+=("$(realpath -e -- "${2:?}")"); shift 2 ;;
        --out) mkdir -p -- "${2:?}"; outs+=("$(realpath -e -- "$2")"); shift 2 ;;
        --env) [[ ${2:?} == [A-Za-z_]*=* ]] || usage; envs+=("$2"); shift 2 ;;
        --verbose|-v) verbose=1; shift ;;
        --) shift; break ;;
        *) usage ;;
    esac
done
[[ $# -gt 0 && $timeout =~ ^[0-9]+$ ]] || usage
for d in "${copies[@]}" "${outs[@]}"; do
    if [[ $d == / ]]; then err "cannot copy or share /"; exit 2; fi
done

# POSIX single quotes, for files that the guest's dash reads.
sq() { printf "'%s'" "${1//\'/\'\\\'\'}"; }

# --- kernel and cache -------------------------------------------------------
if [[ -n ${LARKWIRE_VM_KERNEL:-} ]]; then
    kernel=$LARKWIRE_VM_KERNEL
else
    kernel=$(ls /boot/vmlinuz-* 2>/dev/null | sort -V | tail -n 1 || true)
fi
kver=${kernel##*/vmlinuz-}
moddir=/lib/modules/$kver
if [[ ! -r $kernel || ! -d $moddir ]]; then
    err "no Debian kernel with modules found; run tools/vm/install-deps.sh"
    exit 125
fi

cache=${LARKWIRE_VM_CACHE:-/var/cache/larkwire-vm}
if ! mkdir -p "$cache" 2>/dev/null || [[ ! -w $cache ]]; then
    cache=${XDG_CACHE_HOME:-$HOME/.cache}/larkwire-vm
    mkdir -p "$cache"
fi
cache=$(realpath "$cache")

# Modules in load order: each one's dependencies (from modules.dep) first.
modules_wanted=(virtio_pci 9pnet_virtio 9p veth)
declare -A mod_path=() mod_deps=() mod_done=()
while IFS=: read -r path deps; do
    name=${path##*/}; name=${name%%.ko*}; name=${name//-/_}
    mod_path[$name]=$path
    mod_deps[$name]=$deps
done <"$moddir/modules.dep"
mod_order=()
add_module() {
    local m=$1 d dn
    [[ -n ${mod_done[$m]:-} ]] && return
    if [[ -z ${mod_path[$m]:-} ]]; then
        grep -q "/$m.ko" "$moddir/modules.builtin" && return
        err "kernel module $m not found in $moddir"; exit 125
    fi
    for d in ${mod_deps[$m]}; do
        dn=${d##*/}; dn=${dn%%.ko*}; add_module "${dn//-/_}"
    done
    mod_done[$m]=1
    mod_order+=("$m")
}
for m in "${modules_wanted[@]}"; do add_module "$m"; done

# The initramfs is rebuilt only when the kernel, the module list, busybox or
# the init script change.
key=$( { echo "$kver ${mod_order[*]}"; stat -c %Y:%s /bin/busybox "$kernel";
         cat "$here/vm-init.sh"; } | sha256sum | cut -c1-16)
initrd=$cache/initramfs-$kver-$key.cpio.gz
build_initramfs() {
    local t m
    t=$(mktemp -d)
    mkdir -p "$t"/{bin,dev,proc,sys,work,lib/modules}
    cp /bin/busybox "$t/bin/busybox"
    cp "$here/vm-init.sh" "$t/init"
    chmod 755 "$t/init"
    for m in "${mod_order[@]}"; do
        case ${mod_path[$m]} in
            *.xz) xz -dc "$moddir/${mod_path[$m]}" ;;
            *.zst) zstd -qdc "$moddir/${mod_path[$m]}" ;;
            *) cat "$moddir/${mod_path[$m]}" ;;
        esac >"$t/lib/modules/$m.ko"
        echo "$m" >>"$t/modules.list"
    done
    (cd "$t" && find . | cpio -o -H newc --quiet) | gzip -1 >"$initrd.tmp.$$"
    rm -rf "$t"
    mv "$initrd.tmp.$$" "$initrd"
}
# The bzImage decompresses itself in about 7 s under TCG; an uncompressed
# vmlinux boots through qemu's PVH entry point at once. Extract it once.
vmlinux=$cache/vmlinux-$kver-$(stat -c %Y-%s "$kernel")
extract_vmlinux() {
    local magic tool off
    for magic in "xz:\xfd7zXZ\x00" "zstd:\x28\xb5\x2f\xfd" "gzip:\x1f\x8b\x08"; do
        tool=${magic%%:*}
        off=$(LC_ALL=C grep -obUaP -m1 "${magic#*:}" "$kernel" | head -n 1 | cut -d: -f1)
        [[ -n $off ]] || continue
        case $tool in
            xz) tail -c +$((off + 1)) "$kernel" | xz -dc --single-stream ;;
            zstd) tail -c +$((off + 1)) "$kernel" | zstd -qdc ;;
            gzip) tail -c +$((off + 1)) "$kernel" | gzip -dc ;;
        esac >"$vmlinux.tmp.$$" 2>/dev/null || true
        # XEN_ELFNOTE_PHYS32_ENTRY (18) marks a kernel that qemu can boot as PVH.
        if readelf -n "$vmlinux.tmp.$$" 2>/dev/null | grep -q '(0x00000012)'; then
            mv "$vmlinux.tmp.$$" "$vmlinux"
            return
        fi
    done
    rm -f "$vmlinux.tmp.$$"
    touch "$vmlinux.none"
}
if [[ ! -e $initrd || ( ! -e $vmlinux && ! -e $vmlinux.none ) ]]; then
    exec 8>"$cache/.build.lock"
    flock 8
    if [[ ! -e $initrd ]]; then
        [[ -x /bin/busybox ]] || { err "busybox missing; run tools/vm/install-deps.sh"; exit 125; }
        # Old images may still be in use by a VM that is starting up.
        find "$cache" -maxdepth 1 -name 'initramfs-*.cpio.gz' -mmin +60 -delete
        build_initramfs
    fi
    if [[ ! -e $vmlinux && ! -e $vmlinux.none ]]; then
        find "$cache" -maxdepth 1 -name 'vmlinux-*' -mmin +60 -delete
        extract_vmlinux
    fi
    exec 8>&-
fi
[[ -e $vmlinux ]] && kernel=$vmlinux

# --- the run's work folder --------------------------------------------------
work=$(mktemp -d "${TMPDIR:-/tmp}/larkwire-vm.XXXXXX")
qpid=
tails=()
cleanup() {
    if [[ -n $qpid ]]; then kill "$qpid" 2>/dev/null || true; fi
    for p in "${tails[@]}"; do kill "$p" 2>/dev/null || true; done
    if [[ -n ${LARKWIRE_VM_KEEP:-} ]]; then err "work folder kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

printf '%s\n' "$*" >"$work/job.sh"
{
    echo "export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"
    echo "export HOME=/tmp/home USER=root LOGNAME=root TMPDIR=/tmp TERM=dumb LANG=C.UTF-8"
    echo "export LARKWIRE_VM=1 LARKWIRE_VM_CACHE=/run/larkwire/cache"
    echo "export LARKWIRE_VM_CWD=$(sq "$PWD")"
    [[ -n ${CI:-} ]] && echo "export CI=$(sq "$CI")"
    for e in "${envs[@]}"; do echo "export ${e%%=*}=$(sq "${e#*=}")"; done
} >"$work/env"
# 3 GB of guest memory: the tmpfs may take most of it, wine needs the rest.
echo "TMP_SIZE=2200m" >"$work/vm.conf"
[[ -n ${LARKWIRE_VM_ROOT_CACHE:-} ]] && echo "ROOT_CACHE=$LARKWIRE_VM_ROOT_CACHE" >>"$work/vm.conf"

printf '%s\n' "${copies[@]}" | LC_ALL=C sort -u | sed '/^$/d' >"$work/copies.list"
if [[ -s $work/copies.list ]]; then
    sed 's|^/||' "$work/copies.list" | tar -C / -cf "$work/copies.tar" --files-from=-
fi
printf '%s\n' "${outs[@]}" | sed '/^$/d' >"$work/outs.list"
: >"$work/stdout"
: >"$work/stderr"

# --- qemu -------------------------------------------------------------------
qargs=()
# qemu options escape a comma in a value by doubling it.
p9() {
    qargs+=(-fsdev "local,id=$1,path=${2//,/,,},security_model=none,multidevs=remap$3"
            -device "virtio-9p-pci,fsdev=$1,mount_tag=$1")
}
p9 hostroot / ,readonly=on
p9 work "$work" ''
p9 cache "$cache" ''
i=0
for d in "${outs[@]}"; do p9 "out$i" "$d" ''; i=$((i + 1)); done

start=$(date +%s.%N)
# TCG makes every kernel entry costly; the VM holds no secrets, so the
# speculation mitigations (page-table isolation above all) are off.
timeout -k 5 "$timeout" qemu-system-x86_64 \
    -machine pc -accel tcg,thread=multi -cpu max,pku=off,smap=off -smp 2 -m 3072 \
    -nographic -no-reboot -nic none \
    -kernel "$kernel" -initrd "$initrd" \
    -append "console=ttyS0 quiet loglevel=3 panic=-1 mitigations=off" \
    "${qargs[@]}" </dev/null >"$work/console.log" 2>&1 &
qpid=$!
# Stream the job's output while it runs; tail stops once qemu has ended.
tail -q -n +1 -f --pid=$qpid "$work/stdout" & tails+=($!)
tail -q -n +1 -f --pid=$qpid "$work/stderr" >&2 & tails+=($!)
qrc=0
wait "$qpid" || qrc=$?
qpid=
wait "${tails[@]}" 2>/dev/null || true
tails=()
end=$(date +%s.%N)

if [[ -n $verbose && -e $work/timing ]]; then
    awk -v total="$(awk "BEGIN { print $end - $start }")" '
        $1 == "boot" { b = $2 } $1 == "job" { j = $2 }
        END { if (j) printf "run-in-vm: boot %.1f s, job %.1f s, total %.1f s\n", b, j - b, total
              else printf "run-in-vm: boot %.1f s, total %.1f s\n", b, total }' \
        "$work/timing" >&2
fi
if [[ -s $work/status ]]; then
    exit "$(cat "$work/status")"
fi
if [[ $qrc -eq 124 || $qrc -eq 137 ]]; then
    err "timed out after $timeout s"
    exit 124
fi
err "the VM ended without a job status (qemu exit $qrc)"
[[ -e $work/init-error ]] && cat "$work/init-error" >&2
tail -n 30 "$work/console.log" >&2
exit 125
