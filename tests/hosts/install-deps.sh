#!/bin/bash
# Installs what the third-party host checks and the capture checks need, from
# Debian's archive. Idempotent: packages already present are left alone.
#   install-deps.sh            Qtractor's scanner, the VST plug-ins, tshark
#   install-deps.sh --heavy    also Audacity and Ardour (the opt-in hosts)
set -euo pipefail

packages=(qtractor lsp-plugins-vst dpf-plugins-vst tshark tcpdump xvfb xauth iproute2)
if [[ ${1:-} == --heavy ]]; then
    packages+=(audacity ardour)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

export DEBIAN_FRONTEND=noninteractive
# tshark asks whether non-root users may capture; answer before it asks.
echo "wireshark-common wireshark-common/install-setuid boolean false" | debconf-set-selections
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
