# Shared by the third-party host checks. Source it.

# Third-party hosts cannot load a sanitizer build unless its runtime comes
# first; leaks in the hosts themselves are not ours to report.
is_sanitizer_build() { [[ $(nm -D "$1" 2>/dev/null) == *__asan_init* ]]; }

preload_sanitizer_runtime() {  # preload_sanitizer_runtime PLUGIN
    if is_sanitizer_build "$1"; then
        LD_PRELOAD=$(gcc -print-file-name=libasan.so)
        export LD_PRELOAD
        export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
        export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
    fi
}

# Hosts are flaky under a virtual display: a failed attempt is tried once more.
with_one_retry() {  # with_one_retry COMMAND...
    "$@" && return 0
    echo "-- first attempt failed; trying once more"
    "$@"
}

hosts_failures=0
check() {  # check DESCRIPTION COMMAND...
    if "${@:2}"; then echo "ok: $1"; else echo "FAIL: $1"; hosts_failures=$((hosts_failures + 1)); fi
}

# skip_unless_runnable MISSING_CHECK PLUGIN HOST: exits 77 (a skip) when
# MISSING_CHECK prints why HOST cannot run, when PLUGIN is a sanitizer build
# (Ardour hangs with that runtime, and the big hosts need the release build),
# or when network namespaces cannot be made. Needs tests/netns/lib.sh.
skip_unless_runnable() {
    local why
    why=$("$1") && { echo "SKIP: $why"; exit 77; }
    is_sanitizer_build "$2" &&
        { echo "SKIP: a sanitizer build; $3 needs the release build (build/linux-release)"; exit 77; }
    why=$(netns_usable) || { echo "SKIP: $why"; exit 77; }
}
