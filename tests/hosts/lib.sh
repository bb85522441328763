# Shared by the third-party host checks. Source it.

# Third-party hosts cannot load a sanitizer build unless its runtime comes
# first; leaks in the hosts themselves are not ours to report.
preload_sanitizer_runtime() {  # preload_sanitizer_runtime PLUGIN
    if [[ $(nm -D "$1" 2>/dev/null) == *__asan_init* ]]; then
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
