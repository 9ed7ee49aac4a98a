#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each one for a bounded time from its seed corpus.
# Usage: scripts/fuzz.sh [total-seconds]   (default 60, shared out among the targets)
set -euo pipefail
cd "$(dirname "$0")/.."
total=${1:-60}
build=${PLUMO_FUZZ_BUILD:-build/fuzz}
CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPLUMO_FUZZ=ON -DPLUMO_TESTS=OFF
cmake --build "$build" -j "$(nproc)"
mapfile -t targets < <(find "$build/fuzz" -maxdepth 3 -type f -name 'fuzz_*' -perm -u+x | sort)
if ((${#targets[@]} == 0)); then
  echo "fuzz: no targets built" >&2
  exit 1
fi
per=$((total / ${#targets[@]}))
((per > 5)) || per=5
for t in "${targets[@]}"; do
  name=$(basename "$t")
  corpus=$(mktemp -d)
  cp -r "fuzz/corpus/$name/." "$corpus/" 2>/dev/null || true
  echo "fuzz: $name for ${per}s"
  "$t" -max_total_time="$per" -rss_limit_mb=2048 -print_final_stats=1 "$corpus" 2>&1 | tail -n 12
  rm -rf "$corpus"
done
echo "fuzz: ${#targets[@]} targets ran without a crash"
