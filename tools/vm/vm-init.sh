#!/bin/busybox sh
# PID 1 of the test VM (busybox sh, packed into the initramfs by run-in-vm.sh).
# Mounts the host's root (read-only) and the run's work share over virtio-9p,
# turns the host root into a usable chroot, runs the job there, stores its
# exit status in the work share and powers off. If this script dies, the
# kernel panics, and panic=-1 with qemu's -no-reboot ends the VM at once.
export PATH=/bin
/bin/busybox --install -s /bin
mount -t devtmpfs dev /dev
exec </dev/console >/dev/console 2>&1
mount -t proc proc /proc
mount -t sysfs sys /sys

log() { echo "larkwire-vm: $*"; }
uptime_s() { cut -d' ' -f1 /proc/uptime; }
die() {
    log "$*"
    [ -d /work/run ] && echo "$*" >/work/run/init-error
    sync
    poweroff -f
}

# Order comes from modules.dep (virtio_ring before virtio, and so on).
while read -r m; do
    insmod "/lib/modules/$m.ko" || die "insmod $m failed"
done </modules.list

P9=trans=virtio,version=9p2000.L,msize=512000
mkdir -p /work/run /host
mount -t 9p -o "$P9,cache=none" work /work/run || die "cannot mount the work share"
. /work/run/vm.conf
# The host root is only read: let the guest cache it.
mount -t 9p -o "$P9,ro,${ROOT_CACHE:-cache=loose}" hostroot /host || die "cannot mount the host root"

R=/host
mount -t proc proc $R/proc
mount -t sysfs sys $R/sys
mount -t devtmpfs dev $R/dev
mkdir -p $R/dev/pts $R/dev/shm
mount -t devpts -o gid=5,mode=620,ptmxmode=666 devpts $R/dev/pts
mount -t tmpfs -o mode=1777 shm $R/dev/shm
mount -t tmpfs -o "mode=1777,size=$TMP_SIZE" tmp $R/tmp
mount -t tmpfs -o mode=1777 vartmp $R/var/tmp
mount -t tmpfs -o mode=755 run $R/run
mkdir -p $R/run/lock $R/run/netns $R/run/larkwire/work $R/run/larkwire/cache $R/tmp/home
chmod 1777 $R/run/lock
mount --bind /work/run $R/run/larkwire/work
mount -t 9p -o "$P9,cache=none" cache $R/run/larkwire/cache || die "cannot mount the cache share"

echo "mounted $(uptime_s)" >/work/run/timing
# Build trees are copied into tmpfs: PE files over about 1 MB read back
# corrupted through 9p. Each copy is bound over its own path, parents first.
if [ -s /work/run/copies.list ]; then
    mkdir -p $R/tmp/.larkwire-copy
    chroot $R tar -xf /run/larkwire/work/copies.tar -C /tmp/.larkwire-copy \
        || die "cannot unpack the copied folders"
    while read -r d; do
        mkdir -p "$R$d" 2>/dev/null
        mount --bind "$R/tmp/.larkwire-copy$d" "$R$d" || die "cannot bind $d"
    done </work/run/copies.list
fi
rm -f /work/run/copies.tar

# --out folders: host folders shared read-write, at their own paths.
i=0
while read -r d; do
    [ -n "$d" ] || continue
    mkdir -p "$R$d" 2>/dev/null
    mount -t 9p -o "$P9,cache=none" "out$i" "$R$d" || die "cannot mount $d"
    i=$((i + 1))
done </work/run/outs.list

echo "boot $(uptime_s)" >>/work/run/timing
chroot $R /usr/bin/env -i /bin/sh -c \
    '. /run/larkwire/work/env && cd "$LARKWIRE_VM_CWD" && exec /bin/sh /run/larkwire/work/job.sh' \
    </dev/null >/work/run/stdout 2>/work/run/stderr
status=$?
echo "job $(uptime_s)" >>/work/run/timing
echo $status >/work/run/status.tmp && mv /work/run/status.tmp /work/run/status
sync
poweroff -f
