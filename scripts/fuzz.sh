#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets with clang and runs each one for a bounded time from its seed corpus.
# Usage: scripts/fuzz.sh [seconds-per-target]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
per=${1:-60}
build=${PLUMO_FUZZ_BUILD:-build/fuzz}
CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPLUMO_FUZZ=ON -DPLUMO_TESTS=OFF
cmake --build "$build" -j "$(nproc)"
mapfile -t targets < <(find "$build/fuzz" -maxdepth 3 -type f -name 'fuzz_*' -perm -u+x | sort)
if ((${#targets[@]} == 0)); then
  echo "fuzz: no targets built" >&2
  exit 1
fi
for t in "${targets[@]}"; do
  name=$(basename "$t")
  corpus=$(mktemp -d)
  cp -r "fuzz/corpus/$name/." "$corpus/" 2>/dev/null || true
  echo "fuzz: $name for ${per}s"
  log="$build/$name.log"
  if ! "$t" -max_total_time="$per" -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/$name-" "$corpus" >"$log" 2>&1; then
    cat "$log"
    echo "fuzz: $name failed; the input that failed is in $build/" >&2
    exit 1
  fi
  tail -n 6 "$log"
  rm -rf "$corpus"
done
echo "fuzz: ${#targets[@]} targets ran without a crash"
