#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# package_test.sh BUILD_DIR SOURCE_DIR VERSION
# Builds the .deb with CPack, installs it with dpkg into an empty root, checks the files a desktop
# needs, then starts the installed program headless on a one-host virtual LAN with a fresh
# XDG_CONFIG_HOME: it must make its settings folder there with the shipped language files, and
# answer "/about *" with its own information text, which ends with the version.
set -euo pipefail
build=$1
source=$2
version=$3
fail() {
  echo "package_test: $*" >&2
  exit 1
}
[[ -x $build/src/app/plumo ]] || fail "build the program first ($build/src/app/plumo is missing)"
command -v dpkg >/dev/null || { echo "package_test: no dpkg here" >&2; exit 77; }

work=$(mktemp -d)
export PLUMO_NS_PREFIX=pk$$
cleanup() {
  bash "$source/scripts/netns.sh" down >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/pkg" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb=$(ls "$work"/pkg/plumo_"$version"_*.deb 2>/dev/null | head -n1)
[[ -f $deb ]] || fail "no package plumo_${version}_*.deb"

root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
# The empty root has none of the libraries the package depends on; they are the host's.
dpkg --root="$root" --force-depends --force-script-chrootless --log=/dev/null -i "$deb" >"$work/dpkg.log" 2>&1 ||
  { cat "$work/dpkg.log" >&2; fail "dpkg -i failed"; }
for f in usr/bin/plumo usr/share/applications/plumo.desktop usr/share/icons/hicolor/scalable/apps/plumo.svg \
  usr/share/plumo/lang/english.lng usr/share/plumo/lang/russian.lng usr/share/doc/plumo/copyright; do
  [[ -e $root/$f ]] || fail "the package lacks /$f"
done
grep -qx 'Exec=plumo' "$root/usr/share/applications/plumo.desktop" || fail "the desktop entry does not start plumo"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$root/usr/share/applications/plumo.desktop" || fail "invalid desktop entry"
fi

if ! bash "$source/scripts/netns.sh" check >/dev/null 2>&1; then
  echo "package_test: package checked; no network namespaces here, the program is not started" >&2
  exit 77
fi
bash "$source/scripts/netns.sh" up 1 >/dev/null
config=$work/config
mkdir -p "$config"
out=$work/out.json
{
  sleep 2
  echo "/channel #"
  echo "/about *"
  sleep 3
  echo "/quit"
} | timeout 60 bash "$source/scripts/netns.sh" exec 1 env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$config" \
  "$root/usr/bin/plumo" --headless --json >"$out" 2>"$work/err.log" || true
grep -q '"ready":true' "$out" || { cat "$out" "$work/err.log" >&2; fail "the installed program did not start"; }
grep -q "\"event\":\"OnInfo\".*Plumo $version" "$out" ||
  { cat "$out" "$work/err.log" >&2; fail "no answer to /about"; }
[[ -f $config/plumo/chat.ini && -f $config/plumo/english.lng ]] ||
  fail "the settings folder \$XDG_CONFIG_HOME/plumo was not made with the language files"
echo "package_test: $(basename "$deb") installs and its program answers /about"
