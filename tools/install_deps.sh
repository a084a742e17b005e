#!/usr/bin/env bash
# Installs, with apt-get, the Debian 12 packages Vesk needs to build and test (only those missing).
set -euo pipefail
packages=(build-essential cmake ninja-build libpugixml-dev libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev clang-format qt6-base-dev libpff-dev libsqlite3-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}" >&2
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
