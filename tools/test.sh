#!/usr/bin/env bash
# Installs what the tests need, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh test
BUILD=${BUILD_DIR:-build-asan}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSUITE_SANITIZE=ON
cmake --build "$BUILD" -j "$(nproc)"
cd "$BUILD"
ctest --output-on-failure -j "$(nproc)"
