#!/usr/bin/env bash
# Installs what the suite needs, builds it, and starts the shell.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh run
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DSUITE_TESTS=OFF -DSUITE_BENCH=OFF
cmake --build build -j "$(nproc)"
exec build/bin/Quorvex "$@"
