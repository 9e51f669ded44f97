#!/usr/bin/env bash
# Installs the Debian packages the panel needs to build and run, skipping those already there.
set -euo pipefail

packages=(cmake ninja-build g++ make pkg-config qt6-base-dev qt6-serialport-dev libgl-dev)
if [ "${1:-}" = "--with-screens" ]; then
    packages+=(xvfb xauth imagemagick)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
