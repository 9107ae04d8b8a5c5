#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages Korvex builds and tests with, and the Russian locale the
# tests run under (most of Korvex's users work in it). Idempotent: packages already
# installed are left alone and apt is not touched at all when nothing is missing.
#
#   scripts/install-deps.sh           what the build, the tests and the benchmarks need
#   scripts/install-deps.sh --fuzz    also clang with libFuzzer, for scripts/fuzz.sh
#   scripts/install-deps.sh --windows also MinGW-w64, Wine, what scripts/qt-mingw.sh builds Qt
#                                     with, and what drives the windows under Wine, for
#                                     scripts/windows-check.sh
#   scripts/install-deps.sh --wm      also openbox, for scripts/wm-check.sh
#   scripts/install-deps.sh --package also dpkg-dev and lintian, for scripts/package-check.sh
set -euo pipefail

packages=(cmake make g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev libmodbus-dev libfast-float-dev libeigen3-dev
          qt6-base-dev qt6-translations-l10n libqcustomplot-dev libgl-dev fonts-dejavu-core locales
          xvfb xauth)
[ "${1:-}" = "--fuzz" ] && packages+=(clang libclang-rt-14-dev)
[ "${1:-}" = "--windows" ] && packages+=(g++-mingw-w64-x86-64-posix wine wine64 ninja-build dpkg-dev
                                            openbox x11-utils xdotool imagemagick)
[ "${1:-}" = "--wm" ] && packages+=(openbox x11-utils)
[ "${1:-}" = "--package" ] && packages+=(dpkg-dev lintian man-db appstream desktop-file-utils bash-completion)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# Locales the tests and screenshots use, generated once.
locales=()
for l in ru_RU.UTF-8 en_US.UTF-8; do
    locale -a 2>/dev/null | grep -qix "${l/UTF-8/utf8}" || locales+=("$l")
done
[ ${#missing[@]} -eq 0 ] && [ ${#locales[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
    as_root=()
elif command -v sudo >/dev/null; then
    as_root=(sudo)
else
    echo "Please install as root: apt-get install ${missing[*]}; locale-gen ${locales[*]}" >&2
    exit 1
fi
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    "${as_root[@]}" apt-get update -qq
    "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
for l in "${locales[@]}"; do
    echo "Generating the $l locale"
    "${as_root[@]}" sed -i "s/^# *\(${l} UTF-8\)/\1/" /etc/locale.gen
    grep -q "^${l} UTF-8" /etc/locale.gen || echo "${l} UTF-8" | "${as_root[@]}" tee -a /etc/locale.gen >/dev/null
    "${as_root[@]}" locale-gen >/dev/null
done
