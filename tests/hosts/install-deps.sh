#!/bin/bash
# Installs what the third-party host checks and the capture checks need, from
# Debian's archive (idempotent; see tools/apt-lib.sh):
#   install-deps.sh            Qtractor's scanner, the VST plug-ins, tshark
#   install-deps.sh --heavy    also Audacity and Ardour
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$root/tools/apt-lib.sh"

packages=(qtractor lsp-plugins-vst dpf-plugins-vst tshark tcpdump xvfb xauth iproute2)
if [[ ${1:-} == --heavy ]]; then
    packages+=(audacity ardour)
fi

# tshark asks whether non-root users may capture; answer before it asks.
if ! apt_installed tshark; then
    echo "wireshark-common wireshark-common/install-setuid boolean false" | debconf-set-selections
fi
apt_need hosts "${packages[@]}"
