# shellcheck shell=bash
# apt-get for the install scripts, made to survive a flaky mirror. Source it,
# then: apt_need GROUP PACKAGE...
#
# Debian's mirrors are sometimes caught mid-sync: one index fails ("File has
# unexpected size ... Mirror sync in progress?") while every other package
# still installs. So an update is retried and then trusted as far as it got,
# an install is retried once after a fresh update, and a package that still
# cannot be had is named on one line and recorded in build/unavailable-packages
# (package, group, reason; tab-separated), where tools/test-all.sh finds it and
# skips just the suites of that group.

apt_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
apt_state=${LARKWIRE_APT_STATE:-$apt_root/build}
apt_unavailable=$apt_state/unavailable-packages
apt_tries=${LARKWIRE_APT_TRIES:-3}
apt_pause=${LARKWIRE_APT_PAUSE:-15}
# apt waits for a lock another apt run holds instead of failing at once.
apt_opts=(-q -o DPkg::Lock::Timeout=600)

apt_say() { echo "install-deps: $*" >&2; }

apt_installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'ok installed'
}

# Updates the indexes unless a run in the last ten minutes did (the install
# scripts call each other); --force updates once more, for the retry of an
# install. A failed index is not fatal: apt keeps the ones that arrived, and
# the install says what is missing.
apt_update() {
    local log=$apt_state/apt-update.log try tries=$apt_tries
    mkdir -p "$apt_state"
    if [[ ${1:-} == --force ]]; then
        tries=1
    elif [[ -f $log ]] && (( $(date +%s) - $(stat -c %Y "$log") < 600 )); then
        return 0
    fi
    for ((try = 1; try <= tries; try++)); do
        if apt-get update "${apt_opts[@]}" >"$log" 2>&1; then
            return 0
        fi
        apt_say "apt-get update failed (try $try of $tries): $(apt_fetch_errors "$log" | head -1)"
        ((try < tries)) && sleep "$apt_pause"
    done
    apt_say "going on with the package indexes that did download"
}

# "SUITE/COMPONENT/binary-ARCH did not download: why" for each index the last update missed.
apt_fetch_errors() {
    grep '^E: Failed to fetch' "${1:-$apt_state/apt-update.log}" 2>/dev/null |
        sed -E 's#^E: Failed to fetch [^ ]*/dists/([^ ]*)/(binary-[a-z0-9]+|source)/[^ ]*  *#\1/\2 did not download: #;
                s#^E: Failed to fetch ##; s# \[IP: [^]]*\]##'
}

# One line on why PACKAGE did not install, from apt's output in LOG; an index
# of the package's architecture that did not download is the likely cause.
apt_reason() {
    local package=$1 log=$2 reason arch=amd64 index
    [[ $package == *:* ]] && arch=${package##*:}
    index=$(apt_fetch_errors | grep -m1 "/binary-$arch ")
    reason=$(grep -m1 -E "^E: (Unable to locate package|Package .* has no installation candidate|Failed to fetch|Version)" "$log")
    reason=${reason#E: }
    if [[ -z $reason ]] && grep -q ' : Depends: ' "$log"; then
        reason="unmet dependencies"
        [[ -n $index ]] || reason+=": $(grep -m1 ' : Depends: ' "$log" | sed -E 's/^ +//; s/ +/ /g')"
    fi
    [[ -n $reason ]] || reason=$(grep -m1 '^E: ' "$log" | sed 's/^E: //')
    reason=${reason:-apt-get failed}
    [[ -z $index ]] || reason+="; index $index"
    echo "$reason"
}

# A new architecture has no indexes yet: the next update must run.
apt_add_arch() {
    dpkg --print-foreign-architectures | grep -qx "$1" && return 0
    dpkg --add-architecture "$1"
    rm -f "$apt_state/apt-update.log"
}

apt_record() {  # PACKAGE GROUP [REASON]: with no reason, forget PACKAGE
    local file=$apt_unavailable
    mkdir -p "$apt_state"
    if [[ -f $file ]]; then
        awk -F'\t' -v p="$1" '$1 != p' "$file" >"$file.new" && mv "$file.new" "$file"
    fi
    [[ -z ${3:-} ]] || printf '%s\t%s\t%s\n' "$1" "$2" "$3" >>"$file"
}

apt_install() {  # LOG PACKAGE...
    local log=$1
    shift
    apt-get install -y "${apt_opts[@]}" --no-install-recommends "$@" 2>&1 | tee "$log"
    return "${PIPESTATUS[0]}"
}

# Installs the PACKAGEs of GROUP that are missing. Returns 1 when one could not
# be had; each such package is named (and recorded) with apt's reason.
apt_need() {
    local group=$1 p missing=() ok=() log=$apt_state/apt-install.log
    shift
    for p; do
        if apt_installed "$p"; then apt_record "$p" "$group"; else missing+=("$p"); fi
    done
    [[ ${#missing[@]} -gt 0 ]] || return 0
    mkdir -p "$apt_state"
    export DEBIAN_FRONTEND=noninteractive
    apt_say "$group: installing ${missing[*]}"
    apt_update
    apt_install "$log" "${missing[@]}" && return 0
    apt_say "$group: the install failed; updating the indexes and trying once more"
    apt_update --force
    apt_install "$log" "${missing[@]}" >/dev/null && return 0
    # Sort the packages that can be had from those that cannot, one by one.
    for p in "${missing[@]}"; do
        if apt-get install -s "${apt_opts[@]}" --no-install-recommends "$p" >"$log" 2>&1; then
            ok+=("$p")
        else
            apt_record "$p" "$group" "$(apt_reason "$p" "$log")"
        fi
    done
    [[ ${#ok[@]} -eq 0 ]] || apt_install "$log" "${ok[@]}" >/dev/null || true
    local status=0
    for p in "${missing[@]}"; do
        if apt_installed "$p"; then
            apt_record "$p" "$group"
            continue
        fi
        grep -q "^$p	" "$apt_unavailable" 2>/dev/null || apt_record "$p" "$group" "$(apt_reason "$p" "$log")"
        apt_say "$p could not be installed ($(awk -F'\t' -v p="$p" '$1 == p { print $3 }' "$apt_unavailable"))"
        status=1
    done
    return $status
}
