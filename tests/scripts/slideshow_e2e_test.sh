#!/usr/bin/env bash
# The slideshow program end to end, on a private Xvfb with Mesa's software GL and SDL's disk
# audio driver: a run that ends by itself at order 10 row 31 with a picture on the screen
# and sound in the audio file, a run ended by Escape, and the two start-up messages.
set -euo pipefail

bin=${WQ_BIN_DIR:?WQ_BIN_DIR must name the folder of the built programs}
for tool in Xvfb xdotool import xwininfo; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed (scripts/install-deps.sh)"; exit 1; }
done
for program in slideshow make_show; do
  [ -x "$bin/$program" ] || { echo "FAIL: $bin/$program is not built"; exit 1; }
done

work=$(mktemp -d)
xvfb_pid=""
show_pid=""
cleanup() {
  [ -n "$show_pid" ] && kill "$show_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*"
  exit 1
}

# wait_until SECONDS COMMAND...: polls the command every 0.1 s until it succeeds.
wait_until() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@" >/dev/null 2>&1; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

# Xvfb chooses a free display number itself and writes it to fd 3 once it accepts clients.
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
wait_until 20 test -s "$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(head -n1 "$work/display")"
export SDL_AUDIODRIVER=disk
# Mesa and Xlib keep allocations until exit by design; only the slideshow's own faults count.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

# start_show DIR: runs the slideshow in DIR, its sound going to DIR/audio.raw.
start_show() {
  (cd "$1" && SDL_DISKAUDIOFILE="$1/audio.raw" exec "$bin/slideshow" >"$1/out.log" 2>&1) &
  show_pid=$!
}

# finish_show SECONDS: waits for the slideshow to end by itself, then checks exit status 0.
finish_show() {
  if ! wait_until "$1" bash -c "! kill -0 $show_pid"; then
    kill "$show_pid" 2>/dev/null || true
    fail "the slideshow did not end within $1 s"
  fi
  local status=0
  wait "$show_pid" || status=$?
  show_pid=""
  [ "$status" -eq 0 ] || fail "the slideshow exited with status $status"
}

# A picture of the pack must fill the screen upright; the first frames may still be black.
screen_shows_picture() {
  kill -0 "$show_pid" || return 2
  import -window root -depth 8 "ppm:$work/shot.ppm" && "$bin/make_show" check "$work/shot.ppm" >"$work/check.log"
}

expect_picture() {
  if ! wait_until 20 screen_shows_picture; then
    "$bin/make_show" check "$work/shot.ppm" || true
    fail "$1: no picture of the pack seen on the screen"
  fi
  echo "$1: $(cat "$work/check.log") on the screen"
}

# The start-up failures show a box titled ERROR with no presentation window; Return
# dismisses it and the program ends with status 0.
# The box window exists a moment before it is mapped; focus needs it mapped.
error_box_viewable() {
  xwininfo -name ERROR | grep -q IsViewable
}

expect_error_box() {
  wait_until 15 error_box_viewable || fail "$1: no ERROR window"
  local wid
  wid=$(xwininfo -name ERROR | awk '/Window id:/ {print $4; exit}')
  xdotool windowfocus --sync "$wid"
  xdotool key Return
  finish_show 15
  echo "$1: ERROR box shown and dismissed, exit status 0"
}

# 1. The song reaches order 10 row 31 after a few seconds and the show ends by itself.
mkdir "$work/ends"
"$bin/make_show" write "$work/ends"
start_show "$work/ends"
expect_picture "song to the end"
finish_show 40
[ -s "$work/ends/audio.raw" ] || fail "no audio was written"
[ -n "$(tr -d '\0' <"$work/ends/audio.raw" | head -c 1)" ] || fail "the audio is silent"
echo "song to the end: exit status 0, $(stat -c %s "$work/ends/audio.raw") bytes of sound"

# 2. A song that never reaches the end position: Escape ends the show.
mkdir "$work/escape"
"$bin/make_show" write "$work/escape" endless
start_show "$work/escape"
expect_picture "Escape"
xdotool key Escape
finish_show 15
echo "Escape: exit status 0"

# 3. and 4. No image pack; no song.
mkdir "$work/no_pack" "$work/no_song"
"$bin/make_show" write "$work/no_pack"
rm "$work/no_pack/wq.dat"
start_show "$work/no_pack"
expect_error_box "no wq.dat"
"$bin/make_show" write "$work/no_song"
rm "$work/no_song/wq.xm"
start_show "$work/no_song"
expect_error_box "no wq.xm"
echo "PASS"
