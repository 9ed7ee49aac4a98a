#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs bench_window of a benchmark build (default build/bench) on a virtual display inside a
# network namespace of the virtual LAN, as root:  bash bench/window/run.sh [BUILD_DIR] [bench args]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/bench}
shift || true
export PLUMO_NS_PREFIX=${PLUMO_NS_PREFIX:-benchwin}
display=:${PLUMO_BENCH_DISPLAY:-97}
bash scripts/netns.sh up 1 >/dev/null
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; bash scripts/netns.sh down' EXIT
sleep 1
DISPLAY=$display bash scripts/netns.sh exec 1 "$build/bench/window/bench_window" "$@"
