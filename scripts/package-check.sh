#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from a release build, checks it with lintian (any error or
# warning fails), installs it as a user would, tries the installed programs, and removes
# it again. Ends with build/package/korvex_<version>-1_<arch>.deb.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --package
if [ "$(id -u)" -eq 0 ]; then as_root=(); else as_root=(sudo); fi
cmake --preset package >/dev/null
cmake --build --preset package -j"$(nproc)"
rm -f build/package/korvex_*.deb
(cd build/package && cpack -G DEB >/dev/null)
deb=$(ls build/package/korvex_*.deb)
echo "== $deb"
dpkg-deb --info "$deb" | sed -n '/Package:/,$p'

echo "== lintian"
# Overrides, each with its reason, are in res/debian/lintian-overrides when there are any.
lintian --fail-on error,warning --display-info "$deb"

echo "== The bash completion of korvex-cli"
complete_line() {   # the words offered for the last word of $1
    bash -c 'source /usr/share/bash-completion/bash_completion 2>/dev/null
        source res/bash-completion/korvex-cli
        read -ra COMP_WORDS <<<"$1"; [[ $1 == *" " ]] && COMP_WORDS+=("")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) COMP_LINE=$1 COMP_POINT=${#1}
        _korvex_cli korvex-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
        printf "%s\n" "${COMPREPLY[@]}" | sort | paste -sd " "' _ "$1"
}
[ "$(complete_line 'korvex-cli rec')" = "recorder" ] ||
    { echo "package-check: korvex-cli rec<TAB> is not completed" >&2; exit 1; }
[ "$(complete_line 'korvex-cli export x.trd --format ')" = "comtrade comtrade-ascii csv" ] ||
    { echo "package-check: export --format <TAB> does not offer the formats" >&2; exit 1; }
appstreamcli validate --no-net res/korvex.metainfo.xml >/dev/null
desktop-file-validate res/org.korvex.Korvex.desktop res/korvex-view.desktop

echo "== Installed as a user installs it"
# A Korvex the machine has already is left alone: the check would replace it, then remove it.
if dpkg-query -W -f='${Status}' korvex 2>/dev/null | grep -q "install ok installed"; then
    echo "package-check: korvex is installed already; remove it first" >&2
    exit 1
fi
data=$(mktemp -d)
trap '"${as_root[@]}" apt-get purge -y -qq korvex >/dev/null 2>&1 || true; rm -rf "$data"' EXIT
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$deb" >/dev/null
korvex-cli --version
korvex-sim --version >/dev/null
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM korvex-view --version
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM korvex --help >/dev/null
file=$(KORVEX_DATA_DIR="$data" korvex-cli --lang en sample --rows 20)
korvex-cli --lang en view "$file" | head -n 2
# Without KORVEX_DATA_DIR an installed program writes into the user's data directory,
# never beside itself in /usr/bin.
file=$(HOME="$data/home" XDG_DATA_HOME= korvex-cli --lang en sample --rows 5)
case "$file" in
    "$data/home/.local/share/korvex/DATA/"*) ;;
    *) echo "package-check: the recording went to $file" >&2; exit 1 ;;
esac
[ ! -e /usr/bin/DATA ] || { echo "package-check: /usr/bin/DATA was made" >&2; exit 1; }
# Its manual pages are in the package (a slim system may leave them unpacked).
dpkg-deb -c "$deb" | grep './usr/share/man/man1/korvex-cli.1.gz' >/dev/null
bash -n /usr/share/bash-completion/completions/korvex-cli
echo "package-check: passed"
