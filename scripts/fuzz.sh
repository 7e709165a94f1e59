#!/usr/bin/env bash
# Fuzzes the module loader and the player behind it for SECONDS seconds (default 60):
# builds the libFuzzer target with clang in build-fuzz, writes the seed corpus with the XM
# writer and runs. A crash leaves its input as build-fuzz/crash-* and fails the script.
set -euo pipefail
seconds=${1:-60}
cd "$(dirname "$0")/.."
build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DWQ_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target xm_load_fuzz xm_seeds -j"$(nproc)"
mkdir -p "$build/seeds" "$build/corpus"
"$build/bin/xm_seeds" "$build/seeds"
# New inputs go to corpus/, which persists between runs; seeds/ is rewritten each time.
"$build/bin/xm_load_fuzz" "$build/corpus" "$build/seeds" \
  -max_total_time="$seconds" -max_len=16384 -timeout=20 -rss_limit_mb=2560 \
  -artifact_prefix="$build/" -print_final_stats=1
