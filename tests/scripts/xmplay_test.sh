#!/usr/bin/env bash
# xmplay on SDL's disk audio driver: it plays what xmrender renders, ends by itself with
# --seconds and on SIGINT, with exit status 0.
set -euo pipefail
bin=${WQ_BIN_DIR:?}
tmp=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
export SDL_AUDIODRIVER=disk

"$bin/make_module" "$tmp/busy.xm" 8
"$bin/xmrender" "$tmp/busy.xm" "$tmp/ref.wav" --blocks 100

SDL_DISKAUDIOFILE="$tmp/out.raw" "$bin/xmplay" "$tmp/busy.xm" --seconds 2 < /dev/null > "$tmp/status" 2>/dev/null
grep -q "busy test module" "$tmp/status" || fail "status line: $(cat "$tmp/status")"
size=$(stat -c %s "$tmp/out.raw")
[ "$size" -gt 100000 ] || fail "only $size bytes played"

# The device's stream is the rendered stream, after whatever silence the driver puts first.
first_nonzero() { od -An -v -tu1 -w1 "$1" | awk -v skip="$2" '!found && NR > skip && $1 != 0 { print NR - 1; found = 1 }'; }
played=$(first_nonzero "$tmp/out.raw" 0)
rendered=$(first_nonzero "$tmp/ref.wav" 44)
[ -n "$played" ] || fail "the played audio is silent"
compare=$((size - played))
[ $compare -le $((100 * 3536)) ] || compare=$((100 * 3536))
cmp -n $((compare - 4)) -i "$played:$rendered" "$tmp/out.raw" "$tmp/ref.wav" || fail "played audio differs from the render"

# Ctrl-C: stops cleanly with status 0. Waits for audio to flow first (no fixed sleep).
SDL_DISKAUDIOFILE="$tmp/int.raw" "$bin/xmplay" "$tmp/busy.xm" < /dev/null > /dev/null 2>&1 &
pid=$!
for _ in $(seq 200); do
  [ -s "$tmp/int.raw" ] && break
  sleep 0.05
done
[ -s "$tmp/int.raw" ] || fail "no audio before SIGINT"
kill -INT "$pid"
rc=0
wait "$pid" || rc=$?
pid=
[ $rc -eq 0 ] || fail "exit status $rc after SIGINT"

# A file it cannot load: status 1.
rc=0
"$bin/xmplay" "$tmp/missing.xm" < /dev/null > /dev/null 2>&1 || rc=$?
[ $rc -eq 1 ] || fail "missing file gave status $rc"
echo ok
