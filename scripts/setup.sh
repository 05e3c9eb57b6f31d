#!/usr/bin/env bash
# Installs what building and testing need (Debian 12, as root). Quiet when all is there.
set -euo pipefail
packages=(g++ cmake ninja-build pkg-config libfftw3-dev libgtest-dev libbenchmark-dev
          python3 python3-numpy python3-scipy python3-pandas)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi
