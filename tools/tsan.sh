#!/usr/bin/env bash
# Builds every test with ThreadSanitizer in a folder of its own (build-tsan) and runs
# them all. JOBS limits the parallel compile and test jobs (default: all cores).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh test
BUILD=${BUILD_DIR:-build-tsan}
JOBS=${JOBS:-$(nproc)}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSUITE_TSAN=ON -DSUITE_SANITIZE=OFF -DSUITE_BENCH=OFF
cmake --build "$BUILD" -j "$JOBS"
cd "$BUILD"
ctest --output-on-failure -j "$JOBS"
