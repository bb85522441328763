#!/bin/bash
# The third-party host checks against the release build: installs the hosts
# (about 115 MB of packages), then runs every test labelled "hosts". A flaky
# host retries itself once inside its own script.
#   tests/hosts/run-all.sh
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
bash "$root/tests/hosts/install-deps.sh" --heavy || exit 1
ctest --test-dir "$root/build/linux-release" -L hosts --output-on-failure --timeout 300
