#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds everything with the sanitizers, runs clang-tidy on the sources
# changed in the last 30 commits (scripts/tidy.sh), runs every test, then each fuzz target for a
# bounded time. PLUMO_TIDY_BASE=REV checks the changes since REV instead, PLUMO_TIDY_BASE=all
# every source.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
build=${PLUMO_TEST_BUILD:-build/test}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPLUMO_SANITIZE=ON -DPLUMO_WERROR=ON \
  -DPLUMO_BENCH=ON
cmake --build "$build" -j "$jobs"

case ${PLUMO_TIDY_BASE:-} in
  "") bash scripts/tidy.sh --build "$build" ;;
  all) bash scripts/tidy.sh --build "$build" --all ;;
  *) bash scripts/tidy.sh --build "$build" --base "$PLUMO_TIDY_BASE" ;;
esac

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j "$jobs"

if [[ ${PLUMO_SKIP_FUZZ:-0} != 1 ]]; then
  bash scripts/fuzz.sh "${PLUMO_FUZZ_SECONDS:-60}"
fi
