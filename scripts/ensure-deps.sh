#!/usr/bin/env bash
# Installs the Debian packages Velorix builds with, when any is missing.
# Quick when everything is there: it only asks dpkg.
set -euo pipefail

# What configuring and building need; ninja-build because it keeps both cores
# busy where make leaves one idle. clang-format (large: it brings LLVM) is
# installed by scripts/format.sh, for ./test.sh, not for ./run.sh.
packages=(cmake make ninja-build g++ pkg-config python3 qt6-base-dev qt6-serialport-dev qt6-charts-dev qt6-svg-dev libqt6opengl6-dev libgtest-dev fonts-dejavu-core "$@")
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
if [[ $(id -u) -ne 0 ]]; then
    sudo=sudo
    command -v sudo >/dev/null || { echo "Run as root, or install: ${missing[*]}" >&2; exit 1; }
else
    sudo=
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
