#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds a Release build in build/release and runs Plumo: the chat window
# when a display is available (DISPLAY or WAYLAND_DISPLAY), the headless peer otherwise (type a
# line to chat in the channel "Main", "/help" for the console commands, "/quit" or Ctrl+D to
# leave). "--headless" forces the headless peer. Arguments are passed on, e.g.
# scripts/run.sh --headless --json; the program directory is ${PLUMO_DIR:-~/.config/plumo}.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPLUMO_TESTS=OFF >/dev/null
cmake --build "$build" --target plumo -j "$(nproc)"

dir=${PLUMO_DIR:-${XDG_CONFIG_HOME:-$HOME/.config}/plumo}

headless=no
for arg in "$@"; do
  [[ $arg == --headless ]] && headless=forced
done
platform=${QT_QPA_PLATFORM:-}
if [[ $headless == no ]]; then
  case "${platform%%[:;]*}" in
    offscreen | minimal) headless=yes ;;
    xcb) [[ -n ${DISPLAY:-} ]] || headless=yes ;;
    wayland*) [[ -n ${WAYLAND_DISPLAY:-} ]] || headless=yes ;;
    "") [[ -n ${DISPLAY:-}${WAYLAND_DISPLAY:-} ]] || headless=yes ;;
  esac
fi

case $headless in
  forced)
    echo "run.sh: starting the headless peer (--headless) in $dir" >&2
    exec "$build/src/app/plumo" --dir "$dir" "$@"
    ;;
  yes)
    echo "run.sh: no display available: starting the headless peer in $dir" >&2
    exec "$build/src/app/plumo" --headless --dir "$dir" "$@"
    ;;
  *)
    echo "run.sh: starting the chat window in $dir" >&2
    exec "$build/src/app/plumo" --dir "$dir" "$@"
    ;;
esac
