# shellcheck shell=bash
# Headless Audacity 3.2 for the host checks: a private home and configuration,
# the plug-in in a private folder, Xvfb and Audacity inside a network
# namespace, and commands through mod-script-pipe. Source it after
# tests/hosts/lib.sh.

audacity_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
audacity_module=/usr/lib/audacity/modules/mod-script-pipe.so
# A display number of its own: Xvfb runs inside the namespace, whose
# abstract X socket the root namespace's displays do not share.
audacity_display=:117
audacity_pid=

audacity_missing() {  # prints why Audacity cannot run here; returns 1 if it can
    if ! command -v audacity >/dev/null || [[ ! -e $audacity_module ]]; then
        echo "Audacity or its mod-script-pipe missing (tests/hosts/install-deps.sh --heavy)"
    elif ! command -v Xvfb >/dev/null; then
        echo "Xvfb missing"
    elif ! command -v python3 >/dev/null; then
        echo "python3 missing"
    # The script pipes have fixed names in /tmp: two Audacities would share them.
    elif pgrep -x -u "$(id -u)" audacity >/dev/null; then
        echo "another Audacity runs as this user; its script pipes would be shared"
    elif [[ -e /tmp/.X${audacity_display#:}-lock ]]; then
        echo "display $audacity_display is taken (/tmp/.X${audacity_display#:}-lock)"
    else
        return 1
    fi
}

audacity_pipes() { echo "/tmp/audacity_script_pipe.to.$(id -u) /tmp/audacity_script_pipe.from.$(id -u)"; }

# audacity_setup ROOT PLUGIN NS: a fresh home under ROOT whose configuration
# enables the script module and keeps projects in ROOT, the plug-in copied
# to ROOT/vst, and Xvfb started inside NS (netns_down ends it).
audacity_setup() {
    local root=$1 plugin=$2 ns=$3
    rm -rf "${root:?}/home" "$root/tmp" "$root/vst"
    mkdir -p "$root/home/.config/audacity" "$root/tmp" "$root/vst"
    cp "$plugin" "$root/vst/larkwire.so"
    AUDACITY_CFG=$root/home/.config/audacity/audacity.cfg
    AUDACITY_ENV=(env HOME="$root/home" XDG_CONFIG_HOME="$root/home/.config"
                  XDG_DATA_HOME="$root/home/.local/share" XDG_CACHE_HOME="$root/home/.cache"
                  XDG_STATE_HOME="$root/home/.local/state" VST_PATH="$root/vst"
                  DISPLAY="$audacity_display" NO_AT_BRIDGE=1)
    # A module is loaded only when the configuration names its path and its
    # file's modification time; otherwise it is "new" and left disabled.
    python3 "$audacity_dir/audacity_cfg.py" "$AUDACITY_CFG" \
        "/Directories/TempDir=$root/tmp" \
        "/Module/mod-script-pipe=1" \
        "/ModulePath/mod-script-pipe=$audacity_module" \
        "/ModuleDateTime/mod-script-pipe=$(date -r "$audacity_module" +%Y-%m-%dT%H:%M:%S)" || return 1
    if ! pgrep -f "Xvfb $audacity_display( |$)" >/dev/null; then
        ip netns exec "$ns" Xvfb "$audacity_display" -nolisten tcp -screen 0 1280x1024x24 \
            >"$root/xvfb.log" 2>&1 &
        local _
        for _ in $(seq 50); do
            [[ -e /tmp/.X11-unix/X${audacity_display#:} ]] && return 0
            sleep 0.1
        done
        echo "Xvfb did not start:"; cat "$root/xvfb.log"
        return 1
    fi
}

audacity_start() {  # audacity_start NS LOG: Audacity in the background
    # shellcheck disable=SC2046
    rm -f $(audacity_pipes)
    ip netns exec "$1" "${AUDACITY_ENV[@]}" timeout 120 audacity >"$2" 2>&1 &
    audacity_pid=$!
}

audacity_stop() {  # ends the Audacity that audacity_start started
    [[ -n $audacity_pid ]] || return 0
    # There is nothing to save: no prompt to answer, just end it.
    kill "$audacity_pid" 2>/dev/null
    # timeout passes the signal on to Audacity; give it a moment.
    local _
    for _ in $(seq 50); do
        kill -0 "$audacity_pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$audacity_pid" 2>/dev/null
    wait "$audacity_pid" 2>/dev/null
    audacity_pid=
    # shellcheck disable=SC2046
    rm -f $(audacity_pipes)
}

# audacity_register ROOT NS: the first start finds and registers the
# plug-in (in a child process, which leaves the script pipe unanswered);
# it ends once the registry lists the plug-in.
audacity_register() {
    local root=$1 ns=$2 _
    local registry=$root/home/.config/audacity/pluginregistry.cfg
    audacity_start "$ns" "$root/first-start.log"
    for _ in $(seq 600); do
        grep -q "^Path=$root/vst/larkwire.so" "$registry" 2>/dev/null && break
        kill -0 "$audacity_pid" 2>/dev/null || break
        sleep 0.1
    done
    # The registry is written in one go; a moment more lets the rest settle.
    sleep 1
    audacity_stop
    grep -q "^Path=$root/vst/larkwire.so" "$registry" 2>/dev/null ||
        { echo "the first start did not register the plug-in"; tail -5 "$root/first-start.log"; return 1; }
    sed -n '/^Path=.*larkwire.so/,/^\[/{/^\(Name\|Valid\|Enabled\|EffectType\|EffectRealtime\)=/p}' "$registry" |
        sed 's/^/registry: /'
}

# audacity_open ROOT NS: the second start, with no welcome screen, no
# recovery offer and float WAV export; returns once the pipe answers.
audacity_open() {
    local root=$1 ns=$2 _
    # 0x10000 is a WAV header, 6 its 32-bit float encoding.
    python3 "$audacity_dir/audacity_cfg.py" "$AUDACITY_CFG" \
        "/GUI/ShowSplashScreen=0" \
        "/FileFormats/ExportFormat_SF1=65536" \
        "/FileFormats/ExportFormat_SF1_Type/WAV_10000=6" || return 1
    rm -rf "${root:?}/tmp"/*
    audacity_start "$ns" "$root/second-start.log"
    for _ in $(seq 300); do
        [[ -p /tmp/audacity_script_pipe.to.$(id -u) ]] && break
        kill -0 "$audacity_pid" 2>/dev/null || break
        sleep 0.1
    done
    # The pipe appears before Audacity serves it: a command sent in its
    # first seconds goes unanswered for good, while the next connection is
    # served. So ask briefly, again, until an answer comes.
    local tries
    for tries in $(seq 10); do
        kill -0 "$audacity_pid" 2>/dev/null || break
        if python3 "$audacity_dir/script_pipe.py" 3 'GetInfo: Type=Tracks Format=Brief' >"$root/probe.log"; then
            echo "the pipe answered at try $tries"
            return 0
        fi
    done
    echo "the script pipe does not answer:"
    cat "$root/probe.log"
    grep -v -e '^$' -e Gdk-CRITICAL "$root/second-start.log" | tail -5
    return 1
}
