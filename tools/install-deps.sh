#!/usr/bin/env bash
# Installs the Debian packages Quillpost needs to build, run and test (as root, Debian 12).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
mapfile -t packages < <(grep -v '^#' "$here/debian-packages.txt" | grep .)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # With recommends: the web view needs Mesa's drivers under Xvfb.
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
