#!/usr/bin/env bash
# Times xmrender against the other XM players installed here, each rendering the same
# 32-channel module to a 16-bit 44100 Hz stereo WAV file in one go (linear interpolation
# where the player offers it). The machine may be shared, so the measure is CPU time
# (user + system, best of three); each tool's speed is the audio it wrote divided by that,
# and the ratio is the peer's speed over xmrender's (below 1: xmrender is faster).
#   bench/compare_peers.sh [BUILD_DIR] [REPEATS]
set -euo pipefail
build=${1:-build}
repeats=${2:-10}
bin=$build/bin
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

"$bin/make_module" "$tmp/busy.xm" 32
# One pass of the song is 8.2 s of audio; every tool renders about `repeats` passes.
song_seconds=$(awk -v r="$repeats" 'BEGIN { printf "%.1f", 408 * 884 / 44100 * r }')

# Best of three CPU times (user + system) of a command, in seconds.
best_cpu() {
  local best= t
  for _ in 1 2 3; do
    t=$( { TIMEFORMAT='%U %S'; time "$@" > /dev/null 2>&1; } 2>&1 | awk '{ printf "%.3f", $1 + $2 }')
    if [ -z "$best" ] || awk -v t="$t" -v b="$best" 'BEGIN { exit !(t < b) }'; then best=$t; fi
  done
  echo "$best"
}

# Seconds of 44100 Hz 16-bit stereo audio in a WAV file (44-byte header assumed).
wav_seconds() { awk -v n="$(stat -c %s "$1")" 'BEGIN { printf "%.1f", (n - 44) / 176400 }'; }

report() {   # name cpu wav [reference speed]
  local speed
  speed=$(awk -v s="$(wav_seconds "$3")" -v t="$2" 'BEGIN { printf "%.0f", s / (t > 0 ? t : 0.001) }')
  printf '%-11s %7ss CPU for %6ss of audio: %5s x real time' "$1" "$2" "$(wav_seconds "$3")" "$speed"
  if [ -n "${4:-}" ]; then
    printf ', ratio to xmrender %s' "$(awk -v a="$speed" -v b="$4" 'BEGIN { printf "%.2f", a / b }')"
  fi
  printf '\n'
  last_speed=$speed
}

cpu=$(best_cpu "$bin/xmrender" "$tmp/busy.xm" "$tmp/ours.wav" --seconds "$song_seconds")
report xmrender "$cpu" "$tmp/ours.wav"
ours=$last_speed

if command -v xmp > /dev/null; then
  cpu=$(best_cpu xmp -q --norc -l -t "$song_seconds" -i linear -f 44100 -b 16 -o "$tmp/xmp.wav" "$tmp/busy.xm")
  report xmp "$cpu" "$tmp/xmp.wav" "$ours"
else
  echo "xmp         not installed"
fi
if command -v openmpt123 > /dev/null; then
  cp "$tmp/busy.xm" "$tmp/mpt.xm"
  cpu=$(best_cpu openmpt123 -q --render --force --no-float --samplerate 44100 --filter 2 \
    --repeat $((repeats - 1)) "$tmp/mpt.xm")
  report openmpt123 "$cpu" "$tmp/mpt.xm.wav" "$ours"
else
  echo "openmpt123  not installed"
fi
