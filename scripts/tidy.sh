#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs clang-tidy with the checks of .clang-tidy (warnings are errors) on our sources, two at a time.
#
#   bash scripts/tidy.sh [--build DIR] [--base REV | --all | FILE...]
#
# FILE...     these files; a header stands for the sources of its folder that include it
# --base REV  the C++ files changed since REV (committed or not)
# --all       every source under src/
# (nothing)   the files changed in the last 30 commits, or every source when history is shorter
#
# Only sources under src/ are checked (tests, benchmarks and fuzz targets follow gtest's and
# libFuzzer's names). The compile commands come from DIR (default build/dev), which must have been
# built once so that the generated ui_*.h and moc files exist; without compile_commands.json there
# the tree is configured and its generated sources are made. Exits non-zero on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${PLUMO_TIDY_BUILD:-build/dev}
mode=changed
base=HEAD~30
files=()
while (($#)); do
  case $1 in
    --build) build=$2; shift 2 ;;
    --base) mode=changed; base=$2; shift 2 ;;
    --all) mode=all; shift ;;
    -h|--help) sed -n '3,16p' "$0"; exit 0 ;;
    *) mode=files; files+=("$1"); shift ;;
  esac
done

if [[ ! -f $build/compile_commands.json ]]; then
  echo "tidy: configuring $build for its compile commands" >&2
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_GLOBAL_AUTOGEN_TARGET=ON >/dev/null
  cmake --build "$build" --target autogen >/dev/null
fi

all_sources() { git ls-files 'src/*.cpp'; }

if [[ $mode == changed ]]; then
  if git rev-parse --verify -q "$base^{commit}" >/dev/null; then
    mapfile -t files < <(git diff --name-only --diff-filter=d "$base" -- 'src/*.cpp' 'src/*.h')
  else
    echo "tidy: no $base in this history; checking every source" >&2
    mode=all
  fi
fi
if [[ $mode == all ]]; then
  mapfile -t files < <(all_sources)
fi

# Headers to the sources of their folder that include them.
declare -A chosen=()
for f in "${files[@]}"; do
  f=${f#./}
  case $f in
    src/*.cpp) chosen[$f]=1 ;;
    src/*.h)
      # The sources of its folder that include it, or else every source that does.
      mapfile -t users < <(git ls-files "$(dirname "$f")/*.cpp" | xargs -r grep -l "#include \"${f#src/}\"" || true)
      ((${#users[@]})) || mapfile -t users < <(all_sources | xargs -r grep -l "#include \"${f#src/}\"" || true)
      for s in "${users[@]}"; do chosen[$s]=1; done ;;
  esac
done

# Only translation units this build compiles (the fuzz targets, for one, need their own tree).
mapfile -t known < <(python3 -c '
import json, os, sys
for entry in json.load(open(sys.argv[1])):
    print(os.path.relpath(os.path.join(entry["directory"], entry["file"]), sys.argv[2]))
' "$build/compile_commands.json" "$PWD")
declare -A compiled=()
for k in "${known[@]}"; do compiled[$k]=1; done

sources=()
for s in "${!chosen[@]}"; do
  [[ -n ${compiled[$s]:-} ]] && sources+=("$s")
done
if ((${#sources[@]} == 0)); then
  echo "tidy: nothing to check"
  exit 0
fi
mapfile -t sources < <(printf '%s\n' "${sources[@]}" | sort)
echo "tidy: checking ${#sources[@]} source(s)"

# clang's own count of warnings in system headers ("35846 warnings generated.") is left out.
if ! printf '%s\0' "${sources[@]}" | xargs -0 -n 1 -P 2 clang-tidy -p "$build" --quiet 2>&1 |
  { grep -vE '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$' || true; }; then
  echo "tidy: findings above (each is an error; see CONTRIBUTING.md, \"Checks\")" >&2
  exit 1
fi
echo "tidy: clean"
