#!/usr/bin/env bash
# Installs what building, testing and running need on Debian 12. Idempotent: when every
# package is already installed it only checks.
set -euo pipefail
packages=(
  build-essential cmake g++ clang clang-14 libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libsdl2-dev libgl1-mesa-dev libgl1-mesa-dri libstb-dev libpng-dev
  xvfb xdotool imagemagick xfonts-base x11-utils x11-apps
)
missing=()
for p in "${packages[@]}"; do
  if [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" != "install ok installed" ]; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
