#!/usr/bin/env bash
# xmrender: WAV layout, lengths, determinism, the once-through end and load failures.
set -euo pipefail
bin=${WQ_BIN_DIR:?}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$bin/make_module" "$tmp/busy.xm" 8

# Once through, twice: identical files. The song (68 rows of 5292 frames, a pattern loop
# included) comes back to order 0 row 0 in block 407.
"$bin/xmrender" "$tmp/busy.xm" "$tmp/a.wav" --positions "$tmp/a.pos"
"$bin/xmrender" "$tmp/busy.xm" "$tmp/b.wav"
cmp "$tmp/a.wav" "$tmp/b.wav" || fail "two renders differ"
[ "$(wc -l < "$tmp/a.pos")" -eq 408 ] || fail "once through should be 408 blocks"
[ "$(stat -c %s "$tmp/a.wav")" -eq $((44 + 408 * 3536)) ] || fail "WAV size"
[ "$(head -n 1 "$tmp/a.pos")" = "0 0 0" ] || fail "first position line: $(head -n 1 "$tmp/a.pos")"
[ "$(tail -n 1 "$tmp/a.pos")" = "407 0 0" ] || fail "last position line: $(tail -n 1 "$tmp/a.pos")"

# The canonical header: RIFF size, PCM, 2 channels, 44100 Hz, 176400 B/s, align 4, 16 bits.
header=$(od -An -v -tx1 -N44 "$tmp/a.wav" | tr -d ' \n')
data_bytes=$((408 * 3536))
le32() { printf '%02x%02x%02x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }
expected="52494646$(le32 $((36 + data_bytes)))57415645666d7420100000000100020044ac000010b1020004001000"
expected+="64617461$(le32 $data_bytes)"
[ "$header" = "$expected" ] || fail "header $header"

# Not silent.
[ "$(tail -c +45 "$tmp/a.wav" | tr -d '\000' | head -c 1 | wc -c)" -eq 1 ] || fail "render is silent"

# A fixed length is a prefix of the same stream; seconds round up to whole blocks.
"$bin/xmrender" "$tmp/busy.xm" "$tmp/c.wav" --blocks 5
[ "$(stat -c %s "$tmp/c.wav")" -eq $((44 + 5 * 3536)) ] || fail "--blocks 5 size"
cmp -n $((5 * 3536)) -i 44:44 "$tmp/a.wav" "$tmp/c.wav" || fail "--blocks 5 is not a prefix"
"$bin/xmrender" "$tmp/busy.xm" "$tmp/d.wav" --seconds 1
[ "$(stat -c %s "$tmp/d.wav")" -eq $((44 + 50 * 3536)) ] || fail "--seconds 1 size"
"$bin/xmrender" "$tmp/busy.xm" "$tmp/e.wav" --blocks 600
[ "$(stat -c %s "$tmp/e.wav")" -eq $((44 + 600 * 3536)) ] || fail "--blocks beyond the song's end"

# Files it cannot load: exit 1 with one line naming the reason.
printf 'hello, not a module at all' > "$tmp/text.xm"
set +e
"$bin/xmrender" "$tmp/text.xm" "$tmp/x.wav" 2> "$tmp/err1"; rc1=$?
"$bin/xmrender" "$tmp/missing.xm" "$tmp/x.wav" 2> "$tmp/err2"; rc2=$?
set -e
[ $rc1 -eq 1 ] && [ $rc2 -eq 1 ] || fail "exit codes $rc1 $rc2"
[ "$(wc -l < "$tmp/err1")" -eq 1 ] && grep -q "not an XM module" "$tmp/err1" || fail "$(cat "$tmp/err1")"
[ "$(wc -l < "$tmp/err2")" -eq 1 ] && grep -q "cannot open" "$tmp/err2" || fail "$(cat "$tmp/err2")"
echo ok
