#!/bin/bash
# Install what tools/wine/wine64-run.sh and the GUI checks need (idempotent).
# wine32:i386 is here too: it runs only inside the VM (tools/vm), but the VM
# uses this machine's root filesystem, so it is installed on the host.
set -euo pipefail

pkgs=(wine wine64 wine32:i386 xvfb xauth imagemagick x11-apps x11-utils xdotool)

# Another apt run may hold the lock (e.g. one started at session start).
while pgrep -x apt-get >/dev/null || pgrep -x dpkg >/dev/null; do sleep 5; done

installed=$(dpkg-query -W -f='${Status}\n' "${pkgs[@]}" 2>/dev/null | grep -c '^install ok installed$' || true)
if [[ $installed -ne ${#pkgs[@]} ]]; then
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${pkgs[@]}"
fi
