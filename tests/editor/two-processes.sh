#!/bin/bash
# Runs a GUI test as two processes in a row, the second finding what the
# first left behind.  two-processes.sh RUNNER PROGRAM.exe [ARGS...]
set -euo pipefail
runner=$1
shift
for step in 1 2; do
    "$runner" "$@" --persistence-step=$step
done
