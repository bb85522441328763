#!/bin/bash
# Installs what tools/vm/run-in-vm.sh needs (idempotent): qemu, the Debian
# kernel it boots, busybox for the initramfs, and (through tools/wine) wine32
# and the X tools that jobs use inside the VM.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../apt-lib.sh"

status=0
apt_need vm qemu-system-x86 linux-image-amd64 busybox-static cpio || status=1
bash "$here/../wine/install-deps.sh" --gui --32 || status=1
exit $status
