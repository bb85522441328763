#!/usr/bin/env bash
# Builds the release preset and runs every benchmark; the figures go into
# bench/README.md. Benchmarks are not tests: ctest never runs them.
#   bench/run.sh            everything (the namespace runs need root)
#   bench/run.sh blocks     only the in-process Google Benchmark cases
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset linux-release >/dev/null
cmake --build --preset linux-release -j"$(nproc)" --target larkwire_bench larkwire_ingest larkwire_slow_link larkwire larkwire-host
echo "machine: $(nproc) x $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
build/linux-release/bench/larkwire_bench --benchmark_min_time=1 --benchmark_repetitions=3 \
    --benchmark_report_aggregates_only=true
[ "${1:-all}" = blocks ] && exit 0
bench/ingest.sh build/linux-release
bench/latency.sh build/linux-release
bench/slow_link.sh build/linux-release
