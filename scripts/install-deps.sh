#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what building, running and testing Plumo needs on Debian 12 (run as root).
# Packages already present are left alone, so a second run costs one dpkg query.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang clang-tidy libclang-rt-14-dev pkg-config
  qt6-base-dev qt6-multimedia-dev qt6-qpa-plugins libqt6dbus6
  libxkbcommon-dev xkb-data libxcb1-dev libxcb-xkb-dev libx11-dev libxss-dev libreadline-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev dbus-daemon xvfb xdotool
  iproute2 nftables procps libcurl4-openssl-dev libssl-dev libsodium-dev dpkg-dev libsqlite3-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "install-deps: missing packages: ${missing[*]}; run this script as root" >&2
    exit 1
  fi
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y "${missing[@]}"
fi
