#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows build, checked on Linux: korvex_core, korvex-cli and the core tests built
# with MinGW-w64, the tests run under Wine, then korvex-cli.exe against the simulated
# regulator (korvex-sim, native) on a pseudo-terminal that Wine sees as COM7: an
# oscilloscope recording compared with one recorded by the Linux build, and a ModBus
# read of the regulator's identification. Ends with a zip of korvex-cli.exe.
#
#   scripts/windows-check.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --windows
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$(nproc)" --target korvex-cli korvex_core_tests
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" --target korvex-sim korvex-cli >/dev/null

out=build/windows
export WINEPREFIX="$PWD/$out/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
# Every Wine start with address-space randomisation off: without a preloader (Debian's
# wine64 has none) about one start in 4,500 finds Wine's fixed shared-data page taken and
# exits at once with no output ("failed to map the shared user data").
wine() { setarch -R wine "$@"; }
wineboot() { setarch -R wineboot "$@"; }
winepath() { setarch -R winepath "$@"; }
# The server and Wine's own background programs started first, outside any pipe: started
# inside a piped command (ctest reading a test's output) they would keep the pipe open
# and the command would never end.
[ -d "$WINEPREFIX" ] || wineboot -i </dev/null >/dev/null 2>&1
# (A server that wineboot left running is kept: -p then says so and fails.)
wineserver -p </dev/null >/dev/null 2>&1 || true
wine cmd /c exit </dev/null >/dev/null 2>&1
sim=""
modbus_sim=""
cleanup() {
    [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
    [ -n "$modbus_sim" ] && kill "$modbus_sim" 2>/dev/null && wait "$modbus_sim" 2>/dev/null
    wineserver -k 2>/dev/null || true
}
trap cleanup EXIT

# Starts korvex-sim with the given options on a pseudo-terminal that Wine sees as the COM
# port named first; sets $started to its process.
start_sim() {
    local com=$1 fifo pty
    shift
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    build/default/korvex-sim "$@" >"$fifo" &
    started=$!
    read -r _ pty <"$fifo"
    rm -f "$fifo"
    ln -sfn "$pty" "$WINEPREFIX/dosdevices/${com,,}"
    echo "$com is $pty"
}

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

echo
echo "== The zip"
# The release's version, as the build has it; texts with Windows line ends.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=\([0-9]*\.[0-9]*\.[0-9]*\).*/\1/p' \
          "$out/CMakeCache.txt")
name="korvex-cli-$version-windows-x86_64"
zipdir="$out/$name"
rm -rf "$zipdir" "$out"/korvex-cli-*windows-x86_64.zip
mkdir -p "$zipdir"
# Without its debug sections (1.7 MB would be 0.85 MB); the build keeps them for the tests.
x86_64-w64-mingw32-strip -o "$zipdir/korvex-cli.exe" "$exe"
sed 's/$/\r/' res/README-windows.txt >"$zipdir/README.txt"
sed 's/$/\r/' LICENSE >"$zipdir/LICENSE.txt"
sed 's/$/\r/' THIRD-PARTY-NOTICES.md >"$zipdir/THIRD-PARTY-NOTICES.txt"
if x86_64-w64-mingw32-objdump -h "$zipdir/korvex-cli.exe" | grep '\.debug_' >/dev/null; then
    echo "windows-check: korvex-cli.exe still has its debug sections" >&2; exit 1
fi
x86_64-w64-mingw32-strings -el "$zipdir/korvex-cli.exe" | grep -x "$version" >/dev/null ||
    { echo "windows-check: korvex-cli.exe has no version record" >&2; exit 1; }
(cd "$out" && cmake -E tar cf "$name.zip" --format=zip "$name")
ls -l "$out/$name.zip"
# The program's source goes beside it, as its licence asks of whoever hands it on.
git archive --prefix="korvex-$version/" -o "$out/korvex-$version-source.tar.gz" HEAD
ls -l "$out/korvex-$version-source.tar.gz"
echo "windows-check: passed"
