#!/usr/bin/env bash
# Installs what is missing, builds a Release build in build/release and runs Plumo.
# The windowed program is not built yet, so this runs the headless peer: type a line to chat in
# the channel "Main", "/help" for the console commands, "/quit" (or Ctrl+D) to leave.
# Arguments are passed on, e.g. scripts/run.sh --json; the program directory is
# ${PLUMO_DIR:-~/.config/plumo}.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPLUMO_TESTS=OFF >/dev/null
cmake --build "$build" --target plumo -j "$(nproc)"

dir=${PLUMO_DIR:-${XDG_CONFIG_HOME:-$HOME/.config}/plumo}
echo "run.sh: starting the headless peer (the windowed program is not built yet) in $dir" >&2
exec "$build/src/app/plumo" --headless --dir "$dir" "$@"
