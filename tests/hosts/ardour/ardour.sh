# Headless Ardour 7 for the host checks: a private configuration, the
# plug-in in a private folder, and ardour7-lua runs judged by what they
# printed. Source it after tests/hosts/lib.sh.

ardour_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

ardour_missing() {  # prints why Ardour cannot run here; returns 1 if it can
    if ! command -v ardour7-lua >/dev/null || [[ ! -x /usr/lib/ardour7/ardour-vst-scanner ]]; then
        echo "Ardour 7 missing (tests/hosts/install-deps.sh --heavy)"
    elif ! command -v python3 >/dev/null; then
        echo "python3 missing"
    else
        return 1
    fi
}

# ardour_setup ROOT PLUGIN NS: a home under ROOT with the test scripts and
# the export format, and the plug-in scanned into Ardour's cache (the
# scanner loads it, so inside NS). Ardour ignores a cache entry that is not
# newer, in whole seconds, than the module, so the copy is dated back.
ardour_setup() {
    local root=$1 plugin=$2 ns=$3
    ARDOUR_HOME=$root/home
    mkdir -p "$ARDOUR_HOME/.config/ardour7/scripts" "$ARDOUR_HOME/.config/ardour7/export" "$root/vst"
    cp "$ardour_dir"/test_tone.lua "$ardour_dir"/test_notes.lua "$ardour_dir"/note_log.lua \
        "$ARDOUR_HOME/.config/ardour7/scripts/"
    cp "$ardour_dir"/float_wav.format "$ardour_dir"/float_wav.preset "$ARDOUR_HOME/.config/ardour7/export/"
    cp "$plugin" "$root/vst/larkwire.so"
    touch -d "@$(($(date +%s) - 2))" "$root/vst/larkwire.so"
    ARDOUR_ENV=(env HOME="$ARDOUR_HOME" XDG_CONFIG_HOME="$ARDOUR_HOME/.config"
                XDG_CACHE_HOME="$ARDOUR_HOME/.cache" LXVST_PATH="$root/vst" VST_PATH="$root/vst")
    ip netns exec "$ns" "${ARDOUR_ENV[@]}" LD_LIBRARY_PATH=/usr/lib/ardour7 \
        timeout 60 /usr/lib/ardour7/ardour-vst-scanner -f "$root/vst/larkwire.so" >"$root/scan.log" 2>&1
    grep -q "Found Plugin: .*Larkwire" "$root/scan.log"
}

# ardour_lua NS LOG MARKER SCRIPT ARGS...: runs a session script in NS.
# ardour7-lua dies now and then with a double free or a segmentation fault,
# in its export or at exit, even with no VST in the session (gdb shows
# ARDOUR::PortExportChannel's destructor freeing an invalid pointer). So
# success is the MARKER line the script prints once its work is done
# (line-buffered, so a later crash cannot take it), or, with ARDOUR_RENDER
# set to "FILE FRAMES", that file rendered whole after the session saved.
# A run with neither is tried once more, never again (ARDOUR_ATTEMPTS=1:
# not at all, for a caller that retries a larger step itself).
ardour_lua() {
    local ns=$1 log=$2 marker=$3
    shift 3
    local attempt render=(${ARDOUR_RENDER:-})
    for attempt in $(seq "${ARDOUR_ATTEMPTS:-2}"); do
        [[ ${#render[@]} -eq 2 ]] && rm -f "${render[0]}"
        ip netns exec "$ns" "${ARDOUR_ENV[@]}" timeout 180 stdbuf -oL ardour7-lua "$@" >"$log" 2>&1
        grep -q "$marker" "$log" && return 0
        if [[ ${#render[@]} -eq 2 ]] && grep -q '^saved: ' "$log" &&
            python3 "$ardour_dir/../wav_check.py" frames "${render[@]}" >/dev/null; then
            echo "-- ardour7-lua $(basename "$1") died after its render was whole; the render counts"
            return 0
        fi
        echo "-- ardour7-lua $(basename "$1"): no \"$marker\" (attempt $attempt); the log ends:"
        tail -5 "$log" | sed 's/^/   /'
    done
    return 1
}
