#!/usr/bin/env bash
# Times xmrender against the other XM players installed here, each rendering the same
# module to a 16-bit 44100 Hz stereo WAV file in one go, with linear interpolation and no
# dithering, for the same length of audio. The machine may be shared, so the measure is
# CPU time (user + system, best of REPEATS runs); each tool's speed is the audio it wrote
# divided by that, and the ratio is xmrender's speed over the peer's (above 1: xmrender
# is faster). Long renders keep process start-up and loading out of the figures.
#   bench/compare_peers.sh [BUILD_DIR] [SECONDS] [REPEATS] [MODULE.xm ...]
# Without modules it renders the 32-channel test module. SECONDS must be whole seconds of 1
# or more: xmp takes a time below 1 as no limit and, looping, never stops.
set -euo pipefail
build=${1:-build}
seconds=${2:-120}
repeats=${3:-5}
case $seconds in ''|*[!0-9]*|0) echo "compare_peers.sh: SECONDS must be a whole number of 1 or more" >&2; exit 2;; esac
shift $(( $# < 3 ? $# : 3 ))
bin=$build/bin
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

modules=("$@")
if [ ${#modules[@]} -eq 0 ]; then
  "$bin/make_module" "$tmp/busy32.xm" 32
  modules=("$tmp/busy32.xm")
fi

# Best CPU time (user + system) of a command over `repeats` runs, in seconds.
best_cpu() {
  local best= t
  for _ in $(seq "$repeats"); do
    t=$( { TIMEFORMAT='%U %S'; time "$@" > /dev/null 2>&1; } 2>&1 | awk '{ printf "%.3f", $1 + $2 }')
    if [ -z "$best" ] || awk -v t="$t" -v b="$best" 'BEGIN { exit !(t < b) }'; then best=$t; fi
  done
  echo "$best"
}

# Seconds of 44100 Hz 16-bit stereo audio in a WAV file: the size of its data chunk.
wav_seconds() {
  python3 - "$1" <<'EOF'
import struct, sys
data = open(sys.argv[1], 'rb').read()
i = 12
while i + 8 <= len(data):
    tag, size = data[i:i + 4], struct.unpack('<I', data[i + 4:i + 8])[0]
    if tag == b'data':
        print('%.2f' % (min(size, len(data) - i - 8) / 176400))
        break
    i += 8 + size + (size & 1)
else:
    print('0')
EOF
}

report() {   # name cpu wav start-up-cpu [xmrender speed]
  local audio speed
  audio=$(wav_seconds "$3")
  speed=$(awk -v s="$audio" -v t="$2" 'BEGIN { printf "%.0f", s / (t > 0 ? t : 0.001) }')
  printf '  %-11s %7ss CPU for %7ss of audio (for 1 s: %ss): %5s x real time' \
    "$1" "$2" "$audio" "$4" "$speed"
  if [ -n "${5:-}" ]; then
    printf ', xmrender is %s x as fast' "$(awk -v a="$5" -v b="$speed" 'BEGIN { printf "%.2f", a / b }')"
  fi
  printf '\n'
  last_speed=$speed
}

# Each tool also renders 1 s, which shows its start-up, loading and writing costs.
ours() { "$bin/xmrender" "$module" "$tmp/ours.wav" --seconds "$1"; }
xmp_render() { xmp -q --norc -l -t "$1" -i linear -f 44100 -b 16 -o "$tmp/xmp.wav" "$module"; }
mpt_render() {
  openmpt123 -q --render --force --no-float --dither 0 --samplerate 44100 --filter 2 \
    --repeat -1 --end-time "$1" "$tmp/mpt.xm"
}

echo "CPU time, best of $repeats, $seconds s of audio each"
for module in "${modules[@]}"; do
  echo "$(basename "$module"):"
  short=$(best_cpu ours 1)
  cpu=$(best_cpu ours "$seconds")
  report xmrender "$cpu" "$tmp/ours.wav" "$short"
  speed=$last_speed

  if command -v xmp > /dev/null; then
    short=$(best_cpu xmp_render 1)
    cpu=$(best_cpu xmp_render "$seconds")
    report xmp "$cpu" "$tmp/xmp.wav" "$short" "$speed"
  else
    echo "  xmp         not installed"
  fi
  if command -v openmpt123 > /dev/null; then
    cp "$module" "$tmp/mpt.xm"
    short=$(best_cpu mpt_render 1)
    cpu=$(best_cpu mpt_render "$seconds")
    report openmpt123 "$cpu" "$tmp/mpt.xm.wav" "$short" "$speed"
  else
    echo "  openmpt123  not installed"
  fi
done
