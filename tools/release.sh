#!/bin/bash
# Builds the release archives:
#   dist/larkwire-VERSION-windows.zip   the 32-bit and 64-bit plug-ins, each in
#                                       its own folder with its thumb bitmaps,
#                                       and the Windows monitor and host
#   dist/larkwire-VERSION-linux.tar.gz  the Linux plug-in and command-line tools
# VERSION is project(VERSION) in CMakeLists.txt.
#   release.sh [--no-build]    --no-build packs what build/<preset>/ holds
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

build=1
[[ ${1:-} == --no-build ]] && build=0

version=$(sed -n 's/^project(larkwire VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[[ -n $version ]] || { echo "release: no project(VERSION) in CMakeLists.txt" >&2; exit 1; }

presets=(mingw-i686 mingw-x86_64 linux-release)
if [[ $build == 1 ]]; then
    for p in "${presets[@]}"; do
        cmake --preset "$p" >/dev/null
        cmake --build --preset "$p" -j2 --target larkwire larkwire-monitor larkwire-host
    done
fi

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
need() {  # need FILE: stop when a built file is missing
    [[ -f $1 ]] || { echo "release: $1 is missing; build it first" >&2; exit 1; }
}
# The file says which machine a DLL is for; a 64-bit DAW loads only a 64-bit one.
check_arch() {  # check_arch FILE EXPECTED-FORMAT
    local format
    format=$(objdump -f "$1" | sed -n 's/.*file format \(.*\)/\1/p')
    [[ $format == "$2" ]] || { echo "release: $1 is $format, not $2" >&2; exit 1; }
}

win=$stage/larkwire-$version-windows
for pair in "mingw-i686:32-bit:pei-i386" "mingw-x86_64:64-bit:pei-x86-64"; do
    IFS=: read -r preset folder format <<<"$pair"
    from=build/$preset
    mkdir -p "$win/$folder" "$win/tools/$folder"
    need "$from/larkwire.dll"
    check_arch "$from/larkwire.dll" "$format"
    cp "$from/larkwire.dll" "$win/$folder/"
    # The editor's fader thumbs lie beside the module it loads them from.
    for bmp in tovani_vslider.bmp tovani_hslider.bmp; do
        if [[ -f $from/$bmp ]]; then cp "$from/$bmp" "$win/$folder/"; else
            echo "release: note: $from/$bmp not built; the editor draws plain thumbs" >&2; fi
    done
    for exe in monitor/larkwire-monitor.exe larkwire-host.exe; do
        need "$from/tools/$exe"
        check_arch "$from/tools/$exe" "$format"
        cp "$from/tools/$exe" "$win/tools/$folder/"
    done
done
docs=(docs/user-guide.md docs/editor.png tools/wireshark/larkwire.lua)
for f in "${docs[@]}"; do [[ -f $f ]] && cp "$f" "$win/"; done

lin=$stage/larkwire-$version-linux
mkdir -p "$lin/bin"
need build/linux-release/larkwire.so
cp build/linux-release/larkwire.so "$lin/"
for exe in monitor/larkwire-monitor larkwire-host larkwire-probe; do
    need "build/linux-release/tools/$exe"
    cp "build/linux-release/tools/$exe" "$lin/bin/"
done
for f in "${docs[@]}"; do [[ -f $f ]] && cp "$f" "$lin/"; done

mkdir -p dist
rm -f "dist/larkwire-$version-windows.zip" "dist/larkwire-$version-linux.tar.gz"
(cd "$stage" && zip -q -X -r "$root/dist/larkwire-$version-windows.zip" "larkwire-$version-windows")
tar -C "$stage" --owner=0 --group=0 --sort=name -czf "dist/larkwire-$version-linux.tar.gz" \
    "larkwire-$version-linux"

unzip -l "dist/larkwire-$version-windows.zip" | awk 'NR > 3 && $4 != "" { print $4 }' | grep -v '/$'
tar -tzf "dist/larkwire-$version-linux.tar.gz" | grep -v '/$'
ls -l dist/larkwire-"$version"-*
