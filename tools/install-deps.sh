#!/bin/bash
# Installs what the build and the tests need, from Debian's archive, in groups:
#   install-deps.sh                 everything tools/test-all.sh runs
#   install-deps.sh --main          what tools/main-job.sh runs: the compilers,
#                                   wine64 and the network tools
#   install-deps.sh --main --win32  and the VM with wine32, for demo.sh --win32
# Idempotent. A package that cannot be had is named and recorded (see
# tools/apt-lib.sh); the other groups still install, and the exit status is 1.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/apt-lib.sh"

build=(
    build-essential cmake ninja-build git python3
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64
    libgtest-dev googletest libbenchmark-dev libsamplerate0-dev libspeexdsp-dev
    libx11-dev libxft-dev fonts-dejavu-core xvfb xdotool imagemagick
)
net=(iproute2 procps util-linux)
# The fuzzers and ThreadSanitizer: their runtimes are only recommended by clang.
clang=(clang libclang-rt-14-dev)

main=
win32=
for arg; do
    case $arg in
        --main) main=1 ;;
        --win32) win32=1 ;;
        *) echo "install-deps.sh: unknown option $arg" >&2; exit 2 ;;
    esac
done

status=0
apt_need build "${build[@]}" || status=1
apt_need net "${net[@]}" || status=1
if [[ -n $main ]]; then
    bash "$here/wine/install-deps.sh" || status=1
    [[ -z $win32 ]] || bash "$here/vm/install-deps.sh" || status=1
else
    apt_need clang "${clang[@]}" || status=1
    bash "$here/wine/install-deps.sh" --gui || status=1
    bash "$here/vm/install-deps.sh" || status=1
    bash "$here/../tests/hosts/install-deps.sh" --heavy || status=1
fi
exit $status
