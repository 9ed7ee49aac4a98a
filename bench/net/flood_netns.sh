#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Floods the headless peer with channel lines over real UDP inside two network namespaces, and a
# bare receive loop in the same set-up, and prints datagrams received and CPU per datagram of each.
# Needs root (network namespaces); nothing is sent outside them.
#
#   bench/net/flood_netns.sh BUILD_DIR [RATE] [SECONDS]     (defaults 40000 and 5)
#
# BUILD_DIR holds a build with -DPLUMO_BENCH=ON (bench_udp_flood) and the program (plumo).
set -euo pipefail

build=${1:?usage: flood_netns.sh BUILD_DIR [RATE] [SECONDS]}
rate=${2:-40000}
seconds=${3:-5}
here=$(cd "$(dirname "$0")" && pwd)
netns="$here/../../scripts/netns.sh"
flood="$build/bench/net/bench_udp_flood"
plumo="$build/src/app/plumo"
export PLUMO_NS_PREFIX=${PLUMO_NS_PREFIX:-plfl}
receiver=198.18.0.11
work=$(mktemp -d)
trap '"$netns" down >/dev/null 2>&1 || true; rm -rf "$work"' EXIT

"$netns" up 2 >/dev/null
total=$((rate * seconds))

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

# The bare loop.
"$netns" exec 1 "$flood" bare >"$work/bare.out" &
sleep 1
"$netns" exec 2 "$flood" send "$receiver" "$rate" "$seconds" >"$work/send-bare.out"
wait
bare_line=$(grep received "$work/bare.out")

# The headless peer, its output going to a file (a reader that never stalls).
mkdir -p "$work/dir"
printf '[Main]\nMyName=bench\n' >"$work/dir/chat.ini"
mkfifo "$work/in"
"$netns" exec 1 "$plumo" --headless --dir "$work/dir" <"$work/in" >"$work/peer.out" 2>&1 &
exec 3>"$work/in"
sleep 2
pid=$(pgrep -n -f "$plumo --headless --dir $work/dir")
before=$(cpu_ticks "$pid")
"$netns" exec 2 "$flood" send "$receiver" "$rate" "$seconds" >"$work/send-peer.out"
sleep 2
after=$(cpu_ticks "$pid")
echo "/quit" >&3
exec 3>&-
wait || true
got=$(grep -c "flood: line" "$work/peer.out" || true)
hz=$(getconf CLK_TCK)
peer_cpu=$(awk -v t=$((after - before)) -v hz="$hz" 'BEGIN {printf "%.3f", t / hz}')
peer_us=$(awk -v c="$peer_cpu" -v n="$got" 'BEGIN {printf "%.2f", n ? c * 1e6 / n : 0}')

echo "rate $rate/s for $seconds s: $total datagrams of about 30 bytes"
echo "bare loop:     $bare_line"
echo "headless peer: received $got, cpu $peer_cpu s, $peer_us us per datagram"
