#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Release keys and signatures for the updater (see src/update/updater.h).
#
#   sign-release.sh keygen SECRET_FILE     make a key pair: the secret key goes to SECRET_FILE (kept
#                                          by the release manager, never in the repository), the
#                                          public key is printed for -DPLUMO_RELEASE_PUBLIC_KEY=...
#   sign-release.sh sign FOLDER VERSION    sign the release in FOLDER (holding the program "plumo"):
#                                          writes FOLDER/plumo.manifest and FOLDER/plumo.sig
#
# The secret key is read from the file named by PLUMO_RELEASE_SECRET_KEY_FILE, or from
# PLUMO_RELEASE_SECRET_KEY (hexadecimal). The signing tool is plumo-sign of a build: PLUMO_SIGN
# names it, else the first of build/*/src/update/plumo-sign is used.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
tool=${PLUMO_SIGN:-}
if [[ -z $tool ]]; then
  for candidate in "$root"/build/*/src/update/plumo-sign; do
    [[ -x $candidate ]] && tool=$candidate && break
  done
fi
if [[ -z $tool || ! -x $tool ]]; then
  echo "sign-release: build the plumo-sign target first, or set PLUMO_SIGN to it" >&2
  exit 1
fi

case "${1:-}" in
  keygen)
    [[ $# -eq 2 ]] || { echo "usage: sign-release.sh keygen SECRET_FILE" >&2; exit 2; }
    exec "$tool" keygen "$2"
    ;;
  sign)
    [[ $# -eq 3 ]] || { echo "usage: sign-release.sh sign FOLDER VERSION" >&2; exit 2; }
    if [[ -z ${PLUMO_RELEASE_SECRET_KEY_FILE:-} && -z ${PLUMO_RELEASE_SECRET_KEY:-} ]]; then
      echo "sign-release: set PLUMO_RELEASE_SECRET_KEY_FILE (or PLUMO_RELEASE_SECRET_KEY)" >&2
      exit 1
    fi
    exec "$tool" sign "$2" "$3"
    ;;
  *)
    echo "usage: sign-release.sh keygen SECRET_FILE | sign-release.sh sign FOLDER VERSION" >&2
    exit 2
    ;;
esac
