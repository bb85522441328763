#!/bin/bash
# Install what tools/vm/run-in-vm.sh needs (idempotent): qemu, the Debian
# kernel it boots, busybox for the initramfs, and (through tools/wine) wine32
# and the X tools that jobs use inside the VM.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
pkgs=(qemu-system-x86 linux-image-amd64 busybox-static cpio)

while pgrep -x apt-get >/dev/null || pgrep -x dpkg >/dev/null; do sleep 5; done

installed=$(dpkg-query -W -f='${Status}\n' "${pkgs[@]}" 2>/dev/null | grep -c '^install ok installed$' || true)
if [[ $installed -ne ${#pkgs[@]} ]]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${pkgs[@]}"
fi
"$here/../wine/install-deps.sh"
