#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what building, running, testing and benchmarking Cradlecom needs on
# Debian.
set -euo pipefail
packages=(
  build-essential cmake pkg-config clang-format
  googletest libgtest-dev libbenchmark-dev
  qt6-base-dev libasound2-dev libsndfile1-dev libsamplerate0-dev libsystemd-dev
  alsa-utils libasound2-plugins
  dbus dbus-daemon python3 python3-dbusmock
  baresip-core
  xvfb xauth openbox wmctrl
  qt6-translations-l10n
  scdoc librsvg2-bin desktop-file-utils appstream man-db systemd lintian dpkg-dev file
  sox hyperfine time
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
