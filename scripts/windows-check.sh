#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows build, checked on Linux: Qt for MinGW-w64 built from Debian's sources
# when its cache is missing (scripts/qt-mingw.sh), korvex_core, the three programs and
# the core tests built with MinGW-w64, the tests run under Wine, then korvex-cli.exe
# against the simulated regulator (korvex-sim, native) on a pseudo-terminal that Wine
# sees as COM7: an oscilloscope recording compared with one recorded by the Linux
# build, and a ModBus read of the regulator's identification. Then the zip
# (scripts/windows-zip.sh), and the windowed programs run from it and clicked through
# every mode (scripts/windows-gui-check.sh).
#
#   scripts/windows-check.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --windows
scripts/qt-mingw.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$(nproc)"
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" --target korvex-sim korvex-cli >/dev/null

source scripts/wine-env.sh
wine_start
sim=""
modbus_sim=""
cleanup() {
    [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
    [ -n "$modbus_sim" ] && kill "$modbus_sim" 2>/dev/null && wait "$modbus_sim" 2>/dev/null
    wine_stop
}
trap cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT

echo "== The core tests under Wine"
# The port layer's exchange runs on COM8, the simulated regulator in ModBus mode.
start_sim COM8 --mode modbus --baud 115200
modbus_sim=$started
KORVEX_TEST_COM=COM8 ctest --preset windows -j"$(nproc)"
kill "$modbus_sim" && wait "$modbus_sim" 2>/dev/null || true
modbus_sim=""

echo
echo "== korvex-cli.exe on COM7: the simulated regulator on a pseudo-terminal"
start_sim COM7
sim=$started
pty=$(readlink "$WINEPREFIX/dosdevices/com7")

data="$PWD/$out/e2e-data"
rm -rf "$data"
mkdir -p "$data/windows" "$data/linux"
exe="$out/korvex-cli.exe"
win_data=$(winepath -w "$data/windows" 2>/dev/null)

echo "-- The port list: the probe finds COM7"
ports=$(wine "$exe" ports | tr -d '\r')
echo "$ports"
grep -qx 'COM7' <<<"$ports" || { echo "windows-check: COM7 is not in the port list" >&2; exit 1; }

echo "-- ModBus: the regulator's identification"
ident=$(KORVEX_DATA_DIR="$win_data" wine "$exe" modbus --port COM7 id | tr -d '\r')
echo "$ident"
native=$(build/default/korvex-cli modbus --port "$pty" id)
[ "$ident" = "$native" ] || { echo "windows-check: the identification differs: '$native' natively" >&2; exit 1; }

echo "-- The oscilloscope at 166.7 Hz for 3 s, through COM7 and natively"
win_file=$(KORVEX_DATA_DIR="$win_data" wine "$exe" osc --port COM7 --rate 166 --seconds 3 | tr -d '\r')
win_file=$(winepath -u "$win_file" 2>/dev/null)
lin_file=$(KORVEX_DATA_DIR="$data/linux" build/default/korvex-cli osc --port "$pty" --rate 166 --seconds 3)
scripts/check-recording.sh "$win_file"
scripts/check-recording.sh "$lin_file"
# The same header but for the port's name, the same row form, no sequence errors.
diff <(grep '^#' "$win_file" | grep -v '^#FILE=') <(grep '^#' "$lin_file" | grep -v '^#FILE=') ||
    { echo "windows-check: the headers differ" >&2; exit 1; }
grep -q $'^#FILE=COM7\r$' "$win_file" || { echo "windows-check: no #FILE=COM7 line" >&2; exit 1; }
if grep -q '^#ERRSEQ' "$win_file"; then echo "windows-check: sequence errors" >&2; exit 1; fi
rows=$(grep -vc '^#' "$win_file")
echo "Windows recording: $rows rows, same header and row form as the Linux one"

kill "$sim" && wait "$sim" 2>/dev/null || true
sim=""

echo
echo "== The zip"
scripts/windows-zip.sh
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=\([0-9]*\.[0-9]*\.[0-9]*\).*/\1/p' \
          "$out/CMakeCache.txt")
# The program's source goes beside it, as its licence asks of whoever hands it on.
git archive --prefix="korvex-$version/" -o "$out/korvex-$version-source.tar.gz" HEAD
ls -l "$out/korvex-$version-source.tar.gz"
wine_stop

echo
echo "== The windowed programs from the zip, clicked through"
scripts/windows-gui-check.sh "$out/korvex-$version-windows-x86_64.zip"
echo "windows-check: passed"
