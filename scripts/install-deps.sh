#!/usr/bin/env bash
# Installs the Debian packages Korvex builds with. Idempotent: packages already
# installed are left alone and apt is not touched at all when nothing is missing.
set -euo pipefail

packages=(cmake make g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev libmodbus-dev
          qt6-base-dev libqcustomplot-dev libgl-dev fonts-dejavu-core)
# Screenshots of real windows (scripts/screenshots.sh) also need a virtual X server.
[ "${KORVEX_WITH_XVFB:-0}" = 1 ] && packages+=(xvfb xauth)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
    as_root=()
elif command -v sudo >/dev/null; then
    as_root=(sudo)
else
    echo "Please install as root: apt-get install ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
