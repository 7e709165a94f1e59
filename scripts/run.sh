#!/usr/bin/env bash
# Builds everything and starts the slideshow in a folder that holds wq.dat and wq.xm.
#   scripts/run.sh           the show's own pictures and song (the build makes them in build/run)
#   scripts/run.sh FOLDER    a show of your own: FOLDER holds your wq.dat and wq.xm
# Escape ends the show early; it ends by itself when the song reaches order 10, row 31.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"

show_dir=${1:-build/run}
for file in wq.dat wq.xm; do
  if [ ! -f "$show_dir/$file" ]; then
    echo "run.sh: $show_dir/$file is missing" >&2
    exit 1
  fi
done
if [ -z "${DISPLAY:-}" ]; then
  echo "run.sh: DISPLAY is not set; the slideshow needs an X display (for a headless" >&2
  echo "machine start one first, e.g. 'Xvfb :1 -screen 0 800x600x24 & export DISPLAY=:1')" >&2
  exit 1
fi
cd "$show_dir"
exec "$root/build/bin/slideshow"
