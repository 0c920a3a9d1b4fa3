#!/usr/bin/env bash
# Installs Debian packages that are missing (as root, Debian 12): the ones named as arguments,
# or without arguments all that Quillpost needs to build, run and test (tools/debian-packages.txt).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
if [ $# -gt 0 ]; then
  packages=("$@")
else
  mapfile -t packages < <(grep -v '^#' "$here/debian-packages.txt" | grep .)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  # Other work on the machine may hold the package database for a while.
  apt-get -o DPkg::Lock::Timeout=300 update -qq
  # With recommends: the web view needs Mesa's drivers under Xvfb.
  apt-get -o DPkg::Lock::Timeout=300 install -y -qq "${missing[@]}" >/dev/null
fi
