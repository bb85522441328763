#!/bin/bash
# Installs what tools/wine/wine64-run.sh needs (idempotent):
#   install-deps.sh         wine64
#   install-deps.sh --gui   and the X tools the editor checks use
#   install-deps.sh --32    and wine32:i386, which runs only inside the VM
#                           (tools/vm); the VM boots over this machine's root
#                           file system, so it is installed here
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../apt-lib.sh"

gui=(xvfb xauth imagemagick x11-apps x11-utils xdotool)

status=0
apt_need wine64 wine wine64 || status=1
for arg; do
    case $arg in
        --gui) apt_need gui "${gui[@]}" || status=1 ;;
        --32)
            apt_add_arch i386
            apt_need vm wine32:i386 || status=1
            ;;
        *) echo "install-deps.sh: unknown option $arg" >&2; exit 2 ;;
    esac
done
exit $status
