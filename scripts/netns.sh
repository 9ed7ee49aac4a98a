#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Virtual LANs in network namespaces, for tests and for trying several peers on one machine.
#
#   netns.sh check                  say "ok" and exit 0 when namespaces can be made here, else say why and exit 2
#   netns.sh up N [--loss PCT]      hub namespace with a bridge and hosts 1..N on 198.18.0.(10+i)/24;
#                                   with --loss, each host drops PCT% of incoming UDP at random
#   netns.sh exec I CMD...          run CMD in host namespace I
#   netns.sh down                   remove every namespace of the prefix (safe to repeat)
#
# Namespaces are named "${PLUMO_NS_PREFIX:-plumo}hub" and "${PLUMO_NS_PREFIX:-plumo}1".."N", so
# concurrent users pick different prefixes. Nothing is created in the calling namespace: every veth
# pair is made inside a host namespace and its far end moved straight into the hub. Each host has a
# default route through its veth, so a datagram to 255.255.255.255 goes out on the virtual LAN and
# reaches every host, the sender included.
set -euo pipefail

prefix=${PLUMO_NS_PREFIX:-plumo}
hub=${prefix}hub
subnet=198.18.0

die() {
  echo "netns.sh: $*" >&2
  exit 2
}

usage() {
  sed -n '4,8s/^# \{0,1\}//p' "$0" >&2
  exit 1
}

host_ns() { echo "${prefix}$1"; }

check() {
  [[ $(id -u) -eq 0 ]] || die "network namespaces need root (running as uid $(id -u))"
  command -v ip >/dev/null || die "the ip command (iproute2) is missing"
  local probe="${prefix}probe$$" why
  why=$(ip netns add "$probe" 2>&1) || die "cannot create a network namespace: $why"
  local ok=1
  ip -n "$probe" link add probe0 type veth peer name probe1 2>/dev/null || ok=0
  ip -n "$probe" link add probebr type bridge 2>/dev/null || ok=0
  ip netns del "$probe"
  ((ok)) || die "veth pairs or bridges cannot be created (kernel modules veth/bridge missing?)"
}

down() {
  local ns
  for ns in $(ip netns list 2>/dev/null | awk '{print $1}'); do
    if [[ $ns == "$hub" || $ns =~ ^${prefix}[0-9]+$ ]]; then
      ip netns del "$ns" 2>/dev/null || true
    fi
  done
}

up() {
  local count=${1:-}
  shift || true
  [[ $count =~ ^[0-9]+$ ]] && ((count >= 1 && count <= 200)) || die "up needs a host count from 1 to 200"
  local loss=0
  while (($#)); do
    case $1 in
      --loss)
        loss=${2:-}
        [[ $loss =~ ^[0-9]+$ ]] && ((loss <= 100)) || die "--loss needs a percentage from 0 to 100"
        shift 2
        ;;
      *) die "unknown option $1" ;;
    esac
  done
  ((loss == 0)) || command -v nft >/dev/null || die "--loss needs nft (nftables)"

  down
  # A half-built LAN is worse than none: on any failure remove what was made.
  trap 'echo "netns.sh: setting up the LAN failed; removing it" >&2; down' ERR
  ip netns add "$hub"
  ip -n "$hub" link set lo up
  ip -n "$hub" link add br0 type bridge
  # The bridge forwards at once; no spanning tree to wait for.
  ip -n "$hub" link set br0 type bridge stp_state 0 forward_delay 0
  ip -n "$hub" link set br0 up

  local i ns
  for ((i = 1; i <= count; i++)); do
    ns=$(host_ns "$i")
    ip netns add "$ns"
    ip -n "$ns" link set lo up
    ip -n "$ns" link add eth0 type veth peer name "port$i" netns "$hub"
    ip -n "$hub" link set "port$i" master br0
    ip -n "$hub" link set "port$i" up
    ip -n "$ns" addr add "$subnet.$((10 + i))/24" dev eth0
    ip -n "$ns" link set eth0 up
    ip -n "$ns" route add default dev eth0
    if ((loss > 0)); then
      ip netns exec "$ns" nft -f - <<NFT
table inet plumoloss {
  chain input {
    type filter hook input priority 0; policy accept;
    meta l4proto udp numgen random mod 100 < $loss drop
  }
}
NFT
    fi
  done
  trap - ERR
}

run_in() {
  local i=${1:-}
  shift || true
  [[ $i =~ ^[0-9]+$ ]] || die "exec needs a host number"
  (($#)) || die "exec needs a command"
  local ns
  ns=$(host_ns "$i")
  ip netns list 2>/dev/null | awk '{print $1}' | grep -qx "$ns" || die "no namespace $ns (run: netns.sh up N)"
  exec ip netns exec "$ns" "$@"
}

[[ $prefix =~ ^[A-Za-z][A-Za-z0-9_-]{0,8}$ ]] ||
  die "PLUMO_NS_PREFIX must be a letter then at most 8 letters, digits, - or _"

cmd=${1:-}
shift || true
case $cmd in
  check) check && echo ok ;;
  up) check && up "$@" ;;
  exec) run_in "$@" ;;
  down) down ;;
  *) usage ;;
esac
