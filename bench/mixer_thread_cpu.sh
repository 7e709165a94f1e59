#!/usr/bin/env bash
# The mixer thread's share of one core while xmplay plays a module on SDL's dummy driver:
# CPU time of the thread named wq-mixer (from /proc/PID/task/TID/schedstat) over a window.
#   bench/mixer_thread_cpu.sh [BUILD_DIR] [CHANNELS] [SECONDS]
set -euo pipefail
build=${1:-build}
channels=${2:-32}
seconds=${3:-20}
tmp=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$tmp"' EXIT

"$build/bin/make_module" "$tmp/song.xm" "$channels"
SDL_AUDIODRIVER=dummy "$build/bin/xmplay" "$tmp/song.xm" --seconds $((seconds + 2)) < /dev/null > /dev/null 2>&1 &
pid=$!
task=
for _ in $(seq 200); do
  task=$(grep -l '^wq-mixer$' /proc/$pid/task/*/comm 2>/dev/null | head -n 1 || true)
  [ -n "$task" ] && break
  sleep 0.05
done
[ -n "$task" ] || { echo "no mixer thread found" >&2; exit 1; }
task=$(dirname "$task")
before=$(cut -d' ' -f1 "$task/schedstat")
sleep "$seconds"
after=$(cut -d' ' -f1 "$task/schedstat")
wait "$pid" || true
pid=
awk -v ns=$((after - before)) -v s="$seconds" -v c="$channels" \
  'BEGIN { printf "mixer thread, %d channels: %.1f ms CPU in %d s = %.2f%% of a core\n", c, ns / 1e6, s, ns / (s * 1e9) * 100 }'
