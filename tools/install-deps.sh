#!/bin/bash
# Installs everything the build and the tests need, from Debian's archive.
# Idempotent: packages already present are left alone.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

packages=(
    build-essential cmake ninja-build git python3 clang
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64
    libgtest-dev googletest libbenchmark-dev libsamplerate0-dev libspeexdsp-dev
    iproute2 procps util-linux
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
if [[ ${#missing[@]} -gt 0 ]]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
# Wine (64-bit, and 32-bit for the VM) and the VM itself.
bash "$here/wine/install-deps.sh"
bash "$here/vm/install-deps.sh"
