#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Korvex and runs its main job, the live oscilloscope. With no port named, the
# built-in simulated regulator stands in for a real one.
#
#   ./run.sh                        the start dialog on the simulated regulator
#   ./run.sh --port /dev/ttyUSB0    the start dialog, for a real regulator on that port
#   ./run.sh --headless             no window: record ten seconds, print the recording,
#                                   read a fault recording from the regulator's recorder,
#                                   and save a picture of the plot (also without a display)
set -euo pipefail
cd "$(dirname "$0")"

port=""
headless=0
while [ $# -gt 0 ]; do
    case "$1" in
        --port) port="$2"; shift 2 ;;
        --headless) headless=1; shift ;;
        -h|--help) sed -n '2,10p' "$0"; exit 0 ;;
        *) echo "run.sh: unknown option $1" >&2; exit 2 ;;
    esac
done
[ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && headless=1

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" --target korvex korvex-view korvex-cli korvex-sim >/dev/null
bin=build/default

if [ "$headless" = 0 ]; then
    if [ -n "$port" ]; then
        echo "Korvex: choose $port in the start dialog and press Oscilloscope."
        exec "$bin/korvex"
    fi
    echo "Korvex on the simulated regulator: press Oscilloscope in the start dialog."
    exec "$bin/korvex" --simulate
fi

if [ -z "$port" ]; then
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    "$bin/korvex-sim" >"$fifo" &
    sim=$!
    trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null; rm -f "$fifo"' EXIT
    read -r _ port <"$fifo"
    echo "Simulated regulator on $port"
fi

echo
echo "== Serial ports"
"$bin/korvex-cli" ports "$port" || true

echo
echo "== Ten seconds of the oscilloscope at 166.7 Hz (Ctrl-C stops earlier)"
file=$("$bin/korvex-cli" osc --port "$port" --rate 166 --seconds 10)

echo
echo "== The recording, read back as the viewer window reads it"
"$bin/korvex-cli" view "$file"

echo
echo "== The simulated regulator's fault recorder, and its recording 2 read back"
"$bin/korvex-cli" recorder --port "$port" --baud 230400 list
recording=$("$bin/korvex-cli" recorder --port "$port" --baud 230400 read 2)
"$bin/korvex-cli" view "$recording"

echo
echo "== Its statistics, and the recording as a COMTRADE record"
"$bin/korvex-cli" stats "$recording"
"$bin/korvex-cli" export "$recording" --format comtrade

png="${file%.trd}.png"
QT_QPA_PLATFORM=offscreen KORVEX_SCREENSHOT="$png" KORVEX_SCREENSHOT_DELAY_MS=300 "$bin/korvex" "$file" 2>/dev/null
echo
echo "== Picture of the plot: $png"
