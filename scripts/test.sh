#!/usr/bin/env bash
# Builds and runs every test: the normal build, then the AddressSanitizer/UBSan build,
# then the thread tests under ThreadSanitizer and a short fuzzing run.
#   FUZZ_SECONDS (default 60) sets the length of the fuzzing run; 0 skips it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

# Real songs for the integration tests, fetched from Debian's game data packages when the
# team's shared folder is beside the checkout (as on our machines and in CI).
fetch=../shared/real-modules/get.sh
if [ -z "${WQ_REAL_MODULES:-}" ] && [ -f "$fetch" ]; then
  if bash "$fetch" build-real-modules; then
    export WQ_REAL_MODULES=$PWD/build-real-modules
  fi
fi

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

fuzz_seconds=${FUZZ_SECONDS:-60}
if [ "$fuzz_seconds" -gt 0 ]; then
  scripts/fuzz.sh "$fuzz_seconds"
fi
